# Formats the manual page as plain text with Windows line ends, for the
# zip of the Windows build:
#   cmake -DGROFF=groff -DPAGE=docs/tagpolish.1 -DTEXT=tagpolish.txt -P manual_text.cmake
execute_process(COMMAND ${GROFF} -man -Tascii -P-cbu ${PAGE}
  OUTPUT_VARIABLE text
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "groff could not format ${PAGE}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${TEXT} "${text}")

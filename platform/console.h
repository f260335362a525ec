// Standard error as the program's messages reach it.
#pragma once

#include <cstddef>
#include <string_view>

namespace tagpolish {

// What standard error is, as far as the text of a message is concerned.
enum class ErrorTerminal {
    none,       // a file or a pipe: the messages' bytes go out as they are
    by_locale,  // a terminal that shows the character set of the locale
    unicode,    // a console that takes every message as UTF-8 (Windows)
};

// Decided at the first call.
ErrorTerminal standard_error_terminal();

// Writes text to standard error whole, in as few writes as it takes;
// nothing can be done about a failure, which is ignored. On a Windows
// console the text, which is UTF-8, goes as UTF-16, so that the console
// shows its characters whatever its code page.
void write_standard_error(std::string_view text);

// The columns of the terminal or console that standard error shows; 80
// when it cannot be told.
std::size_t standard_error_width();

// The system's words for errnum, in buf of size bytes or in storage of
// the C library's own; safe in every thread.
std::string_view system_error_text(int errnum, char* buf, std::size_t size);

}  // namespace tagpolish

// The command line: the usage text and the parsing of the option arguments
// into the option flags.
#pragma once

#include "lib/options.h"

namespace tagpolish {

// The help text as Shift_JIS (cp932) bytes, 37 lines and a null entry.
extern const char* const usage[];

// Handles "-usage" and the empty command line, then sets the flags from the
// option arguments. Returns the index of the first file argument (argc when
// there is none). Ends the process itself for help, the usage line and an
// unknown option letter.
int parse_options(int argc, char** argv);

}  // namespace tagpolish

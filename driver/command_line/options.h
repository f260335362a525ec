// The command line: the usage text and the parsing of the option arguments
// into the option flags.
#pragma once

#include <string>
#include <vector>

#include "lib/options.h"

namespace tagpolish {

// The help text as Shift_JIS (cp932) bytes, 41 lines and a null entry.
extern const char* const usage[];

// The English help of --help, one line per entry, made from the table of
// options.
std::vector<std::string> help_lines();

// Handles "-usage" and the empty command line, then sets the flags from the
// option arguments: letter clusters, long options ("--list"), and "--",
// after which every argument is a file name. An option written after the
// first file name is refused; a "--" there is moved in front of the names.
// Returns the index of the first file argument (argc when there is none).
// Ends the process itself for help, the version, the usage line and a
// refused option.
int parse_options(int argc, char** argv);

}  // namespace tagpolish

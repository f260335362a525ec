// Runs the executable with its standard error on a terminal.
#pragma once

#include <string>
#include <vector>

#include "support/test_support.h"

namespace tagpolish::test {

// Runs the executable in dir with args, standard error on a terminal (a
// pseudo-terminal that passes bytes through as they are), standard input
// and output on /dev/null, and LANG set to lang (LC_ALL and LC_CTYPE
// unset); out stays empty.
RunResult run_on_terminal(const std::string& dir, std::vector<std::string> args, const char* lang);

}  // namespace tagpolish::test

// The program's entry point: the system's own (main, or on Windows wmain)
// hands the command line to program_main, its names in UTF-8 whatever the
// system gives them in.
#pragma once

namespace tagpolish {

// The program itself (driver/main.cpp), with its arguments; argv[argc] is
// null. Returns, or ends the process with, the exit status.
int program_main(int argc, char** argv);

}  // namespace tagpolish

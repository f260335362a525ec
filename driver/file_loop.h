// The loop over the inputs after option parsing.
#pragma once

#include "platform/file_ops.h"

namespace tagpolish {

// Edits each named file (or standard input when first == argc) and returns
// the run status: 0 when every input succeeded, 1 otherwise. The files are
// opened and read through ops, and under -w found, locked and replaced
// through it. A run stopped by a signal (or by a list that nobody reads
// any more) ends the process by that signal instead of returning.
int run_files(int first, int argc, char** argv, FileOps& ops = system_file_ops());

// Closes fd (through ops) and checks the free space on the file system of
// name: 0, the close's own failure, or -1 with a message when there is no
// free space.
int Fclose(int fd, const char* name, FileOps& ops = system_file_ops());

}  // namespace tagpolish

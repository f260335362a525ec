// The arguments of a POSIX program are the bytes the shell passed.
#include "platform/entry.h"

int main(int argc, char** argv) {
    return tagpolish::program_main(argc, argv);
}

// The stand-in for the rewrite in place in a build without it (Windows,
// for now): parse_options refuses its options, so that no run reaches it.
#include "driver/in_place.h"

namespace tagpolish {

bool rewrites_in_place() {
    return false;
}

const char* suffix_joining_pages() {
    return nullptr;
}

int run_in_place(int, int, char**, FileOps&) {
    errmsg(msg_not_available, "-w");
    return 1;
}

}  // namespace tagpolish

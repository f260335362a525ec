// Heap blocks: a failed request is reported and, below terminate_size, ends
// the program, so no caller has to handle it.
#include "lib/mem.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "lib/diag.h"

namespace tagpolish {

int terminate_size = 2147483647;

void* getmem(int size) {
    // A zero-byte request still gets a real block, so that it never looks
    // like a failure.
    void* block =
        size < 0 ? nullptr : std::calloc(size == 0 ? 1 : static_cast<std::size_t>(size), 1);
    if (block != nullptr) return block;
    // The threshold is 1000 while the unit is 1024: 1001 to 1023 bytes read "0 K".
    if (size > 1000) {
        errmsg("\ncannot get the memory of %d K bytes\n", size / 1024);
    } else {
        errmsg("\ncannot get the memory of %d bytes\n", size);
    }
    if (size < terminate_size) std::exit(1);
    return nullptr;
}

char* setstr(const char* s) {
    char* copy = strdup(s);
    if (copy == nullptr) {
        errmsg("cannot get memory\n");
        std::exit(1);
    }
    return copy;
}

void freemem(void* block) {
    std::free(block);
}

namespace {

void out_of_memory() {
    errmsg("cannot get memory\n");
    std::exit(1);
}

}  // namespace

void install_memory_handler() {
    std::set_new_handler(out_of_memory);
}

}  // namespace tagpolish

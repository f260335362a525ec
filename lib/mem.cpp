// Memory: a failed request is reported and ends the program, so no caller
// has to handle it; large buffers mapped for huge pages.
#include "lib/mem.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "lib/diag.h"
#include "platform/big_memory.h"

namespace tagpolish {

namespace {

void (*memory_stop_hook)(void*) = nullptr;
void* memory_stop_context = nullptr;

thread_local bool failing = false;  // this thread reports a memory failure
thread_local bool in_hook = false;  // and runs the hook

// A hook that itself runs out of memory ends the program at once.
[[noreturn]] void stop() {
    if (memory_stop_hook != nullptr && !in_hook) {
        in_hook = true;
        memory_stop_hook(memory_stop_context);
    }
    std::exit(1);
}

}  // namespace

void set_memory_stop_hook(void (*hook)(void*), void* context) {
    memory_stop_hook = hook;
    memory_stop_context = context;
}

bool memory_failing() {
    return failing;
}

void out_of_memory() {
    failing = true;
    errmsg("cannot get memory\n");
    stop();
}

std::size_t large_capacity(std::size_t size) {
    if (size < large_block_min) return size;
    return (size + large_block_min - 1) / large_block_min * large_block_min;
}

void* large_alloc(std::size_t size) {
    if (size < large_block_min) {
        void* block = alloc_aligned((size / large_align + 1) * large_align, large_align);
        if (block == nullptr) throw std::bad_alloc();
        return block;
    }
    void* block = map_block(large_capacity(size), large_block_min);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void* large_realloc(void* block, std::size_t old_size, std::size_t new_size) {
    if (block == nullptr) return large_alloc(new_size);
    if (old_size >= large_block_min && new_size >= large_block_min) {
        void* moved = remap_block(block, large_capacity(old_size), large_capacity(new_size));
        if (moved == nullptr) throw std::bad_alloc();
        return moved;
    }
    void* moved = large_alloc(new_size);
    std::memcpy(moved, block, old_size < new_size ? old_size : new_size);
    large_free(block, old_size);
    return moved;
}

void large_free(void* block, std::size_t size) {
    if (block == nullptr) return;
    if (size < large_block_min)
        free_aligned(block);
    else
        unmap_block(block, large_capacity(size));
}

void install_memory_handler() {
    bound_allocator_arenas();
    std::set_new_handler(out_of_memory);
}

}  // namespace tagpolish

#include "platform/big_memory.h"

#include <malloc.h>
#include <windows.h>

#include <cstring>

namespace tagpolish {

// VirtualAlloc places a block on its allocation granularity (64 KiB),
// which is as far as Windows aligns without reserving more; large pages
// would need a privilege that a user seldom has.
void* map_block(std::size_t length, std::size_t) {
    return VirtualAlloc(nullptr, length, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

// Windows cannot move pages to a new address: the block is copied.
void* remap_block(void* block, std::size_t old_length, std::size_t new_length) {
    void* moved = VirtualAlloc(nullptr, new_length, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (moved == nullptr) return nullptr;
    std::memcpy(moved, block, old_length < new_length ? old_length : new_length);
    VirtualFree(block, 0, MEM_RELEASE);
    return moved;
}

void unmap_block(void* block, std::size_t) {
    VirtualFree(block, 0, MEM_RELEASE);
}

// The C library of Windows has no aligned_alloc; its aligned blocks need a
// free of their own.
void* alloc_aligned(std::size_t size, std::size_t align) {
    return _aligned_malloc(size, align);
}

void free_aligned(void* block) {
    _aligned_free(block);
}

void bound_allocator_arenas() {}

}  // namespace tagpolish

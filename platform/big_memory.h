// Memory straight from the system, for the program's large buffers, and
// the tuning of the C library's allocator.
#pragma once

#include <cstddef>

namespace tagpolish {

// A block of length bytes (a multiple of align) in whole pages of its own,
// starting on a multiple of align (a power of two, 2 MiB for huge pages)
// where the system maps to such a boundary (POSIX), at least on one of 64
// KiB (Windows); huge pages are asked for where the system offers them.
// Null when the system has no room.
void* map_block(std::size_t length, std::size_t align);

// Makes block (from map_block with old_length) hold new_length bytes,
// keeping the first of them up to the shorter length; it may move, and
// need not keep the boundary (POSIX moves it without a copy). Null when
// there is no room: block is then as it was.
void* remap_block(void* block, std::size_t old_length, std::size_t new_length);

void unmap_block(void* block, std::size_t length);

// A smaller block from the C library's heap, starting on a multiple of
// align; size is a multiple of align. Null when there is no room. Given
// back with free_aligned only.
void* alloc_aligned(std::size_t size, std::size_t align);
void free_aligned(void* block);

// Under a limit on the address space (ulimit -v), keeps the allocator's
// arenas for the threads within a share of it; where there is no such
// limit (Windows), nothing.
void bound_allocator_arenas();

}  // namespace tagpolish

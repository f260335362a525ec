#include "platform/big_memory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace tagpolish {
namespace {

void advise_huge_pages([[maybe_unused]] void* block, [[maybe_unused]] std::size_t length) {
#ifdef MADV_HUGEPAGE
    // Only advice: where the system declines it, the block is still sound.
    madvise(block, length, MADV_HUGEPAGE);
#endif
}

}  // namespace

void* map_block(std::size_t length, std::size_t align) {
    // Map align bytes more than needed and give back the ends, so that the
    // block starts on the boundary.
    void* map =
        mmap(nullptr, length + align, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(map);
    const std::uintptr_t aligned = (start + align - 1) & ~(align - 1);
    const std::size_t before = aligned - start;
    if (before > 0) munmap(map, before);
    munmap(reinterpret_cast<void*>(aligned + length), align - before);
    advise_huge_pages(reinterpret_cast<void*>(aligned), length);
    return reinterpret_cast<void*>(aligned);
}

void* remap_block(void* block, std::size_t old_length, std::size_t new_length) {
    void* moved = mremap(block, old_length, new_length, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED) return nullptr;
    advise_huge_pages(moved, new_length);
    return moved;
}

void unmap_block(void* block, std::size_t length) {
    munmap(block, length);
}

void* alloc_aligned(std::size_t size, std::size_t align) {
    return std::aligned_alloc(align, size);
}

void free_aligned(void* block) {
    std::free(block);
}

// Every thread that allocates is given an arena of its own, which reserves
// 128 MiB of address space as it starts. Under a limit on the address space
// the workers' arenas would take the room a large page needs, and a
// reservation that cannot be had is tried again on every allocation. The
// arenas are kept to what a quarter of the limit holds, at least the one
// every thread can share.
void bound_allocator_arenas() {
#ifdef M_ARENA_MAX
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return;
    constexpr rlim_t arena_reserve = rlim_t{128} << 20;
    const rlim_t arenas = std::clamp<rlim_t>(limit.rlim_cur / 4 / arena_reserve, 1, 64);
    mallopt(M_ARENA_MAX, static_cast<int>(arenas));
#endif
}

}  // namespace tagpolish

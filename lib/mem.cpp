// Memory: a failed request is reported and ends the program, so no caller
// has to handle it; large buffers mapped for huge pages.
#include "lib/mem.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "lib/diag.h"

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

// Every thread that allocates is given an arena of its own, which reserves
// 128 MiB of address space as it starts. Under a limit on the address space
// (ulimit -v) the workers' arenas would take the room a large page needs,
// and a reservation that cannot be had is tried again on every allocation.
// The arenas are kept to what a quarter of the limit holds, at least the
// one every thread can share.
void bound_arenas() {
#ifdef M_ARENA_MAX
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return;
    constexpr rlim_t arena_reserve = rlim_t{128} << 20;
    const rlim_t arenas = std::clamp<rlim_t>(limit.rlim_cur / 4 / arena_reserve, 1, 64);
    mallopt(M_ARENA_MAX, static_cast<int>(arenas));
#endif
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
        void* block = std::aligned_alloc(large_align, (size / large_align + 1) * large_align);
        if (block == nullptr) throw std::bad_alloc();
        return block;
    }
    // Map a huge page more than needed and give back the ends, so that the
    // block starts on a huge page boundary.
    const std::size_t length = large_capacity(size);
    void* map = mmap(nullptr, length + large_block_min, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(map);
    const std::uintptr_t aligned = (start + large_block_min - 1) & ~(large_block_min - 1);
    const std::size_t before = aligned - start;
    if (before > 0) munmap(map, before);
    munmap(reinterpret_cast<void*>(aligned + length), large_block_min - before);
#ifdef MADV_HUGEPAGE
    // Only advice: where the system declines it, the block is still sound.
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
}

void* large_realloc(void* block, std::size_t old_size, std::size_t new_size) {
    if (block == nullptr) return large_alloc(new_size);
    if (old_size >= large_block_min && new_size >= large_block_min) {
        void* moved =
            mremap(block, large_capacity(old_size), large_capacity(new_size), MREMAP_MAYMOVE);
        if (moved == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        madvise(moved, large_capacity(new_size), MADV_HUGEPAGE);
#endif
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
        std::free(block);
    else
        munmap(block, large_capacity(size));
}

void install_memory_handler() {
    bound_arenas();
    std::set_new_handler(out_of_memory);
}

}  // namespace tagpolish

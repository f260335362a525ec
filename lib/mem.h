// Memory: running out of it ends the program with a message, so that no
// caller has to handle it; large buffers mapped for huge pages.
#pragma once

#include <cstddef>
#include <new>

namespace tagpolish {

// Reports "cannot get memory" and ends the program with status 1.
[[noreturn]] void out_of_memory();

// Called with context when a memory failure ends the program, in the
// thread that failed, after its message: the program names there what it
// was working on and what it leaves undone, and ends the process itself
// or lets it end on return. It must not ask for memory (if it does and
// fails, the program ends at once). Null (the default) adds nothing. Set
// before any thread that may ask for memory is started.
void set_memory_stop_hook(void (*hook)(void* context), void* context);

// Whether the calling thread is reporting a memory failure: what it says
// now must not ask for more.
bool memory_failing();

// Large buffers (the text of an input read whole, a buffer grown for a
// long line): from large_block_min bytes on, they are mapped for huge pages
// where the system offers them, so that filling one costs a page fault per
// 2 MiB instead of one per 4 KiB, and they grow by remapping, without a copy
// and without holding the old and the new block at once. A failure throws
// bad_alloc.
constexpr std::size_t large_block_min = std::size_t{2} << 20;
void* large_alloc(std::size_t size);
void large_free(void* block, std::size_t size);

// Every large block starts on a multiple of this many bytes (a cache line):
// the kernel copies into such a place at full speed.
constexpr std::size_t large_align = 64;

// The bytes that a large_alloc of size makes usable: from large_block_min
// on, size rounded up to whole huge pages.
std::size_t large_capacity(std::size_t size);

// Makes block (from large_alloc with old_size) hold new_size bytes, keeping
// the first min(old_size, new_size) of them; it may move.
void* large_realloc(void* block, std::size_t old_size, std::size_t new_size);

// Makes every other failed allocation (operator new, standard containers)
// end the program with "cannot get memory\n" and status 1; under a limit on
// the address space, keeps the threads' allocators within a share of it.
// Called before any thread is started.
void install_memory_handler();

}  // namespace tagpolish

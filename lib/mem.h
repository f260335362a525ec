// Heap blocks whose callers never see an allocation failure.
#pragma once

namespace tagpolish {

// A failed request of at least this many bytes returns null instead of
// ending the program.
extern int terminate_size;

// A zero-filled block of size bytes; a failure is reported and ends the
// program with status 1 (below terminate_size).
void* getmem(int size);

// A copy of s in a new block; a failure ends the program with status 1.
char* setstr(const char* s);

// Releases a block from getmem or setstr; null is ignored.
void freemem(void* block);

// Makes every other failed allocation (operator new, standard containers)
// end the program with "cannot get memory\n" and status 1.
void install_memory_handler();

}  // namespace tagpolish

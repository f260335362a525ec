// The free-space query of the file system that holds a file.
#pragma once

namespace tagpolish {

// Bytes available to the caller at the most recent query, or -1.0.
extern double FreeDiskSpace;

// Free bytes on the file system of name, capped at 2147483647; -1 when the
// figure cannot be had.
int getFreeSpace(const char* name);

}  // namespace tagpolish

// What tells one file from another, and one state of a file from a later
// one, so that a run notices what other programs do to its pages.
#pragma once

#include <string>

#include "platform/file_ops.h"

namespace tagpolish {

// Whether now describes the file that before described, with the same
// size, modification time and change time: nobody has written it, renamed
// it, linked it or changed its attributes in between.
bool unchanged(const FileStat& before, const FileStat& now);

// A file as a run remembers it, in the state it was in.
struct FileId {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    std::int64_t size = 0;
    struct timespec mtime {};
    struct timespec ctime {};
    // The file system's handle for the file: it holds the inode's
    // generation, so it tells a file from a later one that was given the
    // same inode number. "" where the file system gives none.
    std::string handle;
};

// The identity of the file open as fd (O_PATH will do), which fstat
// described as st.
FileId file_id(FileOps& ops, int fd, const FileStat& st);

// Gives id the state that fstat described as st, of the same file later.
void take_state(FileId& id, const FileStat& st);

// Whether a and b are the very same file in the same state: the same
// device and inode, the same handle where both have one, and the same
// size and times. Where there is no handle, the change time tells a
// reused inode number from the file that had it.
bool same_file(const FileId& a, const FileId& b);

}  // namespace tagpolish

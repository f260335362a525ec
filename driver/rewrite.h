// Rewriting a file in place under -w: opening it so that no other run of
// the program edits it meanwhile, and replacing it with the edited text.
#pragma once

#include "driver/file_ops.h"
#include "driver/line_end.h"
#include "lib/namelist.h"

namespace tagpolish {

// An input opened to be rewritten: fd is open and locked, or -1; then error
// is the errno of the failed open, or 0 when the input is not a regular
// file.
struct RewriteInput {
    int fd = -1;
    int error = 0;
};

// Opens name for reading, to rewrite it later. Only a regular file is
// taken (looked at before anything is read, and without waiting for the
// writer of a FIFO). The file stays locked (flock) until fd is closed, so
// that another run of the program on the same file waits; when that run
// replaced the file while this one waited, the new file is opened.
RewriteInput open_to_rewrite(const char* name, FileOps& ops = system_file_ops());

// How a rewrite ended. Unless it is done, the file was left as it was and
// the failure has been reported.
enum class Rewrite {
    done,     // the file holds the new text
    refused,  // the file's ACL or permission bits cannot be kept; the run goes on
    stopped,  // the new text cannot be written or put in place; the run stops
};

// Replaces the file at path (the final target of a symbolic link), whose
// old text is open as old_fd, with the items of out_list. The new file is
// made in the same directory, unnamed where the file system allows it, and
// gets the old file's owner and group (as far as the user may give them),
// its extended attributes and ACL, and its permission bits; it is synced,
// renamed over the target, and the directory is synced.
Rewrite rewrite_file(const char* path, int old_fd, const NameList& out_list, LineEnd line_end,
                     FileOps& ops = system_file_ops());

}  // namespace tagpolish

// Rewriting a file in place under -w: opening it so that no other run of
// the program edits it meanwhile, and replacing it with the edited text,
// keeping the old text as a backup on request.
#pragma once

#include <string>

#include "driver/file_ops.h"
#include "driver/line_end.h"
#include "driver/new_file.h"
#include "lib/namelist.h"

namespace tagpolish {

class Listing;

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

// The file that a rewrite of a name replaces: the final target of a
// symbolic link, or the name itself, as its directory (with its "/") and
// its name in that directory.
struct Target {
    std::string dir;
    std::string base;
    std::string path() const { return dir + base; }
};
Target rewrite_target(const char* path);

// Whether path, or the file it leads to, has a name that ends in suffix:
// then it is taken for a backup, which is never edited.
bool is_backup_name(const char* path, const char* suffix);

// What a rewrite does besides replacing the file.
struct RewriteSettings {
    bool dry_run = false;                 // make every check, change nothing
    const char* backup_suffix = nullptr;  // keep the old file as its name and this
    Listing* listing = nullptr;           // names each file replaced
};

// Replaces the file at path (the final target of a symbolic link), whose
// old text is open as old_fd, with the items of out_list, in three steps.
// Checks: the user may write the file, and its backup name is free (under
// a dry run also: a new file may be made in its directory). New file: made
// in the same directory, unnamed where the file system allows it, it gets
// the old file's owner and group (as far as the user may give them), its
// extended attributes and ACL, and its permission bits, and is synced
// (none of this under a dry run). Commit: the backup is made, the new file
// is renamed over the target, the directory is synced, and the listing
// names path (under a dry run, only the listing).
Rewrite rewrite_file(const char* path, int old_fd, const NameList& out_list, LineEnd line_end,
                     const RewriteSettings& how = {}, FileOps& ops = system_file_ops());

}  // namespace tagpolish

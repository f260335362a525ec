// Rewriting a file in place under -w: opening it so that no other run of
// the program edits it meanwhile, and replacing it with the edited text,
// keeping the old text as a backup on request.
#pragma once

#include <string>

#include "driver/file_ops.h"
#include "driver/new_file.h"

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

// Where a rewrite puts things, and how its messages name them.
struct Plan {
    const char* path;    // the input as named
    Target target;       // the file replaced
    std::string backup;  // the backup's name in the target's directory, "" for none
    std::string shown;   // the backup as messages name it
};

// The rewrite of the file at path (the final target of a symbolic link),
// whose old text is open as old_fd, in three steps around the walk that
// writes the new text. prepare, before the walk: the checks that need no
// new file (the user may write the file, its backup name is free, and
// under a dry run a new file may be made in its directory), then the new
// file, made in the target's directory, unnamed where the file system
// allows it (none under a dry run). commit, once the whole new text is
// written: the new file gets the old file's owner and group (as far as the
// user may give them), its extended attributes and ACL, and its permission
// bits, and is synced; the backup is made, the new file is renamed over
// the target, the directory is synced, and the listing names path (under a
// dry run, only the listing). A new file that does not replace the target
// is removed.
class FileRewrite {
  public:
    FileRewrite(const char* path, int old_fd, const RewriteSettings& how = {},
                FileOps& ops = system_file_ops());
    FileRewrite(const FileRewrite&) = delete;
    FileRewrite& operator=(const FileRewrite&) = delete;

    // What fails here is reported only by commit: a text that comes out
    // unchanged needs no new file.
    void prepare();
    // Where the walk writes the new text: -1 under a dry run, or when no
    // new file could be made.
    int fd() const { return file_.fd(); }
    // Puts the new text in place of the old one; write_error is the errno
    // of the first write of the text that failed, or 0. Reports a failure.
    Rewrite commit(int write_error);

  private:
    // A failure of prepare, reported by commit.
    enum class Found { nothing, cannot_write, backup_exists, backup_unknown };
    Rewrite report(Found found, int error) const;
    Rewrite replace(bool& replaced);

    int old_fd_;
    RewriteSettings how_;
    FileOps& ops_;
    Plan plan_;
    Found found_ = Found::nothing;
    int error_ = 0;  // the errno of what prepare found
    NewFile file_;
};

}  // namespace tagpolish

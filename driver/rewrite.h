// Rewriting a file in place under -w: opening it so that no other run of
// the program edits it meanwhile, and replacing it with the edited text,
// keeping the old text as a backup on request.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>

#include "driver/file_ops.h"
#include "driver/new_file.h"

namespace tagpolish {

class Listing;

// How open_to_rewrite ended.
enum class Opened {
    locked,       // fd is open and locked
    missing,      // it could not be opened (error says why)
    not_regular,  // not a regular file (or fstat failed: error says why)
    passed_over,  // the caller passed it over
    stopped,      // the caller would not wait for its lock
};

// An input opened to be rewritten: fd is open and locked, and st is what
// fstat said of it, or fd is -1.
struct RewriteInput {
    int fd = -1;
    int error = 0;
    struct stat st {};
    Opened opened = Opened::locked;
};

// What open_to_rewrite asks of its caller; either may be empty.
struct OpenHooks {
    // Whether the regular file just opened, which fstat described as st,
    // is passed over: then it is closed again before it is locked.
    std::function<bool(const struct stat&)> pass_over;
    // Called when another holds the file's lock, before waiting for it:
    // the caller lets go of the locks it holds, so that two runs can never
    // wait for each other. False: do not wait (the run stops).
    std::function<bool()> before_wait;
};

// Opens name for reading, to rewrite it later. Only a regular file is
// taken (looked at before anything is read, and without waiting for the
// writer of a FIFO). The file stays locked (flock) until fd is closed, so
// that another run of the program on the same file waits; when that run
// replaced the file while this one waited, the new file is opened.
RewriteInput open_to_rewrite(const char* name, FileOps& ops = system_file_ops(),
                             const OpenHooks& hooks = {});

// The file that a rewrite of a name replaces: the final target of a
// symbolic link, or the name itself, as its directory (with its "/") and
// its name in that directory.
struct Target {
    std::string dir;
    std::string base;
    bool link = false;  // the name was a symbolic link
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
// whose old text is open as old_fd, in steps around the walk that writes
// the new text. prepare, before the walk: the checks that need no new file
// (the user may write the file, its backup name is free, and under a dry
// run a new file may be made in its directory), then the new file, made in
// the target's directory, unnamed where the file system allows it (none
// under a dry run). finish, once the whole new text is written: the new
// file gets the old file's owner and group (as far as the user may give
// them), its extended attributes and ACL, and its permission bits (under a
// dry run, the listing names path). sync makes the new text last. place:
// the backup is made, the new file is renamed over the target, the old
// file is let go, and the listing names path. sync_dir makes the rename
// last. Each step reports its own failure; a new file that does not
// replace the target is removed.
class FileRewrite {
  public:
    // Takes old_fd, which it closes (and so unlocks) once the file is
    // replaced, or when the rewrite is dropped.
    FileRewrite(const char* path, int old_fd, const RewriteSettings& how = {},
                FileOps& ops = system_file_ops());
    ~FileRewrite();
    FileRewrite(const FileRewrite&) = delete;
    FileRewrite& operator=(const FileRewrite&) = delete;

    // What fails here is reported only by finish: a text that comes out
    // unchanged needs no new file.
    void prepare();
    // Where the walk writes the new text: -1 under a dry run, or when no
    // new file could be made.
    int fd() const { return file_.fd(); }
    // old is what fstat says of the old file now; write_error is the errno
    // of the first write of the new text that failed, or 0.
    Rewrite finish(int write_error, const struct stat& old);
    Rewrite sync();
    Rewrite place();
    // 0 or the errno, which the caller reports for every file of the
    // directory.
    int sync_dir() { return file_.sync_dir(); }

    const char* path() const { return plan_.path; }
    // The directory the new file goes in, as named.
    const std::string& dir() const { return plan_.target.dir; }
    // What fstat said of the new file once it was finished.
    const struct stat& made() const { return made_; }
    // Whether the new file has taken the target's place.
    bool placed() const { return old_fd_ < 0; }

  private:
    // A failure of prepare, reported by finish.
    enum class Found { nothing, cannot_write, backup_exists, backup_unknown };
    Rewrite report(Found found, int error) const;
    Rewrite put_in_place();

    int old_fd_;
    RewriteSettings how_;
    FileOps& ops_;
    Plan plan_;
    Found found_ = Found::nothing;
    int error_ = 0;  // the errno of what prepare found
    struct stat old_ {};
    struct stat made_ {};
    NewFile file_;
};

}  // namespace tagpolish

// Rewriting a file in place under -w: finding and opening it so that no
// other run of the program edits it meanwhile, and replacing it with the
// edited text, keeping the old text as a backup on request, unless another
// program changed it in the meantime.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>

#include "driver/file_id.h"
#include "driver/file_ops.h"
#include "driver/new_file.h"
#include "driver/resolve.h"
#include "lib/diag.h"

namespace tagpolish {

class Listing;

// The message of an input that another program wrote, replaced or removed
// between its reading and its rewrite.
inline constexpr MsgFormat<const char*> msg_changed = "%s: the file changed while it was read\n";

// How open_to_rewrite ended.
enum class Opened {
    locked,        // fd is open and locked
    missing,       // it could not be found or opened (error says why)
    foreign_link,  // a symbolic link on the way belongs to another user
    not_regular,   // not a regular file
    passed_over,   // the caller passed it over
    stopped,       // the caller would not wait for its lock, or the run stopped
};

// An input opened to be rewritten: fd is open and locked, st is what fstat
// said of it, and target is where it is; or fd is -1.
struct RewriteInput {
    int fd = -1;
    int error = 0;
    struct stat st {};
    Opened opened = Opened::locked;
    Target target;
};

// What open_to_rewrite asks of its caller; either may be empty.
struct OpenHooks {
    // Whether the regular file that a name leads to (target.file is open)
    // is passed over: then it is not opened.
    std::function<bool(const Target&)> pass_over;
    // Called when another holds the file's lock, before waiting for it:
    // the caller lets go of the locks it holds, so that two runs can never
    // wait for each other. False: do not wait (the run stops).
    std::function<bool()> before_wait;
};

// Finds name (resolve) and opens the regular file it leads to for reading,
// to rewrite it later; anything else is refused before it is opened. The
// file stays locked (flock) until fd is closed, so that another run of the
// program on the same file waits (saying so after a second, and giving up
// when the run stops); when that run replaced the file meanwhile, the name
// is found again.
RewriteInput open_to_rewrite(const char* name, FileOps& ops = system_file_ops(),
                             const OpenHooks& hooks = {});

// Whether the file that name leads to (target) is a backup, which is never
// edited: its name, or the name given when that is a symbolic link, ends
// in suffix and is, without it, the name of a regular file beside it.
bool is_backup_name(const char* name, const Target& target, const char* suffix,
                    FileOps& ops = system_file_ops());

// What a rewrite does besides replacing the file.
struct RewriteSettings {
    bool dry_run = false;                 // make every check, change nothing
    const char* backup_suffix = nullptr;  // keep the old file as its name and this
    Listing* listing = nullptr;           // names each file replaced
};

// How a rewrite names things.
struct Plan {
    const char* path;    // the input as named
    std::string backup;  // the backup's name in the target's folder, "" for none
    std::string shown;   // the backup as messages name it
};

// The rewrite of the file that an input leads to, whose old text is open
// as the input's fd, in steps around the walk that writes the new text;
// every step acts through the target's folder. prepare, before the walk:
// the checks that need no new file (the user may write the file, its
// backup name is free, and under a dry run a new file may be made in its
// folder), then the new file, unnamed where the file system allows it
// (none under a dry run). finish, once the whole new text is written: the
// new file gets the old file's owner and group (a file that would go to
// another group, or that anybody may write and would go to another owner,
// is refused), its extended attributes and ACL, and its permission bits
// (under a dry run, the listing names path). sync makes the new text last.
// place: unless the name no longer leads to the old file as it was read,
// the backup is made, the new file is renamed over the target, the old
// file is let go, and the listing names path. sync_dir makes the rename
// last. Each step reports its own failure; a new file that does not
// replace the target is removed.
class FileRewrite {
  public:
    // Takes the input's fd, which it closes (and so unlocks) once the file
    // is replaced, or when the rewrite is dropped.
    FileRewrite(const char* path, RewriteInput&& in, const RewriteSettings& how = {},
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
    // old is what fstat says of the old file at the end of its reading;
    // write_error is the errno of the first write of the new text that
    // failed, or 0.
    Rewrite finish(int write_error, const struct stat& old);
    Rewrite sync();
    Rewrite place();
    // 0 or the errno, which the caller reports for every file of the
    // folder.
    int sync_dir();

    const char* path() const { return plan_.path; }
    // The file replaced, by its folder and name.
    const Target& target() const { return target_; }
    // What fstat said of the target's folder.
    const struct stat& dir_st() const { return dir_st_; }
    // The new file as it was finished (there is none under a dry run).
    const FileId& made_id() const { return made_id_; }
    // What fstat said of the new file once it had taken the target's
    // name (st_ino 0 when another file had taken it at once).
    const struct stat& placed_st() const { return placed_; }
    // Whether the new file has taken the target's place.
    bool placed() const { return old_fd_ < 0; }

  private:
    // A failure of prepare, reported by finish.
    enum class Found { nothing, cannot_write, backup_exists, backup_unknown };
    Rewrite report(Found found, int error) const;
    bool still_there() const;
    Rewrite put_in_place();

    int old_fd_;
    RewriteSettings how_;
    FileOps& ops_;
    Target target_;
    Plan plan_;
    Found found_ = Found::nothing;
    int error_ = 0;  // the errno of what prepare found
    struct stat dir_st_ {};
    struct stat old_ {};
    struct stat placed_ {};
    FileId made_id_;
    NewFile file_;
};

}  // namespace tagpolish

// Rewriting a file in place under -w: finding and opening it so that no
// other run of the program edits it meanwhile, and replacing it with the
// edited text, keeping the old text as a backup on request, unless another
// program changed it in the meantime.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "driver/rewrite/backup_record.h"
#include "driver/rewrite/file_id.h"
#include "driver/rewrite/new_file.h"
#include "driver/rewrite/resolve.h"
#include "lib/diag.h"
#include "platform/file_ops.h"

namespace tagpolish {

// What became of an input: the opening of an input answers open or how it
// ended there, and the run counts each input by its last fate. (A step of
// its rewrite answers Went.)
enum class Fate {
    open,         // opened and locked: its rewrite goes on
    done,         // replaced by its edited text (under a dry run: would be);
                  // restored, or its backup removed
    edited,       // written to standard output
    unchanged,    // its text came out the same: the file stays as it was
    passed_over,  // a later name of a file already edited, a backup, or a
                  // symbolic link that the walk does not follow
    failed,       // left as it was, and reported; the run goes on
    stopped,      // left as it was, and reported: the new text cannot be
                  // written or put in place; the run stops
    unsynced,     // replaced, but its folder could not be synced: counts as
                  // failed, and the run stops
    busy,         // another holds its lock: done again once the run holds none
    not_reached,  // the run stopped before its reading, or during its walk
};

// The fate of an input whose rewrite ended at a step.
constexpr Fate fate_of(Went went) {
    switch (went) {
        case Went::on:
            return Fate::done;
        case Went::failed:
            return Fate::failed;
        case Went::stopped:
            return Fate::stopped;
    }
    return Fate::failed;
}

// An input opened to be rewritten: fate is open, fd is open and locked, st
// is what fstat said of it, and target is where it is; or fd is -1.
struct RewriteInput {
    int fd = -1;
    int error = 0;
    FileStat st{};
    Fate fate = Fate::open;
    Target target;
};

// What open_to_rewrite asks of its caller; either may be empty.
struct OpenHooks {
    // Whether the regular file that a name leads to (target.file is open)
    // is passed over (the hook says so): then it is not opened.
    std::function<bool(const Target&)> pass_over;
    // Called when another holds the file's lock, before waiting for it:
    // the caller lets go of the locks it holds, so that two runs can never
    // wait for each other. False: do not wait (the input is busy).
    std::function<bool()> before_wait;
    // Asked while the file's lock is awaited: false ends the wait (the
    // input is not reached). A stop signal always ends it.
    std::function<bool()> keep_waiting;
};

// An input to open under -w: a name found from the current folder, or an
// entry of a folder that the walk holds open, its name shown after the
// folder's.
struct InputName {
    const char* name;          // as messages show it
    int folder = -1;           // the walk's folder, or -1: find name
    std::size_t entry_at = 0;  // where the entry's own name begins in name
    bool follow_link = true;   // an entry that is a symbolic link is followed
};

// Finds the input (resolve) and opens the regular file it leads to for
// reading, to rewrite it later; anything else is refused (and reported)
// before it is opened, and an entry of the walk that is a symbolic link
// is passed over with a note unless it is to be followed. The file stays
// locked (flock) until fd is closed, so that another run of the program
// on the same file waits (saying so after a second, and giving up when the
// run stops); when that run replaced the file meanwhile, the name is found
// again. Answers open, failed, passed_over, busy or not_reached.
RewriteInput open_to_rewrite(const InputName& input, FileOps& ops = system_file_ops(),
                             const OpenHooks& hooks = {});

// A file of a folder, opened and locked as open_to_rewrite opens and locks
// an input.
struct LockedFile {
    Fd fd;          // open and locked when fate is open
    FileStat st{};  // what fstat said of it
    Fate fate = Fate::failed;
    int error = 0;  // why it failed; 0 for a file that is not a regular one
};

// Opens the file named base in the folder open as dir, without following
// a symbolic link (ELOOP), and locks it as open_to_rewrite does (shown
// names it in messages), found again when another run replaced it while
// this one waited. Answers open, failed (ENOENT: there is none), busy or
// not_reached.
LockedFile lock_entry(int dir, const std::string& base, const char* shown,
                      FileOps& ops = system_file_ops(), const OpenHooks& hooks = {});

// Whether the file that input leads to (target) is a backup, which is
// never edited: its name, or the name given when that is a symbolic link,
// ends in suffix and is, without it, the name of a regular file beside it.
bool is_backup_name(const InputName& input, const Target& target, const char* suffix,
                    FileOps& ops = system_file_ops());

// What a rewrite does besides replacing the file.
struct RewriteSettings {
    bool dry_run = false;                 // make every check, change nothing
    const char* backup_suffix = nullptr;  // keep the old file as its name and this
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
// new file gets its record (keep_record), the old file's owner and group
// (a file that would go to another group, or that anybody may write and
// would go to another owner, is refused), its extended attributes but the
// old record, its ACL, and its permission bits. sync makes the new text
// last. place: unless the name no longer leads to the old file as it was
// read, the backup is made, the new file is renamed over the target, the
// old file is let go, and a change of owner is noted. sync_dir makes the rename
// last. Each step reports its own failure (to the destination of
// messages_to, when one is set); a new file that does not replace the
// target is removed.
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
    // The record that the new file is to hold for --restore, set by
    // finish; a record that cannot be set leaves record_error set.
    void keep_record(const BackupRecord& record) { record_ = record; }
    // The errno with which the record could not be set, or 0.
    int record_error() const { return record_error_; }
    // old is what fstat says of the old file at the end of its reading;
    // write_error is the errno of the first write of the new text that
    // failed, or 0.
    Went finish(int write_error, const FileStat& old);
    Went sync();
    Went place();
    // 0 or the errno, which the caller reports for every file of the
    // folder.
    int sync_dir();

    const char* path() const { return plan_.path; }
    // The file replaced, by its folder and name.
    const Target& target() const { return target_; }
    // What fstat said of the target's folder.
    const FileStat& dir_st() const { return dir_st_; }
    // The new file as it was finished (there is none under a dry run).
    const FileId& made_id() const { return made_id_; }
    // What fstat said of the new file once it had taken the target's
    // name (st_ino 0 when another file had taken it at once).
    const FileStat& placed_st() const { return placed_; }
    // Whether the new file has taken the target's place.
    bool placed() const { return old_fd_ < 0; }
    // Where the messages of the steps that the batch makes go (null:
    // where the thread's go).
    void messages_to(MsgDest* dest) { dest_ = dest; }
    MsgDest* messages_to() const { return dest_; }

  private:
    // A failure of prepare, reported by finish.
    enum class Found { nothing, cannot_write, backup_exists, backup_unknown };
    Went report(Found found, int error) const;
    bool still_there() const;
    Went put_in_place();

    int old_fd_;
    RewriteSettings how_;
    FileOps& ops_;
    Target target_;
    Plan plan_;
    Found found_ = Found::nothing;
    int error_ = 0;  // the errno of what prepare found
    FileStat dir_st_{};
    FileStat old_{};
    FileStat placed_{};
    FileId made_id_;
    std::optional<BackupRecord> record_;
    int record_error_ = 0;
    NewFile file_;
    MsgDest* dest_ = nullptr;
};

}  // namespace tagpolish

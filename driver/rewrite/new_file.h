// A file made beside the one it is to replace or keep: the edited text of
// a rewrite, or the copy that backs up the old file.
#pragma once

#include <string>

#include "lib/diag.h"
#include "platform/file_ops.h"

namespace tagpolish {

// How one step of a rewrite went: made, and the rewrite goes on; or it
// failed (this file cannot be rewritten safely; the run goes on) or
// stopped (the new text cannot be written or put in place; the run
// stops), the failure reported. The input's outcome is its Fate
// (driver/rewrite/rewrite.h), which fate_of gives for a step that ended it.
enum class Went : unsigned char { on, failed, stopped };

// Reports "failed to rewrite" for path with the reason error; the run stops.
Went give_up(int error, const char* path);

// Links the file open as fd into the directory open as dir_fd under name,
// as the system names an open file (platform/paths.h: through /proc on
// Linux, which needs no privilege where linking the descriptor itself
// would). Never replaces an existing name. Returns 0 or the errno.
int link_open_file(FileOps& ops, int fd, int dir_fd, const char* name);

// What a new file that takes the place of old can keep of its owner and
// group: all (root may give files away), the group but not the owner (a
// user who may not, in a shared folder), or not even the group.
struct OwnerGiven {
    bool owner = false;
    bool group = false;
};
// What the user running the program could give, without trying.
OwnerGiven owner_given_to(const FileStat& old);
// Reports what a new file that was given that much cannot keep of old:
// a file left to another group, or a file that anybody may write left to
// another owner, is refused; a file that only changes hands is replaced,
// with a note when note_owner is set.
Went report_owner(OwnerGiven given, const FileStat& old, const char* path, bool note_owner);
// The note for a page that changed hands: its name, and its old owner's.
inline constexpr MsgFormat<const char*, const char*> msg_new_owner =
    "%s: now owned by you, was %s\n";

// What a new file is made for: the new text of a page, or the copy that
// backs up the old one.
enum class Made { page, backup_copy };

// The new file, from its making until it is in its place; whatever is left
// of it on the way out (a failure, a stop) is removed.
class NewFile {
  public:
    explicit NewFile(FileOps& ops);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Makes the file in the folder open as dir (which must outlive it):
    // unnamed where the file system allows it, so that it goes with the
    // process however that ends, else under a temporary name. Returns 0 or
    // the errno.
    int make(int dir);
    // Writes every byte of the file open as from. 0 or the errno.
    int copy(int from);
    // Gives the file what the old file open as old_fd (which fstat
    // described as old) has and the process may give: owner and group,
    // extended attributes and ACL, and its permission bits, last. path
    // names the input in messages. A page does not take the old page's
    // record (driver/rewrite/backup_record.h), and when it does not keep the old
    // owner, old_owner names that owner for the note that the caller makes
    // once the page is replaced.
    Went carry(int old_fd, const FileStat& old, const char* path, Made made);
    // The name of the old owner that a page does not keep, or "".
    const std::string& old_owner() const { return old_owner_; }
    // Gives the file the access and modification times in old.
    int copy_times(const FileStat& old);
    // Makes the file (sync) or its bytes and size (sync_data) last a power
    // cut. 0 or the errno.
    int sync();
    int sync_data();
    // Gives the synced file the name base in its folder, never over an
    // existing file (EEXIST), and closes it. 0 or the errno.
    int name_as(const std::string& base);
    // Renames the synced file over base in its folder. 0 or the errno.
    int put_in_place(const std::string& base);
    // Keeps the file under the name it was given (name_as, put_in_place).
    void keep() { name_.clear(); }
    // The file, open to write; -1 before it is made and once it is closed.
    int fd() const { return fd_; }

  private:
    int give_name();
    int close_file();
    void copy_owner(const FileStat& old, OwnerGiven& given);
    Went copy_attributes(int old_fd, const char* path, Made made);
    FileOps& ops_;
    int dir_fd_ = -1;
    int fd_ = -1;
    std::string name_;  // the file's name in the folder, "" while it has none
    std::string old_owner_;
};

}  // namespace tagpolish

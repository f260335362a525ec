#include "driver/rewrite/rewrite.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "driver/rewrite/backup_record.h"
#include "platform/run_stop.h"

namespace tagpolish {
namespace {

// The backup is shown as the user named the file, unless that name is a
// symbolic link: then beside its target, where the backup goes.
Plan plan_for(const char* path, const Target& target, const char* suffix) {
    Plan plan{path, "", ""};
    if (suffix == nullptr) return plan;
    plan.backup = target.base + suffix;
    plan.shown = (target.link ? target.shown() : std::string(path)) + suffix;
    return plan;
}

Went cannot_write(int error, const char* path) {
    errmsg_why(error, "%s: cannot open to write\n", path);
    return Went::stopped;
}

Went backup_exists(const Plan& plan) {
    errmsg("%s: its backup %s already exists\n", plan.path, plan.shown.c_str());
    return Went::failed;
}

Went backup_failed(int error, const Plan& plan, Went result) {
    errmsg_why(error, "%s: cannot make its backup %s\n", plan.path, plan.shown.c_str());
    return result;
}

Went changed(const char* path) {
    errmsg(msg_changed, path);
    return Went::failed;
}

// The errors with which the system refuses a hard link that a copy can
// stand in for: a file system without links (or no /proc to link an open
// file through), a file that the user may not link, too many links.
bool link_impossible(int error) {
    return error == EPERM || error == EXDEV || error == EMLINK || error == ENOTSUP ||
           error == ENOENT;
}

// The old file kept under its backup name, in the folder open as dir: a
// hard link to it, so that the backup is the old file itself, or where the
// system allows no link, a copy that carries what the new file carries and
// the old times, made whole and synced before it takes the backup name,
// so that the name never holds less than the whole old file. A backup that
// is not kept (the rename failed) is removed again; where it cannot be (a
// link to another user's file in a folder with the sticky bit), it is
// named.
class Backup {
  public:
    Backup(FileOps& ops, int dir, const Plan& plan)
        : ops_(ops), dir_(dir), plan_(plan), copy_(ops) {}
    ~Backup();
    Backup(const Backup&) = delete;
    Backup& operator=(const Backup&) = delete;

    // Links the old file open as old_fd under its backup name, never over
    // an existing file; sets copy when only a copy can be made.
    Went link(int old_fd, bool& copy);
    // Makes the whole copy of the old file (which fstat described as old),
    // still without a name.
    Went make_copy(int old_fd, const FileStat& old);
    // Gives the copy the backup name, never over an existing file.
    Went name_copy();
    void keep() { named_ = false; }

  private:
    FileOps& ops_;
    int dir_;
    const Plan& plan_;
    NewFile copy_;
    bool named_ = false;  // the backup name holds a link or copy not yet kept
};

Backup::~Backup() {
    if (!named_ || ops_.unlinkat(dir_, plan_.backup.c_str(), 0) == 0 || errno == ENOENT) return;
    errmsg_why(errno, "%s: its backup %s was made, but could not be removed again\n", plan_.path,
               plan_.shown.c_str());
}

Went Backup::link(int old_fd, bool& copy) {
    const int error = link_open_file(ops_, old_fd, dir_, plan_.backup.c_str());
    copy = link_impossible(error);
    named_ = error == 0;
    if (error == 0 || copy) return Went::on;
    if (error == EEXIST) return backup_exists(plan_);
    return backup_failed(error, plan_, Went::stopped);
}

Went Backup::make_copy(int old_fd, const FileStat& old) {
    int error = copy_.make(dir_);
    if (error == 0) error = copy_.copy(old_fd);
    if (error == 0)
        if (Went carried = copy_.carry(old_fd, old, plan_.path, Made::backup_copy);
            carried != Went::on)
            return carried;
    if (error == 0) error = copy_.copy_times(old);
    if (error == 0) error = copy_.sync();
    return error == 0 ? Went::on : backup_failed(error, plan_, Went::stopped);
}

// The copy named is the backup's to remove from then on.
Went Backup::name_copy() {
    const int error = copy_.name_as(plan_.backup);
    if (error == 0) {
        copy_.keep();
        named_ = true;
        return Went::on;
    }
    if (error == EEXIST) return backup_exists(plan_);
    return backup_failed(error, plan_, Went::stopped);
}

}  // namespace

FileRewrite::FileRewrite(const char* path, RewriteInput&& in, const RewriteSettings& how,
                         FileOps& ops)
    : old_fd_(in.fd),
      how_(how),
      ops_(ops),
      target_(std::move(in.target)),
      plan_(plan_for(path, target_, how.backup_suffix)),
      file_(ops) {
    in.fd = -1;
}

FileRewrite::~FileRewrite() {
    if (old_fd_ >= 0) ops_.close(old_fd_);
}

// A file that the user may not write stays as it is, although its folder
// would let a new file take its place; an existing backup is never
// replaced. The folder is opened to be read, which lets it be synced.
void FileRewrite::prepare() {
    Target& t = target_;
    found_ = Found::cannot_write;
    if (ops_.faccessat(t.dir.get(), t.base.c_str(), W_OK, 0) != 0) error_ = errno;
    // A dry run makes no new file; it asks whether one could be made.
    if (error_ == 0 && how_.dry_run && ops_.faccessat(t.dir.get(), ".", W_OK | X_OK, 0) != 0)
        error_ = errno;
    if (error_ == 0 && !how_.dry_run) {
        Fd readable(ops_.openat(t.dir.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
        if (readable)
            t.dir = std::move(readable);
        else
            error_ = errno;
    }
    if (error_ == 0 && ops_.fstat(t.dir.get(), &dir_st_) != 0) error_ = errno;
    if (error_ != 0) return;
    found_ = Found::nothing;
    if (!plan_.backup.empty()) {
        FileStat st{};
        if (ops_.fstatat(t.dir.get(), plan_.backup.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            found_ = Found::backup_exists;
            return;
        }
        if (errno != ENOENT) {
            error_ = errno;
            found_ = Found::backup_unknown;
            return;
        }
    }
    if (how_.dry_run) return;
    error_ = file_.make(t.dir.get());
    if (error_ != 0) found_ = Found::cannot_write;
}

Went FileRewrite::report(Found found, int error) const {
    switch (found) {
        case Found::cannot_write:
            return cannot_write(error, plan_.path);
        case Found::backup_exists:
            return backup_exists(plan_);
        case Found::backup_unknown:
            return backup_failed(error, plan_, Went::failed);
        case Found::nothing:
            break;
    }
    return Went::on;
}

Went FileRewrite::finish(int write_error, const FileStat& old) {
    if (found_ != Found::nothing) return report(found_, error_);
    old_ = old;
    if (how_.dry_run) return report_owner(owner_given_to(old_), old_, plan_.path, true);
    if (write_error != 0) return give_up(write_error, plan_.path);
    // Set while the file is still the program's own, which may write it.
    if (record_) record_error_ = put_record(ops_, file_.fd(), *record_);
    if (Went carried = file_.carry(old_fd_, old_, plan_.path, Made::page); carried != Went::on)
        return carried;
    FileStat made{};
    if (ops_.fstat(file_.fd(), &made) != 0) return give_up(errno, plan_.path);
    made_id_ = file_id(ops_, file_.fd(), made);
    return Went::on;
}

Went FileRewrite::sync() {
    if (int error = file_.sync_data()) return give_up(error, plan_.path);
    return Went::on;
}

// Whether the name still leads to the old file, as it was when its reading
// ended: nobody has written it, replaced it or removed it since.
bool FileRewrite::still_there() const {
    FileStat now{};
    return ops_.fstatat(target_.dir.get(), target_.base.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
           unchanged(old_, now);
}

// The last look at the old file comes just before the first change to it
// (its backup link, or the rename), and a second stop signal waits until
// the rename is made. A backup copy, which takes its time, is made outside
// that step, and the old file is looked at again after it.
Went FileRewrite::put_in_place() {
    std::optional<StopHold> hold(std::in_place);
    if (!still_there()) return changed(plan_.path);
    Backup backup(ops_, target_.dir.get(), plan_);
    if (!plan_.backup.empty()) {
        bool copy = false;
        if (Went linked = backup.link(old_fd_, copy); linked != Went::on) return linked;
        if (copy) {
            hold.reset();
            if (Went made = backup.make_copy(old_fd_, old_); made != Went::on) return made;
            hold.emplace();
            if (!still_there()) return changed(plan_.path);
            if (Went named = backup.name_copy(); named != Went::on) return named;
        }
    }
    if (int error = file_.put_in_place(target_.base)) return give_up(error, plan_.path);
    backup.keep();
    return Went::on;
}

Went FileRewrite::place() {
    const Went result = put_in_place();
    if (result != Went::on) return result;
    if (!file_.old_owner().empty()) errmsg(msg_new_owner, plan_.path, file_.old_owner().c_str());
    // The old file is let go, and with it the lock, once the new one has
    // its name.
    ops_.close(old_fd_);
    old_fd_ = -1;
    if (ops_.fstatat(target_.dir.get(), target_.base.c_str(), &placed_, AT_SYMLINK_NOFOLLOW) != 0 ||
        placed_.st_ino != made_id_.ino)
        placed_ = {};
    return Went::on;
}

// EINVAL: a file system that cannot sync a folder.
int FileRewrite::sync_dir() {
    return ops_.fsync(target_.dir.get()) != 0 && errno != EINVAL ? errno : 0;
}

}  // namespace tagpolish

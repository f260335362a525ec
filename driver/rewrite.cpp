#include "driver/rewrite.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "driver/listing.h"
#include "driver/run_stop.h"

namespace tagpolish {

namespace {

// Waits for the lock on fd (the file name) that another holds, saying so
// once after a second. False when the run stopped meanwhile.
bool wait_for_lock(int fd, const char* name, FileOps& ops) {
    using clock = std::chrono::steady_clock;
    const WakeWhileWaiting woken;
    const auto start = clock::now();
    for (bool said = false;;) {
        if (stop_requested()) return false;
        if (ops.flock(fd, LOCK_EX) == 0 || errno != EINTR) return true;
        if (!said && clock::now() - start >= std::chrono::seconds(1)) {
            errmsg("%s: waiting for another program's lock\n", name);
            said = true;
        }
    }
}

// Takes the lock on fd without waiting; when another holds it, lets the
// caller let go of what it holds first (before_wait), then waits. False
// when the caller would not wait, or the run stopped.
bool lock_input(int fd, const char* name, FileOps& ops, const OpenHooks& hooks) {
    // Where the file system has no locks, runs are not kept apart, and
    // each rewrite is still whole.
    if (ops.flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) return true;
    if (hooks.before_wait && !hooks.before_wait()) return false;
    return wait_for_lock(fd, name, ops);
}

RewriteInput not_open(RewriteInput in, Opened why, FileOps& ops) {
    if (in.fd >= 0) ops.close(in.fd);
    in.fd = -1;
    in.opened = why;
    return in;
}

// Opens the regular file found, through its folder. False when the name
// no longer leads to the file that was found (it is found again).
bool open_found(RewriteInput& in, FileOps& ops) {
    const Target& t = in.target;
    in.fd = ops.openat(t.dir.get(), t.base.c_str(),
                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
    if (in.fd < 0) {
        in.error = errno;
        return in.error != ENOENT && in.error != ELOOP;
    }
    if (ops.fstat(in.fd, &in.st) != 0) in.error = errno;
    return in.error != 0 || (in.st.st_dev == t.st.st_dev && in.st.st_ino == t.st.st_ino);
}

}  // namespace

RewriteInput open_to_rewrite(const char* name, FileOps& ops, const OpenHooks& hooks) {
    // A name that another program keeps swapping is given up on at last.
    for (int round = 0;; ++round) {
        RewriteInput in;
        Resolution found = resolve(name, ops);
        in.error = found.error;
        if (found.how == Resolved::missing) return not_open(std::move(in), Opened::missing, ops);
        if (found.how == Resolved::foreign_link)
            return not_open(std::move(in), Opened::foreign_link, ops);
        in.target = std::move(found.target);
        if (!S_ISREG(in.target.st.st_mode))
            return not_open(std::move(in), Opened::not_regular, ops);
        if (hooks.pass_over && hooks.pass_over(in.target))
            return not_open(std::move(in), Opened::passed_over, ops);
        if (!open_found(in, ops)) {
            if (round == 100) {
                in.error = in.error != 0 ? in.error : ENOENT;
                return not_open(std::move(in), Opened::missing, ops);
            }
            not_open(std::move(in), Opened::missing, ops);
            continue;
        }
        if (in.error != 0) return not_open(std::move(in), Opened::missing, ops);
        in.target.file.reset();
        if (!lock_input(in.fd, name, ops, hooks))
            return not_open(std::move(in), Opened::stopped, ops);
        // Taken again under the lock: this run's own commit may have renamed
        // another name of the file meanwhile, which changes its change time.
        struct stat named {};
        const Target& t = in.target;
        if (ops.fstat(in.fd, &in.st) == 0 &&
            ops.fstatat(t.dir.get(), t.base.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == in.st.st_dev && named.st_ino == in.st.st_ino)
            return in;
        // Another run replaced the file while this one waited for it.
        not_open(std::move(in), Opened::missing, ops);
    }
}

namespace {

// Whether base, in the folder open as dir, ends in suffix and is, without
// it, the name of a regular file there.
bool names_page_beside(FileOps& ops, int dir, std::string_view base, std::string_view suffix) {
    if (base.size() <= suffix.size() || !base.ends_with(suffix)) return false;
    const std::string page(base.substr(0, base.size() - suffix.size()));
    struct stat st {};
    return ops.fstatat(dir, page.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool is_backup_name(const char* name, const Target& target, const char* suffix, FileOps& ops) {
    return names_page_beside(ops, target.dir.get(), target.base, suffix) ||
           (target.link && names_page_beside(ops, AT_FDCWD, name, suffix));
}

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

Rewrite cannot_write(int error, const char* path) {
    errmsg_why(error, "%s: cannot open to write\n", path);
    return Rewrite::stopped;
}

Rewrite backup_exists(const Plan& plan) {
    errmsg("%s: its backup %s already exists\n", plan.path, plan.shown.c_str());
    return Rewrite::refused;
}

Rewrite backup_failed(int error, const Plan& plan, Rewrite result) {
    errmsg_why(error, "%s: cannot make its backup %s\n", plan.path, plan.shown.c_str());
    return result;
}

Rewrite changed(const char* path) {
    errmsg(msg_changed, path);
    return Rewrite::refused;
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
// is not kept (the rename failed) is removed again.
class Backup {
  public:
    Backup(FileOps& ops, int dir) : ops_(ops), dir_(dir), copy_(ops) {}
    ~Backup() {
        if (linked_ != nullptr) ops_.unlinkat(dir_, linked_, 0);
    }
    Backup(const Backup&) = delete;
    Backup& operator=(const Backup&) = delete;

    // Links the old file open as old_fd under its backup name, never over
    // an existing file; sets copy when only a copy can be made.
    Rewrite link(const Plan& plan, int old_fd, bool& copy);
    // Makes the whole copy of the old file (which fstat described as old),
    // still without a name.
    Rewrite make_copy(const Plan& plan, int old_fd, const struct stat& old);
    // Gives the copy the backup name, never over an existing file.
    Rewrite name_copy(const Plan& plan);
    void keep() {
        linked_ = nullptr;
        copy_.keep();
    }

  private:
    FileOps& ops_;
    int dir_;
    NewFile copy_;
    const char* linked_ = nullptr;  // the name of a link not yet kept
};

Rewrite Backup::link(const Plan& plan, int old_fd, bool& copy) {
    const int error = link_open_file(ops_, old_fd, dir_, plan.backup.c_str());
    copy = link_impossible(error);
    if (error == 0) linked_ = plan.backup.c_str();
    if (error == 0 || copy) return Rewrite::done;
    if (error == EEXIST) return backup_exists(plan);
    return backup_failed(error, plan, Rewrite::stopped);
}

Rewrite Backup::make_copy(const Plan& plan, int old_fd, const struct stat& old) {
    int error = copy_.make(dir_);
    if (error == 0) error = copy_.copy(old_fd);
    if (error == 0)
        if (Rewrite carried = copy_.carry(old_fd, old, plan.path, false); carried != Rewrite::done)
            return carried;
    if (error == 0) error = copy_.copy_times(old);
    if (error == 0) error = copy_.sync();
    return error == 0 ? Rewrite::done : backup_failed(error, plan, Rewrite::stopped);
}

Rewrite Backup::name_copy(const Plan& plan) {
    const int error = copy_.name_as(plan.backup);
    if (error == 0) return Rewrite::done;
    if (error == EEXIST) return backup_exists(plan);
    return backup_failed(error, plan, Rewrite::stopped);
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
        struct stat st {};
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

Rewrite FileRewrite::report(Found found, int error) const {
    switch (found) {
        case Found::cannot_write:
            return cannot_write(error, plan_.path);
        case Found::backup_exists:
            return backup_exists(plan_);
        case Found::backup_unknown:
            return backup_failed(error, plan_, Rewrite::refused);
        case Found::nothing:
            break;
    }
    return Rewrite::done;
}

Rewrite FileRewrite::finish(int write_error, const struct stat& old) {
    if (found_ != Found::nothing) return report(found_, error_);
    old_ = old;
    if (how_.dry_run) {
        const Rewrite kept = report_owner(owner_given_to(old_), old_, plan_.path, true);
        if (kept == Rewrite::done && how_.listing != nullptr) how_.listing->name(plan_.path);
        return kept;
    }
    if (write_error != 0) return give_up(write_error, plan_.path);
    if (Rewrite carried = file_.carry(old_fd_, old_, plan_.path, true); carried != Rewrite::done)
        return carried;
    struct stat made {};
    if (ops_.fstat(file_.fd(), &made) != 0) return give_up(errno, plan_.path);
    made_id_ = file_id(ops_, file_.fd(), made);
    return Rewrite::done;
}

Rewrite FileRewrite::sync() {
    if (int error = file_.sync_data()) return give_up(error, plan_.path);
    return Rewrite::done;
}

// Whether the name still leads to the old file, as it was when its reading
// ended: nobody has written it, replaced it or removed it since.
bool FileRewrite::still_there() const {
    struct stat now {};
    return ops_.fstatat(target_.dir.get(), target_.base.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
           unchanged(old_, now);
}

// The last look at the old file comes just before the first change to it
// (its backup link, or the rename), and a second stop signal waits until
// the rename is made. A backup copy, which takes its time, is made outside
// that step, and the old file is looked at again after it.
Rewrite FileRewrite::put_in_place() {
    std::optional<StopHold> hold(std::in_place);
    if (!still_there()) return changed(plan_.path);
    Backup backup(ops_, target_.dir.get());
    if (!plan_.backup.empty()) {
        bool copy = false;
        if (Rewrite linked = backup.link(plan_, old_fd_, copy); linked != Rewrite::done)
            return linked;
        if (copy) {
            hold.reset();
            if (Rewrite made = backup.make_copy(plan_, old_fd_, old_); made != Rewrite::done)
                return made;
            hold.emplace();
            if (!still_there()) return changed(plan_.path);
            if (Rewrite named = backup.name_copy(plan_); named != Rewrite::done) return named;
        }
    }
    if (int error = file_.put_in_place(target_.base)) return give_up(error, plan_.path);
    backup.keep();
    return Rewrite::done;
}

Rewrite FileRewrite::place() {
    const Rewrite result = put_in_place();
    if (result != Rewrite::done) return result;
    // The old file is let go, and with it the lock, once the new one has
    // its name.
    ops_.close(old_fd_);
    old_fd_ = -1;
    if (ops_.fstatat(target_.dir.get(), target_.base.c_str(), &placed_, AT_SYMLINK_NOFOLLOW) != 0 ||
        placed_.st_ino != made_id_.ino)
        placed_ = {};
    if (how_.listing != nullptr) how_.listing->name(plan_.path);
    return Rewrite::done;
}

// EINVAL: a file system that cannot sync a folder.
int FileRewrite::sync_dir() {
    return ops_.fsync(target_.dir.get()) != 0 && errno != EINVAL ? errno : 0;
}

}  // namespace tagpolish

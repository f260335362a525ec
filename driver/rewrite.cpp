#include "driver/rewrite.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <string_view>

#include "driver/listing.h"
#include "lib/diag.h"

namespace tagpolish {

namespace {

// Takes the lock on fd without waiting; when another holds it, lets the
// caller let go of what it holds first (before_wait), then waits. False
// when the caller would not wait.
bool lock_input(int fd, FileOps& ops, const OpenHooks& hooks) {
    // Where the file system has no locks, runs are not kept apart, and
    // each rewrite is still whole.
    if (ops.flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) return true;
    if (hooks.before_wait && !hooks.before_wait()) return false;
    while (ops.flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    return true;
}

RewriteInput not_open(RewriteInput in, Opened why, FileOps& ops) {
    if (in.fd >= 0) ops.close(in.fd);
    in.fd = -1;
    in.opened = why;
    return in;
}

}  // namespace

RewriteInput open_to_rewrite(const char* name, FileOps& ops, const OpenHooks& hooks) {
    for (;;) {
        RewriteInput in;
        // Without O_NONBLOCK a FIFO would hold the open until a writer came.
        in.fd = ops.open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (in.fd < 0) {
            in.error = errno;
            return not_open(in, Opened::missing, ops);
        }
        if (ops.fstat(in.fd, &in.st) != 0) in.error = errno;
        if (in.error != 0 || !S_ISREG(in.st.st_mode)) return not_open(in, Opened::not_regular, ops);
        if (hooks.pass_over && hooks.pass_over(in.st))
            return not_open(in, Opened::passed_over, ops);
        if (!lock_input(in.fd, ops, hooks)) return not_open(in, Opened::stopped, ops);
        struct stat named {};
        if (ops.stat(name, &named) == 0 && named.st_dev == in.st.st_dev &&
            named.st_ino == in.st.st_ino)
            return in;
        // Another run replaced the file while this one waited for it.
        ops.close(in.fd);
    }
}

// Only a symbolic link needs resolving: any other name leads, through its
// directory, to the file itself.
Target rewrite_target(const char* path) {
    struct stat named {};
    const bool link = lstat(path, &named) == 0 && S_ISLNK(named.st_mode);
    char resolved[PATH_MAX];
    const std::string target = link && realpath(path, resolved) ? resolved : path;
    const std::string::size_type slash = target.rfind('/');
    if (slash == std::string::npos) return {"./", target, link};
    return {target.substr(0, slash + 1), target.substr(slash + 1), link};
}

bool is_backup_name(const char* path, const char* suffix) {
    return std::string_view(path).ends_with(suffix) || rewrite_target(path).base.ends_with(suffix);
}

namespace {

// The backup is shown as the user named the file, unless that name is a
// symbolic link: then beside its target, where the backup goes.
Plan plan_for(const char* path, const char* suffix) {
    Plan plan{path, rewrite_target(path), "", ""};
    if (suffix == nullptr) return plan;
    plan.backup = plan.target.base + suffix;
    plan.shown = (plan.target.link ? plan.target.path() : std::string(path)) + suffix;
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

// The errors with which the system refuses a hard link that a copy can
// stand in for: a file system without links (or no /proc to link an open
// file through), a file that the user may not link, too many links.
bool link_impossible(int error) {
    return error == EPERM || error == EXDEV || error == EMLINK || error == ENOTSUP ||
           error == ENOENT;
}

// The old file kept under its backup name: a hard link to it, so that the
// backup is the old file itself, or where the system allows no link, a
// synced copy that carries what the new file carries, and the old times.
// A backup that is not kept (the rename failed) is removed again.
class Backup {
  public:
    explicit Backup(FileOps& ops) : ops_(ops), copy_(ops) {}
    ~Backup() {
        if (link_dir_ >= 0) ops_.unlinkat(link_dir_, name_, 0);
    }
    Backup(const Backup&) = delete;
    Backup& operator=(const Backup&) = delete;

    // Makes the backup of the file open as old_fd (which fstat described
    // as old) in the directory open as dir_fd, never over an existing file.
    Rewrite make(const Plan& plan, int old_fd, const struct stat& old, int dir_fd);
    void keep() {
        link_dir_ = -1;
        copy_.keep();
    }

  private:
    Rewrite make_copy(const Plan& plan, int old_fd, const struct stat& old);
    FileOps& ops_;
    NewFile copy_;
    int link_dir_ = -1;  // the directory of a link not yet kept
    const char* name_ = nullptr;
};

Rewrite Backup::make(const Plan& plan, int old_fd, const struct stat& old, int dir_fd) {
    const int error = link_open_file(ops_, old_fd, dir_fd, plan.backup.c_str());
    if (error == 0) {
        link_dir_ = dir_fd;
        name_ = plan.backup.c_str();
        return Rewrite::done;
    }
    if (error == EEXIST) return backup_exists(plan);
    if (!link_impossible(error)) return backup_failed(error, plan, Rewrite::stopped);
    return make_copy(plan, old_fd, old);
}

Rewrite Backup::make_copy(const Plan& plan, int old_fd, const struct stat& old) {
    int error = copy_.make_named(plan.target.dir, plan.backup);
    if (error == EEXIST) return backup_exists(plan);
    if (error == 0) error = copy_.copy(old_fd);
    if (error == 0)
        if (Rewrite carried = copy_.carry(old_fd, old, plan.path); carried != Rewrite::done)
            return carried;
    if (error == 0) error = copy_.copy_times(old);
    if (error == 0) error = copy_.sync();
    return error == 0 ? Rewrite::done : backup_failed(error, plan, Rewrite::stopped);
}

}  // namespace

FileRewrite::FileRewrite(const char* path, int old_fd, const RewriteSettings& how, FileOps& ops)
    : old_fd_(old_fd), how_(how), ops_(ops), plan_(plan_for(path, how.backup_suffix)), file_(ops) {}

FileRewrite::~FileRewrite() {
    if (old_fd_ >= 0) ops_.close(old_fd_);
}

// A file that the user may not write stays as it is, although its
// directory would let a new file take its place; an existing backup is
// never replaced.
void FileRewrite::prepare() {
    error_ = ops_.access(plan_.target.path().c_str(), W_OK) == 0 ? 0 : errno;
    // A dry run makes no new file; it asks whether one could be made.
    if (error_ == 0 && how_.dry_run && ops_.access(plan_.target.dir.c_str(), W_OK | X_OK) != 0)
        error_ = errno;
    if (error_ != 0) {
        found_ = Found::cannot_write;
        return;
    }
    if (!plan_.backup.empty()) {
        struct stat st {};
        if (ops_.lstat((plan_.target.dir + plan_.backup).c_str(), &st) == 0) {
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
    error_ = file_.make(plan_.target.dir);
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
    if (how_.dry_run) {
        if (how_.listing != nullptr) how_.listing->name(plan_.path);
        return Rewrite::done;
    }
    if (write_error != 0) return give_up(write_error, plan_.path);
    old_ = old;
    if (Rewrite carried = file_.carry(old_fd_, old_, plan_.path); carried != Rewrite::done)
        return carried;
    if (ops_.fstat(file_.fd(), &made_) != 0) return give_up(errno, plan_.path);
    return Rewrite::done;
}

Rewrite FileRewrite::sync() {
    if (int error = file_.sync_data()) return give_up(error, plan_.path);
    return Rewrite::done;
}

// The backup is made just before the rename; signals are held from one to
// the other, so that neither is left without the other.
Rewrite FileRewrite::put_in_place() {
    SignalHold hold;
    Backup backup(ops_);
    if (!plan_.backup.empty())
        if (Rewrite made = backup.make(plan_, old_fd_, old_, file_.dir_fd()); made != Rewrite::done)
            return made;
    if (int error = file_.put_in_place(plan_.target.base)) return give_up(error, plan_.path);
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
    // Named outside the signals held for the rename.
    if (how_.listing != nullptr) how_.listing->name(plan_.path);
    return Rewrite::done;
}

}  // namespace tagpolish

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

#include "driver/run_stop.h"

namespace tagpolish {

namespace {

// Waits for the lock on fd (the file name) that another holds, saying so
// once after a second. False when the run stopped meanwhile.
bool wait_for_lock(int fd, const char* name, FileOps& ops, const OpenHooks& hooks) {
    using clock = std::chrono::steady_clock;
    const WakeWhileWaiting woken;
    const auto start = clock::now();
    for (bool said = false;;) {
        if (stop_requested() || (hooks.keep_waiting && !hooks.keep_waiting())) return false;
        if (ops.flock(fd, LOCK_EX) == 0 || errno != EINTR) return true;
        if (!said && clock::now() - start >= std::chrono::seconds(1)) {
            errmsg("%s: waiting for another program's lock\n", name);
            said = true;
        }
    }
}

// Takes the lock on fd without waiting; when another holds it, lets the
// caller let go of what it holds first (before_wait), then waits. Busy
// when the caller would not wait, not_reached when the wait was ended.
Fate lock_input(int fd, const char* name, FileOps& ops, const OpenHooks& hooks) {
    // Where the file system has no locks, runs are not kept apart, and
    // each rewrite is still whole.
    if (ops.flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) return Fate::open;
    if (hooks.before_wait && !hooks.before_wait()) return Fate::busy;
    return wait_for_lock(fd, name, ops, hooks) ? Fate::open : Fate::not_reached;
}

RewriteInput not_open(RewriteInput in, Fate why, FileOps& ops) {
    if (in.fd >= 0) ops.close(in.fd);
    in.fd = -1;
    in.fate = why;
    return in;
}

// Finds the input, by its name or in the walk's folder.
Resolution find(const InputName& input, FileOps& ops) {
    if (input.folder < 0) return resolve(input.name, ops);
    const std::string_view name(input.name);
    return resolve_at(input.folder, std::string(name.substr(0, input.entry_at)),
                      input.name + input.entry_at, input.follow_link, ops);
}

// Reports an input that cannot be opened to be rewritten; answers its fate.
Fate refuse(const InputName& input, const Resolution& found) {
    const char* name = input.name;
    switch (found.how) {
        case Resolved::found:
            errmsg("%s: not a regular file\n%s: failed to convert\n", name, name);
            break;
        case Resolved::missing:
            say_unopened(name, found.error);
            break;
        case Resolved::foreign_link:
            errmsg("%s: a symbolic link owned by another user; not followed\n%s: failed to convert\n",
                   name, name);
            break;
        case Resolved::link:
            errmsg("%s: a symbolic link; passed over (--follow-links follows it)\n", name);
            return Fate::passed_over;
    }
    return Fate::failed;
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

RewriteInput open_to_rewrite(const InputName& input, FileOps& ops, const OpenHooks& hooks) {
    // A name that another program keeps swapping is given up on at last.
    for (int round = 0;; ++round) {
        RewriteInput in;
        Resolution found = find(input, ops);
        in.error = found.error;
        if (found.how != Resolved::found || !S_ISREG(found.target.st.st_mode))
            return not_open(std::move(in), refuse(input, found), ops);
        in.target = std::move(found.target);
        if (hooks.pass_over && hooks.pass_over(in.target))
            return not_open(std::move(in), Fate::passed_over, ops);
        const bool opened = open_found(in, ops);
        if (!opened && round < 100) {
            not_open(std::move(in), Fate::failed, ops);
            continue;
        }
        if (!opened || in.error != 0) {
            found.how = Resolved::missing;
            found.error = in.error != 0 ? in.error : ENOENT;
            return not_open(std::move(in), refuse(input, found), ops);
        }
        in.target.file.reset();
        if (Fate locked = lock_input(in.fd, input.name, ops, hooks); locked != Fate::open)
            return not_open(std::move(in), locked, ops);
        // Taken again under the lock: this run's own commit may have renamed
        // another name of the file meanwhile, which changes its change time.
        struct stat named {};
        const Target& t = in.target;
        if (ops.fstat(in.fd, &in.st) == 0 &&
            ops.fstatat(t.dir.get(), t.base.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == in.st.st_dev && named.st_ino == in.st.st_ino)
            return in;
        // Another run replaced the file while this one waited for it.
        not_open(std::move(in), Fate::failed, ops);
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

bool is_backup_name(const InputName& input, const Target& target, const char* suffix,
                    FileOps& ops) {
    if (names_page_beside(ops, target.dir.get(), target.base, suffix)) return true;
    if (!target.link) return false;
    if (input.folder < 0) return names_page_beside(ops, AT_FDCWD, input.name, suffix);
    return names_page_beside(ops, input.folder, input.name + input.entry_at, suffix);
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

Fate cannot_write(int error, const char* path) {
    errmsg_why(error, "%s: cannot open to write\n", path);
    return Fate::stopped;
}

Fate backup_exists(const Plan& plan) {
    errmsg("%s: its backup %s already exists\n", plan.path, plan.shown.c_str());
    return Fate::failed;
}

Fate backup_failed(int error, const Plan& plan, Fate result) {
    errmsg_why(error, "%s: cannot make its backup %s\n", plan.path, plan.shown.c_str());
    return result;
}

Fate changed(const char* path) {
    errmsg(msg_changed, path);
    return Fate::failed;
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
    Fate link(const Plan& plan, int old_fd, bool& copy);
    // Makes the whole copy of the old file (which fstat described as old),
    // still without a name.
    Fate make_copy(const Plan& plan, int old_fd, const struct stat& old);
    // Gives the copy the backup name, never over an existing file.
    Fate name_copy(const Plan& plan);
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

Fate Backup::link(const Plan& plan, int old_fd, bool& copy) {
    const int error = link_open_file(ops_, old_fd, dir_, plan.backup.c_str());
    copy = link_impossible(error);
    if (error == 0) linked_ = plan.backup.c_str();
    if (error == 0 || copy) return Fate::done;
    if (error == EEXIST) return backup_exists(plan);
    return backup_failed(error, plan, Fate::stopped);
}

Fate Backup::make_copy(const Plan& plan, int old_fd, const struct stat& old) {
    int error = copy_.make(dir_);
    if (error == 0) error = copy_.copy(old_fd);
    if (error == 0)
        if (Fate carried = copy_.carry(old_fd, old, plan.path, false); carried != Fate::done)
            return carried;
    if (error == 0) error = copy_.copy_times(old);
    if (error == 0) error = copy_.sync();
    return error == 0 ? Fate::done : backup_failed(error, plan, Fate::stopped);
}

Fate Backup::name_copy(const Plan& plan) {
    const int error = copy_.name_as(plan.backup);
    if (error == 0) return Fate::done;
    if (error == EEXIST) return backup_exists(plan);
    return backup_failed(error, plan, Fate::stopped);
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

Fate FileRewrite::report(Found found, int error) const {
    switch (found) {
        case Found::cannot_write:
            return cannot_write(error, plan_.path);
        case Found::backup_exists:
            return backup_exists(plan_);
        case Found::backup_unknown:
            return backup_failed(error, plan_, Fate::failed);
        case Found::nothing:
            break;
    }
    return Fate::done;
}

Fate FileRewrite::finish(int write_error, const struct stat& old) {
    if (found_ != Found::nothing) return report(found_, error_);
    old_ = old;
    if (how_.dry_run) return report_owner(owner_given_to(old_), old_, plan_.path, true);
    if (write_error != 0) return give_up(write_error, plan_.path);
    if (Fate carried = file_.carry(old_fd_, old_, plan_.path, true); carried != Fate::done)
        return carried;
    struct stat made {};
    if (ops_.fstat(file_.fd(), &made) != 0) return give_up(errno, plan_.path);
    made_id_ = file_id(ops_, file_.fd(), made);
    return Fate::done;
}

Fate FileRewrite::sync() {
    if (int error = file_.sync_data()) return give_up(error, plan_.path);
    return Fate::done;
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
Fate FileRewrite::put_in_place() {
    std::optional<StopHold> hold(std::in_place);
    if (!still_there()) return changed(plan_.path);
    Backup backup(ops_, target_.dir.get());
    if (!plan_.backup.empty()) {
        bool copy = false;
        if (Fate linked = backup.link(plan_, old_fd_, copy); linked != Fate::done)
            return linked;
        if (copy) {
            hold.reset();
            if (Fate made = backup.make_copy(plan_, old_fd_, old_); made != Fate::done)
                return made;
            hold.emplace();
            if (!still_there()) return changed(plan_.path);
            if (Fate named = backup.name_copy(plan_); named != Fate::done) return named;
        }
    }
    if (int error = file_.put_in_place(target_.base)) return give_up(error, plan_.path);
    backup.keep();
    return Fate::done;
}

Fate FileRewrite::place() {
    const Fate result = put_in_place();
    if (result != Fate::done) return result;
    // The old file is let go, and with it the lock, once the new one has
    // its name.
    ops_.close(old_fd_);
    old_fd_ = -1;
    if (ops_.fstatat(target_.dir.get(), target_.base.c_str(), &placed_, AT_SYMLINK_NOFOLLOW) != 0 ||
        placed_.st_ino != made_id_.ino)
        placed_ = {};
    return Fate::done;
}

// EINVAL: a file system that cannot sync a folder.
int FileRewrite::sync_dir() {
    return ops_.fsync(target_.dir.get()) != 0 && errno != EINVAL ? errno : 0;
}

}  // namespace tagpolish

// Finding and locking an input under -w (declared in driver/rewrite/rewrite.h).

#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>

#include "driver/rewrite/rewrite.h"
#include "platform/paths.h"
#include "platform/run_stop.h"

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

// Locks the file open as fd, named base in the folder open as dir, and
// looks under the lock whether the name still leads to it (st is what
// fstat says of it then): open; failed when another run replaced it while
// this one waited, so that it is to be found again; busy or not_reached.
// The change time is taken again under the lock: this run's own commit may
// have renamed another name of the file meanwhile, which changes it.
Fate lock_and_look(int fd, int dir, const char* base, const char* shown, FileOps& ops,
                   const OpenHooks& hooks, FileStat& st) {
    if (Fate locked = lock_input(fd, shown, ops, hooks); locked != Fate::open) return locked;
    FileStat named{};
    const bool same = ops.fstat(fd, &st) == 0 &&
                      ops.fstatat(dir, base, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                      named.st_dev == st.st_dev && named.st_ino == st.st_ino;
    return same ? Fate::open : Fate::failed;
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
            errmsg(
                "%s: a symbolic link owned by another user; not followed\n%s: failed to convert\n",
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
        const Fate locked = lock_and_look(in.fd, in.target.dir.get(), in.target.base.c_str(),
                                          input.name, ops, hooks, in.st);
        if (locked == Fate::open) return in;
        if (locked != Fate::failed) return not_open(std::move(in), locked, ops);
        // Another run replaced the file while this one waited for it.
        not_open(std::move(in), Fate::failed, ops);
    }
}

LockedFile lock_entry(int dir, const std::string& base, const char* shown, FileOps& ops,
                      const OpenHooks& hooks) {
    for (int round = 0;; ++round) {
        LockedFile f;
        f.fd = Fd(ops.openat(dir, base.c_str(),
                             O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
        if (!f.fd || ops.fstat(f.fd.get(), &f.st) != 0) {
            f.error = errno;
            return f;
        }
        if (!S_ISREG(f.st.st_mode)) return f;
        f.fate = lock_and_look(f.fd.get(), dir, base.c_str(), shown, ops, hooks, f.st);
        if (f.fate != Fate::failed) return f;
        if (round == 100) {
            f.error = EAGAIN;
            return f;
        }
    }
}

namespace {

// Whether base, in the folder open as dir, ends in suffix (as names
// compare there: on Windows in any letter case) and is, without it, the
// name of a regular file there.
bool names_page_beside(FileOps& ops, int dir, std::string_view base, std::string_view suffix) {
    if (base.size() <= suffix.size() || !name_ends_with(base, suffix)) return false;
    const std::string page(base.substr(0, base.size() - suffix.size()));
    FileStat st{};
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

}  // namespace tagpolish

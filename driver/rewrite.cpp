#include "driver/rewrite.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "lib/diag.h"

namespace tagpolish {

RewriteInput open_to_rewrite(const char* name, FileOps& ops) {
    for (;;) {
        // Without O_NONBLOCK a FIFO would hold the open until a writer came.
        int fd = ops.open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return {-1, errno};
        struct stat held {
        }, named{};
        const int error = ops.fstat(fd, &held) == 0 ? 0 : errno;
        if (error != 0 || !S_ISREG(held.st_mode)) {
            ops.close(fd);
            return {-1, error};
        }
        // Where the file system has no locks, runs are not kept apart, and
        // each rewrite is still whole.
        while (ops.flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        if (ops.stat(name, &named) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino)
            return {fd, 0};
        // Another run replaced the file while this one waited for it.
        ops.close(fd);
    }
}

namespace {

constexpr const char* acl_name = "system.posix_acl_access";

// The file that a rewrite of path replaces: the final target of a symbolic
// link, or path itself.
std::string rewrite_target(const char* path) {
    char resolved[PATH_MAX];
    if (realpath(path, resolved)) return resolved;
    return path;
}

// A name for a temporary file, unlikely to be taken in the directory.
std::string temp_name() {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937 pick{std::random_device{}()};
    std::string name = ".tagpolish-";
    for (int i = 0; i < 6; ++i) name += letters[pick() % (sizeof letters - 1)];
    return name;
}

// Tries names until one is free: make(name) returns 0 or an errno, and
// EEXIST means the name is taken. Returns 0 with the name in name, or the
// errno.
template <class Make>
int with_free_name(std::string& name, Make make) {
    for (int tries = 0;; ++tries) {
        name = temp_name();
        const int error = make(name.c_str());
        if (error == 0) return 0;
        name.clear();
        if (error != EEXIST || tries == 100) return error;
    }
}

// Fills out with what query(buffer, size) gives, asking for the size first
// and again when it grew in between, as the xattr calls need. Returns 0 or
// the errno.
template <class Query>
int read_sized(std::string& out, Query query) {
    for (;;) {
        const ssize_t size = query(nullptr, 0);
        if (size < 0) return errno;
        out.resize(static_cast<std::size_t>(size));
        if (size == 0) return 0;
        const ssize_t got = query(out.data(), out.size());
        if (got >= 0) {
            out.resize(static_cast<std::size_t>(got));
            return 0;
        }
        if (errno != ERANGE) return errno;
    }
}

// Whether an attribute name is an access control list of some file system.
bool is_acl(std::string_view name) {
    return name.starts_with("system.posix_acl_") || name == "system.nfs4_acl";
}

// The errors with which the system says that the process may not set an
// attribute, or that this file system does not keep it.
bool may_not_set(int error) {
    return error == EPERM || error == EACCES || error == ENOTSUP;
}

Rewrite give_up(int error, const char* path) {
    errmsg_why(error, "%s: failed to rewrite\n", path);
    return Rewrite::stopped;
}

Rewrite lose_acl(int error, const char* path) {
    errmsg_why(error, "%s: cannot keep its ACL\n", path);
    return Rewrite::refused;
}

}  // namespace

NewFile::HoldSignals::HoldSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE}) sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, &old_);
}

NewFile::HoldSignals::~HoldSignals() {
    sigprocmask(SIG_SETMASK, &old_, nullptr);
}

NewFile::NewFile(const char* path, int old_fd, FileOps& ops)
    : path_(path), old_fd_(old_fd), ops_(ops) {}

NewFile::~NewFile() {
    if (fd_ >= 0) ops_.close(fd_);
    if (!temp_.empty()) ops_.unlinkat(dir_fd_, temp_.c_str(), 0);
    if (dir_fd_ >= 0) ops_.close(dir_fd_);
}

int NewFile::prepare() {
    const std::string target = rewrite_target(path_);
    const std::string::size_type slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    base_ = slash == std::string::npos ? target : target.substr(slash + 1);
    // A file that the user may not write stays as it is, although its
    // directory would let a new file take its place.
    made_ = ops_.access(target.c_str(), W_OK) == 0 ? make(dir) : errno;
    return made_;
}

// Makes the file in dir: unnamed where the file system allows it, so that
// it goes with the process however that ends, else under a temporary name.
// An unnamed file is named later through /proc. Returns 0 or the errno.
int NewFile::make(const std::string& dir) {
    dir_fd_ = ops_.open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd_ < 0) return errno;
    if (ops_.access("/proc/self/fd", X_OK) == 0) {
        fd_ = ops_.openat(dir_fd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (fd_ >= 0) return 0;
        // An older kernel takes the flag for O_DIRECTORY (EISDIR); some file
        // systems, overlays among them, refuse it.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
    }
    hold_.emplace();
    return with_free_name(temp_, [this](const char* name) {
        fd_ = ops_.openat(dir_fd_, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        return fd_ >= 0 ? 0 : errno;
    });
}

Rewrite NewFile::commit(int write_error) {
    if (made_ != 0) {
        errmsg_why(made_, "%s: cannot open to write\n", path_);
        return Rewrite::stopped;
    }
    if (write_error != 0) return give_up(write_error, path_);
    // Writing and a change of owner clear set-id bits and file
    // capabilities: the attributes come after both, the mode last.
    struct stat old {};
    if (ops_.fstat(old_fd_, &old) != 0) return give_up(errno, path_);
    copy_owner(old);
    if (Rewrite copied = copy_attributes(); copied != Rewrite::done) return copied;
    if (ops_.fchmod(fd_, old.st_mode & 07777) != 0) {
        errmsg_why(errno, "%s: cannot keep its permission bits\n", path_);
        return Rewrite::refused;
    }
    if (ops_.fsync(fd_) != 0) return give_up(errno, path_);
    if (int failed = replace()) return give_up(failed, path_);
    return Rewrite::done;
}

// Only a privileged user may give the file its old owner; others keep
// their own, and the old group where they belong to it.
void NewFile::copy_owner(const struct stat& old) {
    if (ops_.fchown(fd_, old.st_uid, old.st_gid) != 0)
        ops_.fchown(fd_, static_cast<uid_t>(-1), old.st_gid);
}

// Copies every extended attribute of the old file that the process may
// set; an ACL must come over whole, and one that the new file inherited
// from its directory goes when the old file had none.
Rewrite NewFile::copy_attributes() {
    std::string names, value;
    int error = read_sized(
        names, [&](char* list, std::size_t size) { return ops_.flistxattr(old_fd_, list, size); });
    if (error == ENOTSUP) return Rewrite::done;  // a file system without them
    if (error != 0) return give_up(error, path_);
    bool had_acl = false;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
        const char* name = names.c_str() + at;
        had_acl = had_acl || std::string_view(name) == acl_name;
        error = read_sized(value, [&](char* data, std::size_t size) {
            return ops_.fgetxattr(old_fd_, name, data, size);
        });
        if (error == 0 && ops_.fsetxattr(fd_, name, value.data(), value.size(), 0) != 0)
            error = errno;
        if (error == 0) continue;
        if (is_acl(name)) return lose_acl(error, path_);
        if (may_not_set(error) || error == ENODATA) continue;
        return give_up(error, path_);
    }
    if (!had_acl && ops_.fremovexattr(fd_, acl_name) != 0 && errno != ENODATA && errno != ENOTSUP)
        return lose_acl(errno, path_);
    return Rewrite::done;
}

// Links the unnamed file into the directory under a temporary name. The
// /proc path needs no privilege, where linking the descriptor itself would.
int NewFile::give_name() {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    hold_.emplace();
    return with_free_name(temp_, [&](const char* name) {
        return ops_.linkat(AT_FDCWD, self.c_str(), dir_fd_, name, AT_SYMLINK_FOLLOW) == 0 ? 0
                                                                                          : errno;
    });
}

// Puts the synced file in place of the old one and makes the change last:
// after the directory is synced, a power cut cannot bring the old file back.
int NewFile::replace() {
    if (temp_.empty())
        if (int error = give_name()) return error;
    const int closed = ops_.close(fd_);
    fd_ = -1;
    if (closed != 0) return errno;
    if (ops_.renameat(dir_fd_, temp_.c_str(), dir_fd_, base_.c_str()) != 0) return errno;
    temp_.clear();
    // EINVAL: a file system that cannot sync a directory.
    if (ops_.fsync(dir_fd_) != 0 && errno != EINVAL) return errno;
    return 0;
}

}  // namespace tagpolish

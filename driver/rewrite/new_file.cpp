#include "driver/rewrite/new_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <random>
#include <string_view>
#include <vector>

#include "driver/input/output.h"
#include "driver/rewrite/backup_record.h"
#include "driver/rewrite/rewrite.h"
#include "lib/diag.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/users.h"

namespace tagpolish {
namespace {

constexpr const char* acl_name = "system.posix_acl_access";

constexpr std::size_t temp_name_size = 17;  // ".tagpolish-" and six letters

// Makes name a name for a temporary file, unlikely to be taken in the
// directory. The name is written in place: a string that has room for it
// asks for no memory, as a run that stops for want of memory still names
// its new files. (The file is made with O_EXCL, or linked, which never
// follows a name that another user put there: guessing does no harm.)
// Each thread draws from a sequence of its own, started apart from the
// others'.
void pick_temp_name(std::string& name) {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<unsigned> threads{0};
    thread_local std::minstd_rand pick{static_cast<unsigned>(process_id()) ^
                                       static_cast<unsigned>(time(nullptr)) ^
                                       (threads.fetch_add(1) * 2654435761u)};
    name.assign(".tagpolish-");
    for (int i = 0; i < 6; ++i) name += letters[pick() % (sizeof letters - 1)];
}

// Tries names until one is free: make(name) returns 0 or an errno, and
// EEXIST means the name is taken. Returns 0 with the name in name, or the
// errno.
template <class Make>
int with_free_name(std::string& name, Make make) {
    for (int tries = 0;; ++tries) {
        pick_temp_name(name);
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

// Whether an attribute name is an access control list of some file system
// (on Windows the file's DACL).
bool is_acl(std::string_view name) {
    return name.starts_with("system.posix_acl_") || name == "system.nfs4_acl" ||
           name == "system.ntfs_acl";
}

// The errors with which the system says that the process may not set an
// attribute, or that this file system does not keep it.
bool may_not_set(int error) {
    return error == EPERM || error == EACCES || error == ENOTSUP;
}

Went lose_acl(int error, const char* path) {
    errmsg_why(error, "%s: cannot keep its ACL\n", path);
    return Went::failed;
}

}  // namespace

Went give_up(int error, const char* path) {
    errmsg_why(error, "%s: failed to rewrite\n", path);
    return Went::stopped;
}

int link_open_file(FileOps& ops, int fd, int dir_fd, const char* name) {
    const OpenFileLink self = open_file_link(fd);
    return ops.linkat(self.dir, self.path, dir_fd, name, self.flags) == 0 ? 0 : errno;
}

// Root may give a file to anyone (a root user's site whose pages belong to
// the web server's user); others only to themselves, and to a group of
// their own.
OwnerGiven owner_given_to(const FileStat& old) {
    if (acts_as_superuser()) return {true, true};
    const bool group = in_group(old.st_gid);
    return {group && old.st_uid == effective_user(), group};
}

// A page left to another group would be open to the wrong people, and so
// would a page that anybody may write, left to the user who wrote it: then
// it stays as it was. A page that only changes hands keeps its group and
// its permission bits, and its old owner is named.
Went report_owner(OwnerGiven given, const FileStat& old, const char* path, bool note_owner) {
    if (given.owner) return Went::on;
    if (!given.group) {
        errmsg("%s: cannot keep its group\n", path);
        return Went::failed;
    }
    if (old.st_mode & S_IWOTH) {
        errmsg("%s: cannot keep its owner\n", path);
        return Went::failed;
    }
    if (!note_owner) return Went::on;
    const std::string name = user_name(old.st_uid);
    errmsg(msg_new_owner, path, name.c_str());
    return Went::on;
}

NewFile::NewFile(FileOps& ops) : ops_(ops) {
    name_.reserve(temp_name_size);
}

NewFile::~NewFile() {
    if (fd_ >= 0) ops_.close(fd_);
    if (!name_.empty()) ops_.unlinkat(dir_fd_, name_.c_str(), 0);
}

// An unnamed file is named later through /proc.
int NewFile::make(int dir) {
    dir_fd_ = dir;
    // Without /proc an unnamed file could not be named later.
    static const bool proc = ops_.faccessat(AT_FDCWD, "/proc/self/fd", X_OK, 0) == 0;
    if (proc) {
        fd_ = ops_.openat(dir_fd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (fd_ >= 0) return 0;
        // An older kernel takes the flag for O_DIRECTORY (EISDIR); some file
        // systems, overlays among them, refuse it.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
    }
    return with_free_name(name_, [this](const char* name) {
        fd_ = ops_.openat(dir_fd_, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        return fd_ >= 0 ? 0 : errno;
    });
}

int NewFile::copy(int from) {
    FdSink sink(fd_, LineEnd::lf, ops_);
    std::string chunk(std::size_t{1} << 16, '\0');
    for (std::int64_t at = 0;;) {
        const ssize_t got = ops_.pread(from, chunk.data(), chunk.size(), at);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno;
        if (got == 0) break;
        sink.put(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
        at += got;
    }
    sink.flush();
    return sink.error();
}

// Writing and a change of owner clear set-id bits and file capabilities:
// the attributes come after both, the mode last.
Went NewFile::carry(int old_fd, const FileStat& old, const char* path, Made made) {
    OwnerGiven given;
    copy_owner(old, given);
    if (Went kept = report_owner(given, old, path, false); kept != Went::on) return kept;
    if (made == Made::page && !given.owner) old_owner_ = user_name(old.st_uid);
    if (Went copied = copy_attributes(old_fd, path, made); copied != Went::on) return copied;
    if (ops_.fchmod(fd_, old.st_mode & 07777) != 0) {
        errmsg_why(errno, "%s: cannot keep its permission bits\n", path);
        return Went::failed;
    }
    return Went::on;
}

int NewFile::copy_times(const FileStat& old) {
    const struct timespec times[2] = {old.st_atim, old.st_mtim};
    return ops_.futimens(fd_, times) == 0 ? 0 : errno;
}

int NewFile::sync() {
    return ops_.fsync(fd_) == 0 ? 0 : errno;
}

int NewFile::sync_data() {
    return ops_.fdatasync(fd_) == 0 ? 0 : errno;
}

// The new file is made by the user running the program, in a group the
// folder gives it: what the system lets that user give is tried.
void NewFile::copy_owner(const FileStat& old, OwnerGiven& given) {
    if (ops_.fchown(fd_, old.st_uid, old.st_gid) == 0) {
        given = {true, true};
        return;
    }
    given.group = ops_.fchown(fd_, static_cast<std::uint32_t>(-1), old.st_gid) == 0;
    given.owner = given.group && old.st_uid == effective_user();
}

// Copies every extended attribute of the old file that the process may
// set, but for the record of the old page, which a new page does not
// hold; an ACL must come over whole, and one that the new file inherited
// from its directory goes when the old file had none.
Went NewFile::copy_attributes(int old_fd, const char* path, Made made) {
    std::string names, value;
    int error = read_sized(
        names, [&](char* list, std::size_t size) { return ops_.flistxattr(old_fd, list, size); });
    if (error == ENOTSUP) return Went::on;  // a file system without them
    if (error != 0) return give_up(error, path);
    bool had_acl = false;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
        const char* name = names.c_str() + at;
        had_acl = had_acl || std::string_view(name) == acl_name;
        if (made == Made::page && std::string_view(name) == record_attr) continue;
        error = read_sized(value, [&](char* data, std::size_t size) {
            return ops_.fgetxattr(old_fd, name, data, size);
        });
        if (error == 0 && ops_.fsetxattr(fd_, name, value.data(), value.size(), 0) != 0)
            error = errno;
        if (error == 0) continue;
        if (is_acl(name)) return lose_acl(error, path);
        if (may_not_set(error) || error == ENODATA) continue;
        return give_up(error, path);
    }
    if (!had_acl && ops_.fremovexattr(fd_, acl_name) != 0 && errno != ENODATA && errno != ENOTSUP)
        return lose_acl(errno, path);
    return Went::on;
}

// Links the unnamed file into the folder under a temporary name.
int NewFile::give_name() {
    return with_free_name(
        name_, [&](const char* name) { return link_open_file(ops_, fd_, dir_fd_, name); });
}

// A failed close can be the first news of a write that did not reach the
// disk (network file systems).
int NewFile::close_file() {
    const int closed = ops_.close(fd_);
    fd_ = -1;
    return closed == 0 ? 0 : errno;
}

// An unnamed file is linked under its name at once; a file that has a
// temporary name takes the new one in a rename that replaces nothing
// (where the file system cannot, a link and the removal of the old name).
int NewFile::name_as(const std::string& base) {
    if (name_.empty()) {
        if (int error = link_open_file(ops_, fd_, dir_fd_, base.c_str())) return error;
        name_ = base;
        return close_file();
    }
    if (int error = close_file()) return error;
    if (ops_.renameat(dir_fd_, name_.c_str(), dir_fd_, base.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno != EINVAL) return errno;
        if (ops_.linkat(dir_fd_, name_.c_str(), dir_fd_, base.c_str(), 0) != 0) return errno;
        ops_.unlinkat(dir_fd_, name_.c_str(), 0);
    }
    name_ = base;
    return 0;
}

int NewFile::put_in_place(const std::string& base) {
    if (name_.empty())
        if (int error = give_name()) return error;
    if (int error = close_file()) return error;
    if (ops_.renameat(dir_fd_, name_.c_str(), dir_fd_, base.c_str()) != 0) return errno;
    name_.clear();
    return 0;
}

}  // namespace tagpolish

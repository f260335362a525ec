#include "support/fake_file_ops.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "support/test_support.h"

namespace tagpolish::test {

std::string AttributeStore::names(const Id& id) const {
    std::lock_guard lock(mutex_);
    std::string list;
    if (auto file = by_file_.find(id); file != by_file_.end())
        for (const auto& [name, value] : file->second) list.append(name).push_back('\0');
    return list;
}

ssize_t AttributeStore::get(const Id& id, const std::string& name, void* value,
                            std::size_t size) const {
    std::lock_guard lock(mutex_);
    const auto file = by_file_.find(id);
    const std::string* found = nullptr;
    if (file != by_file_.end())
        if (auto attr = file->second.find(name); attr != file->second.end()) found = &attr->second;
    if (found == nullptr) {
        errno = ENODATA;
        return -1;
    }
    const std::string& text = *found;
    if (size == 0) return static_cast<ssize_t>(text.size());
    if (size < text.size()) {
        errno = ERANGE;
        return -1;
    }
    std::memcpy(value, text.data(), text.size());
    return static_cast<ssize_t>(text.size());
}

void AttributeStore::set(const Id& id, const std::string& name, std::string value) {
    std::lock_guard lock(mutex_);
    by_file_[id][name] = std::move(value);
}

int AttributeStore::remove(const Id& id, const std::string& name) {
    std::lock_guard lock(mutex_);
    auto file = by_file_.find(id);
    if (file == by_file_.end() || file->second.erase(name) == 0) {
        errno = ENODATA;
        return -1;
    }
    return 0;
}

AttributeStore* unless_kept_in(const std::string& dir, AttributeStore& store) {
    return keeps_user_attributes(dir) ? nullptr : &store;
}

namespace {

// The file at path open to read or write, or -1.
int open_file(FileOps& ops, const std::string& path) {
    return ops.openat(AT_FDCWD, path.c_str(), O_RDWR | O_CLOEXEC, 0);
}

}  // namespace

std::string attribute_of(const std::string& path, const char* name, AttributeStore* kept) {
    FakeFileOps ops({}, kept);
    const int fd = open_file(ops, path);
    if (fd < 0) return "";
    std::string value(256, '\0');
    const ssize_t got = ops.fgetxattr(fd, name, value.data(), value.size());
    ops.close(fd);
    value.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    return value;
}

bool set_attribute_of(const std::string& path, const char* name, std::string_view value,
                      AttributeStore* kept) {
    FakeFileOps ops({}, kept);
    const int fd = open_file(ops, path);
    if (fd < 0) return false;
    const bool set = ops.fsetxattr(fd, name, value.data(), value.size(), 0) == 0;
    ops.close(fd);
    return set;
}

int FakeFileOps::count(Call call) const {
    std::lock_guard lock(mutex_);
    auto it = calls_.find(call);
    return it == calls_.end() ? 0 : it->second;
}

std::vector<Call> FakeFileOps::log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

bool FakeFileOps::fails(Call call, const char* attr) {
    if (before) before(call);
    std::lock_guard lock(mutex_);
    log_.push_back(call);
    const int nth = ++calls_[call];
    const int nth_of_attr = attr ? ++attr_calls_[{call, attr}] : 0;
    for (const Failure& f : plan_) {
        if (f.call != call) continue;
        const bool named = !f.attr.empty();
        if (named && (attr == nullptr || f.attr != attr)) continue;
        if (f.nth != 0 && (named ? nth_of_attr : nth) != f.nth) continue;
        errno = f.error;
        return true;
    }
    return false;
}

int FakeFileOps::openat(int dirfd, const char* path, int flags, std::uint32_t mode) {
    const bool unnamed = (flags & O_TMPFILE) == O_TMPFILE;
    return fails(unnamed ? Call::tmpfile : Call::openat)
               ? -1
               : SystemFileOps::openat(dirfd, path, flags, mode);
}

int FakeFileOps::close(int fd) {
    if (!fails(Call::close)) return SystemFileOps::close(fd);
    // The descriptor goes even when the close fails, as it does in the
    // system.
    const int error = errno;
    SystemFileOps::close(fd);
    errno = error;
    return -1;
}

int FakeFileOps::faccessat(int dirfd, const char* path, int mode, int flags) {
    return fails(Call::faccessat) ? -1 : SystemFileOps::faccessat(dirfd, path, mode, flags);
}

int FakeFileOps::fstatat(int dirfd, const char* path, FileStat* st, int flags) {
    if (fails(Call::fstatat) || SystemFileOps::fstatat(dirfd, path, st, flags) != 0) return -1;
    if (restat) restat(*st);
    return 0;
}

int FakeFileOps::fstat(int fd, FileStat* st) {
    if (fails(Call::fstat) || SystemFileOps::fstat(fd, st) != 0) return -1;
    if (restat) restat(*st);
    return 0;
}

ssize_t FakeFileOps::readlinkat(int dirfd, const char* path, char* data, std::size_t size) {
    return fails(Call::readlinkat) ? -1 : SystemFileOps::readlinkat(dirfd, path, data, size);
}

int FakeFileOps::name_to_handle_at(int dirfd, const char* path, struct file_handle* handle,
                                   int* mount_id, int flags) {
    return fails(Call::name_to_handle_at)
               ? -1
               : SystemFileOps::name_to_handle_at(dirfd, path, handle, mount_id, flags);
}

int FakeFileOps::flock(int fd, int operation) {
    if (before_flock) before_flock(operation);
    return fails(Call::flock) ? -1 : SystemFileOps::flock(fd, operation);
}

ssize_t FakeFileOps::read(int fd, void* data, std::size_t size) {
    return fails(Call::read) ? -1 : SystemFileOps::read(fd, data, size);
}

ssize_t FakeFileOps::pread(int fd, void* data, std::size_t size, std::int64_t offset) {
    return fails(Call::pread) ? -1 : SystemFileOps::pread(fd, data, size, offset);
}

std::int64_t FakeFileOps::lseek(int fd, std::int64_t offset, int whence) {
    return fails(Call::lseek) ? -1 : SystemFileOps::lseek(fd, offset, whence);
}

ssize_t FakeFileOps::write(int fd, const void* data, std::size_t size) {
    return fails(Call::write) ? -1 : SystemFileOps::write(fd, data, size);
}

ssize_t FakeFileOps::writev(int fd, const iovec* iov, int count) {
    return fails(Call::write) ? -1 : SystemFileOps::writev(fd, iov, count);
}

int FakeFileOps::fsync(int fd) {
    return fails(Call::fsync) ? -1 : SystemFileOps::fsync(fd);
}

int FakeFileOps::fdatasync(int fd) {
    return fails(Call::fsync) ? -1 : SystemFileOps::fdatasync(fd);
}

int FakeFileOps::syncfs(int fd) {
    return fails(Call::syncfs) ? -1 : SystemFileOps::syncfs(fd);
}

int FakeFileOps::fchown(int fd, std::uint32_t uid, std::uint32_t gid) {
    return fails(Call::fchown) ? -1 : SystemFileOps::fchown(fd, uid, gid);
}

int FakeFileOps::fchmod(int fd, std::uint32_t mode) {
    return fails(Call::fchmod) ? -1 : SystemFileOps::fchmod(fd, mode);
}

int FakeFileOps::futimens(int fd, const struct timespec times[2]) {
    return fails(Call::futimens) ? -1 : SystemFileOps::futimens(fd, times);
}

bool FakeFileOps::kept(int fd, const char* name, AttributeStore::Id& id) {
    if (attributes == nullptr || !std::string_view(name).starts_with("user.")) return false;
    FileStat st{};
    if (SystemFileOps::fstat(fd, &st) != 0) return false;
    id = {st.st_dev, st.st_ino};
    return true;
}

ssize_t FakeFileOps::flistxattr(int fd, char* list, std::size_t size) {
    if (fails(Call::flistxattr)) return -1;
    std::string names;
    if (AttributeStore::Id id; kept(fd, "user.", id)) names = attributes->names(id);
    if (names.empty()) return SystemFileOps::flistxattr(fd, list, size);
    const ssize_t own = SystemFileOps::flistxattr(fd, nullptr, 0);
    if (own < 0) return -1;
    const std::size_t whole = static_cast<std::size_t>(own) + names.size();
    if (size == 0) return static_cast<ssize_t>(whole);
    if (size < whole) {
        errno = ERANGE;
        return -1;
    }
    const ssize_t got = own == 0 ? 0 : SystemFileOps::flistxattr(fd, list, size);
    if (got < 0) return -1;
    std::memcpy(list + got, names.data(), names.size());
    return got + static_cast<ssize_t>(names.size());
}

ssize_t FakeFileOps::fgetxattr(int fd, const char* name, void* value, std::size_t size) {
    if (fails(Call::fgetxattr, name)) return -1;
    if (AttributeStore::Id id; kept(fd, name, id)) return attributes->get(id, name, value, size);
    return SystemFileOps::fgetxattr(fd, name, value, size);
}

int FakeFileOps::fsetxattr(int fd, const char* name, const void* value, std::size_t size,
                           int flags) {
    if (fails(Call::fsetxattr, name)) return -1;
    if (AttributeStore::Id id; kept(fd, name, id)) {
        attributes->set(id, name, std::string(static_cast<const char*>(value), size));
        return 0;
    }
    return SystemFileOps::fsetxattr(fd, name, value, size, flags);
}

int FakeFileOps::fremovexattr(int fd, const char* name) {
    if (fails(Call::fremovexattr, name)) return -1;
    if (AttributeStore::Id id; kept(fd, name, id)) return attributes->remove(id, name);
    return SystemFileOps::fremovexattr(fd, name);
}

int FakeFileOps::linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                        int flags) {
    return fails(Call::linkat) ? -1
                               : SystemFileOps::linkat(olddirfd, oldpath, newdirfd, newpath, flags);
}

int FakeFileOps::renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                          unsigned flags) {
    return fails(Call::renameat)
               ? -1
               : SystemFileOps::renameat(olddirfd, oldpath, newdirfd, newpath, flags);
}

int FakeFileOps::unlinkat(int dirfd, const char* path, int flags) {
    return fails(Call::unlinkat) ? -1 : SystemFileOps::unlinkat(dirfd, path, flags);
}

}  // namespace tagpolish::test

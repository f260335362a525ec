#include "platform/file_ops.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace tagpolish {

int SystemFileOps::openat(int dirfd, const char* path, int flags, std::uint32_t mode) {
    return ::openat(dirfd, path, flags, mode);
}

int SystemFileOps::close(int fd) {
    return ::close(fd);
}

int SystemFileOps::faccessat(int dirfd, const char* path, int mode, int flags) {
    return ::faccessat(dirfd, path, mode, flags);
}

namespace {

void take_stat(const struct stat& from, FileStat& to) {
    to.st_dev = from.st_dev;
    to.st_ino = from.st_ino;
    to.st_mode = from.st_mode;
    to.st_uid = from.st_uid;
    to.st_gid = from.st_gid;
    to.st_size = from.st_size;
    to.st_atim = from.st_atim;
    to.st_mtim = from.st_mtim;
    to.st_ctim = from.st_ctim;
}

}  // namespace

int SystemFileOps::fstatat(int dirfd, const char* path, FileStat* st, int flags) {
    struct stat got {};
    const int result = ::fstatat(dirfd, path, &got, flags);
    if (result == 0) take_stat(got, *st);
    return result;
}

int SystemFileOps::fstat(int fd, FileStat* st) {
    struct stat got {};
    const int result = ::fstat(fd, &got);
    if (result == 0) take_stat(got, *st);
    return result;
}

ssize_t SystemFileOps::readlinkat(int dirfd, const char* path, char* data, std::size_t size) {
    return ::readlinkat(dirfd, path, data, size);
}

int SystemFileOps::name_to_handle_at(int dirfd, const char* path, struct file_handle* handle,
                                     int* mount_id, int flags) {
    return ::name_to_handle_at(dirfd, path, handle, mount_id, flags);
}

int SystemFileOps::flock(int fd, int operation) {
    return ::flock(fd, operation);
}

ssize_t SystemFileOps::read(int fd, void* data, std::size_t size) {
    return ::read(fd, data, size);
}

ssize_t SystemFileOps::pread(int fd, void* data, std::size_t size, std::int64_t offset) {
    return ::pread(fd, data, size, offset);
}

std::int64_t SystemFileOps::lseek(int fd, std::int64_t offset, int whence) {
    return ::lseek(fd, offset, whence);
}

ssize_t SystemFileOps::write(int fd, const void* data, std::size_t size) {
    return ::write(fd, data, size);
}

ssize_t SystemFileOps::writev(int fd, const iovec* iov, int count) {
    return ::writev(fd, iov, count);
}

int SystemFileOps::fsync(int fd) {
    return ::fsync(fd);
}

int SystemFileOps::fdatasync(int fd) {
    return ::fdatasync(fd);
}

int SystemFileOps::syncfs(int fd) {
    return ::syncfs(fd);
}

int SystemFileOps::fchown(int fd, std::uint32_t uid, std::uint32_t gid) {
    return ::fchown(fd, uid, gid);
}

int SystemFileOps::fchmod(int fd, std::uint32_t mode) {
    return ::fchmod(fd, mode);
}

int SystemFileOps::futimens(int fd, const struct timespec times[2]) {
    return ::futimens(fd, times);
}

ssize_t SystemFileOps::flistxattr(int fd, char* list, std::size_t size) {
    return ::flistxattr(fd, list, size);
}

ssize_t SystemFileOps::fgetxattr(int fd, const char* name, void* value, std::size_t size) {
    return ::fgetxattr(fd, name, value, size);
}

int SystemFileOps::fsetxattr(int fd, const char* name, const void* value, std::size_t size,
                             int flags) {
    return ::fsetxattr(fd, name, value, size, flags);
}

int SystemFileOps::fremovexattr(int fd, const char* name) {
    return ::fremovexattr(fd, name);
}

int SystemFileOps::linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                          int flags) {
    return ::linkat(olddirfd, oldpath, newdirfd, newpath, flags);
}

int SystemFileOps::renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                            unsigned flags) {
    return flags == 0 ? ::renameat(olddirfd, oldpath, newdirfd, newpath)
                      : ::renameat2(olddirfd, oldpath, newdirfd, newpath, flags);
}

int SystemFileOps::unlinkat(int dirfd, const char* path, int flags) {
    return ::unlinkat(dirfd, path, flags);
}

}  // namespace tagpolish

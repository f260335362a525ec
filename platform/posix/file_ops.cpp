#include "platform/file_ops.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/run_stop.h"

namespace tagpolish {

int SystemFileOps::openat(int dirfd, const char* path, int flags, mode_t mode) {
    return ::openat(dirfd, path, flags, mode);
}

int SystemFileOps::close(int fd) {
    return ::close(fd);
}

int SystemFileOps::faccessat(int dirfd, const char* path, int mode, int flags) {
    return ::faccessat(dirfd, path, mode, flags);
}

int SystemFileOps::fstatat(int dirfd, const char* path, struct stat* st, int flags) {
    return ::fstatat(dirfd, path, st, flags);
}

int SystemFileOps::fstat(int fd, struct stat* st) {
    return ::fstat(fd, st);
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

ssize_t SystemFileOps::pread(int fd, void* data, std::size_t size, off_t offset) {
    return ::pread(fd, data, size, offset);
}

off_t SystemFileOps::lseek(int fd, off_t offset, int whence) {
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

int SystemFileOps::fchown(int fd, uid_t uid, gid_t gid) {
    return ::fchown(fd, uid, gid);
}

int SystemFileOps::fchmod(int fd, mode_t mode) {
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

FileOps& system_file_ops() {
    static SystemFileOps ops;
    return ops;
}

namespace {

class StoppableFileOps : public SystemFileOps {
  public:
    ssize_t write(int fd, const void* data, std::size_t size) override {
        return cut_short(SystemFileOps::write(fd, data, size));
    }
    ssize_t writev(int fd, const iovec* iov, int count) override {
        return cut_short(SystemFileOps::writev(fd, iov, count));
    }

  private:
    static ssize_t cut_short(ssize_t result) {
        if (result < 0 && errno == EINTR && stop_requested()) errno = ECANCELED;
        return result;
    }
};

}  // namespace

FileOps& stoppable_file_ops() {
    static StoppableFileOps ops;
    return ops;
}

}  // namespace tagpolish

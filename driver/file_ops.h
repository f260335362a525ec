// The system calls through which -w opens, locks and replaces a file, so
// that tests can make any one of them fail.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>

namespace tagpolish {

// Each call does what the system call of its name does and reports a
// failure the same way (-1 and errno).
class FileOps {
  public:
    virtual ~FileOps() = default;
    virtual int open(const char* path, int flags) = 0;
    virtual int openat(int dirfd, const char* path, int flags, mode_t mode) = 0;
    virtual int close(int fd) = 0;
    virtual int access(const char* path, int mode) = 0;
    virtual int stat(const char* path, struct stat* st) = 0;
    virtual int lstat(const char* path, struct stat* st) = 0;
    virtual int fstat(int fd, struct stat* st) = 0;
    virtual int flock(int fd, int operation) = 0;
    virtual ssize_t pread(int fd, void* data, std::size_t size, off_t offset) = 0;
    virtual ssize_t write(int fd, const void* data, std::size_t size) = 0;
    virtual ssize_t writev(int fd, const iovec* iov, int count) = 0;
    virtual int fsync(int fd) = 0;
    virtual int fdatasync(int fd) = 0;
    virtual int syncfs(int fd) = 0;
    virtual int fchown(int fd, uid_t uid, gid_t gid) = 0;
    virtual int fchmod(int fd, mode_t mode) = 0;
    virtual int futimens(int fd, const struct timespec times[2]) = 0;
    virtual ssize_t flistxattr(int fd, char* list, std::size_t size) = 0;
    virtual ssize_t fgetxattr(int fd, const char* name, void* value, std::size_t size) = 0;
    virtual int fsetxattr(int fd, const char* name, const void* value, std::size_t size,
                          int flags) = 0;
    virtual int fremovexattr(int fd, const char* name) = 0;
    virtual int linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                       int flags) = 0;
    virtual int renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath) = 0;
    virtual int unlinkat(int dirfd, const char* path, int flags) = 0;
};

// The calls of the system itself.
class SystemFileOps : public FileOps {
  public:
    int open(const char* path, int flags) override;
    int openat(int dirfd, const char* path, int flags, mode_t mode) override;
    int close(int fd) override;
    int access(const char* path, int mode) override;
    int stat(const char* path, struct stat* st) override;
    int lstat(const char* path, struct stat* st) override;
    int fstat(int fd, struct stat* st) override;
    int flock(int fd, int operation) override;
    ssize_t pread(int fd, void* data, std::size_t size, off_t offset) override;
    ssize_t write(int fd, const void* data, std::size_t size) override;
    ssize_t writev(int fd, const iovec* iov, int count) override;
    int fsync(int fd) override;
    int fdatasync(int fd) override;
    int syncfs(int fd) override;
    int fchown(int fd, uid_t uid, gid_t gid) override;
    int fchmod(int fd, mode_t mode) override;
    int futimens(int fd, const struct timespec times[2]) override;
    ssize_t flistxattr(int fd, char* list, std::size_t size) override;
    ssize_t fgetxattr(int fd, const char* name, void* value, std::size_t size) override;
    int fsetxattr(int fd, const char* name, const void* value, std::size_t size,
                  int flags) override;
    int fremovexattr(int fd, const char* name) override;
    int linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
               int flags) override;
    int renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath) override;
    int unlinkat(int dirfd, const char* path, int flags) override;
};

// The one SystemFileOps of the program.
FileOps& system_file_ops();

}  // namespace tagpolish

// The system calls through which inputs are read and -w finds, locks and
// replaces a file, so that tests can make any one of them fail, or act
// between two of them as another program would.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstddef>
#include <utility>

namespace tagpolish {

// Each call does what the system call of its name does and reports a
// failure the same way (-1 and errno).
class FileOps {
  public:
    virtual ~FileOps() = default;
    virtual int openat(int dirfd, const char* path, int flags, mode_t mode) = 0;
    virtual int close(int fd) = 0;
    virtual int faccessat(int dirfd, const char* path, int mode, int flags) = 0;
    virtual int fstatat(int dirfd, const char* path, struct stat* st, int flags) = 0;
    virtual int fstat(int fd, struct stat* st) = 0;
    virtual ssize_t readlinkat(int dirfd, const char* path, char* data, std::size_t size) = 0;
    virtual int name_to_handle_at(int dirfd, const char* path, struct file_handle* handle,
                                  int* mount_id, int flags) = 0;
    virtual int flock(int fd, int operation) = 0;
    virtual ssize_t read(int fd, void* data, std::size_t size) = 0;
    virtual ssize_t pread(int fd, void* data, std::size_t size, off_t offset) = 0;
    virtual off_t lseek(int fd, off_t offset, int whence) = 0;
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
    // renameat2: flags 0 is renameat.
    virtual int renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                         unsigned flags = 0) = 0;
    virtual int unlinkat(int dirfd, const char* path, int flags) = 0;
};

// The calls of the system itself.
class SystemFileOps : public FileOps {
  public:
    int openat(int dirfd, const char* path, int flags, mode_t mode) override;
    int close(int fd) override;
    int faccessat(int dirfd, const char* path, int mode, int flags) override;
    int fstatat(int dirfd, const char* path, struct stat* st, int flags) override;
    int fstat(int fd, struct stat* st) override;
    ssize_t readlinkat(int dirfd, const char* path, char* data, std::size_t size) override;
    int name_to_handle_at(int dirfd, const char* path, struct file_handle* handle, int* mount_id,
                          int flags) override;
    int flock(int fd, int operation) override;
    ssize_t read(int fd, void* data, std::size_t size) override;
    ssize_t pread(int fd, void* data, std::size_t size, off_t offset) override;
    off_t lseek(int fd, off_t offset, int whence) override;
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
    int renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                 unsigned flags = 0) override;
    int unlinkat(int dirfd, const char* path, int flags) override;
};

// The one SystemFileOps of the program.
FileOps& system_file_ops();

// The calls of the system, but for a write to a reader that does not read
// (a pipe, a terminal) that a stop cuts short: where it would be tried
// again after EINTR, it fails with ECANCELED.
FileOps& stoppable_file_ops();

// A file descriptor owned: closed when it goes. AT_FDCWD may stand in it
// for the current folder, and is never closed.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0 || fd_ == AT_FDCWD; }
    // Gives the descriptor up without closing it.
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

}  // namespace tagpolish

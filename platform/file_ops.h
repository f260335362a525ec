// The system calls through which inputs are read and -w finds, locks and
// replaces a file, so that tests can make any one of them fail, or act
// between two of them as another program would.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cstddef>
#include <cstdint>
#include <utility>

#ifdef _WIN32
#include <io.h>

// The descriptor calls come from the C runtime; what it lacks of the
// POSIX names the interface uses is given here, with the meaning the
// Windows side gives it.
struct iovec {
    void* iov_base;
    std::size_t iov_len;
};
// What name_to_handle_at fills: the bytes of the handle follow the record.
struct file_handle {
    unsigned handle_bytes;
    int handle_type;
};
#define MAX_HANDLE_SZ 128
#define AT_FDCWD (-100)
#define AT_SYMLINK_NOFOLLOW 0x100
#define AT_REMOVEDIR 0x200
#define AT_SYMLINK_FOLLOW 0x400
#define AT_EMPTY_PATH 0x1000
#define O_CLOEXEC O_NOINHERIT
// Flags above those of the runtime's own, which the Windows side reads.
#define O_NONBLOCK 0x100000
#define O_NOCTTY 0x200000
#define O_NOFOLLOW 0x400000
#define O_DIRECTORY 0x800000
#define O_PATH 0x1000000
#define O_TMPFILE 0x2000000
#define LOCK_SH 1
#define LOCK_EX 2
#define LOCK_NB 4
#define LOCK_UN 8
#define RENAME_NOREPLACE 1
#define S_IFLNK 0xA000
#define S_ISLNK(m) (((m)&S_IFMT) == S_IFLNK)
#else
#include <sys/file.h>
#include <sys/uio.h>
#include <unistd.h>
#endif

namespace tagpolish {

// What the program reads of a file's status, under the names of POSIX's
// stat, so that each system fills the same record: a size and times in 64
// bits whatever the system's own stat holds.
struct FileStat {
    std::uint64_t st_dev = 0;
    std::uint64_t st_ino = 0;
    std::uint32_t st_mode = 0;
    std::uint32_t st_uid = 0;
    std::uint32_t st_gid = 0;
    std::int64_t st_size = 0;
    timespec st_atim{};
    timespec st_mtim{};
    timespec st_ctim{};
};

// Each call does what the system call of its name does and reports a
// failure the same way (-1 and errno).
class FileOps {
  public:
    virtual ~FileOps() = default;
    virtual int openat(int dirfd, const char* path, int flags, std::uint32_t mode) = 0;
    virtual int close(int fd) = 0;
    virtual int faccessat(int dirfd, const char* path, int mode, int flags) = 0;
    virtual int fstatat(int dirfd, const char* path, FileStat* st, int flags) = 0;
    virtual int fstat(int fd, FileStat* st) = 0;
    virtual ssize_t readlinkat(int dirfd, const char* path, char* data, std::size_t size) = 0;
    virtual int name_to_handle_at(int dirfd, const char* path, struct file_handle* handle,
                                  int* mount_id, int flags) = 0;
    virtual int flock(int fd, int operation) = 0;
    virtual ssize_t read(int fd, void* data, std::size_t size) = 0;
    virtual ssize_t pread(int fd, void* data, std::size_t size, std::int64_t offset) = 0;
    virtual std::int64_t lseek(int fd, std::int64_t offset, int whence) = 0;
    virtual ssize_t write(int fd, const void* data, std::size_t size) = 0;
    virtual ssize_t writev(int fd, const iovec* iov, int count) = 0;
    virtual int fsync(int fd) = 0;
    virtual int fdatasync(int fd) = 0;
    virtual int syncfs(int fd) = 0;
    virtual int fchown(int fd, std::uint32_t uid, std::uint32_t gid) = 0;
    virtual int fchmod(int fd, std::uint32_t mode) = 0;
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
    int openat(int dirfd, const char* path, int flags, std::uint32_t mode) override;
    int close(int fd) override;
    int faccessat(int dirfd, const char* path, int mode, int flags) override;
    int fstatat(int dirfd, const char* path, FileStat* st, int flags) override;
    int fstat(int fd, FileStat* st) override;
    ssize_t readlinkat(int dirfd, const char* path, char* data, std::size_t size) override;
    int name_to_handle_at(int dirfd, const char* path, struct file_handle* handle, int* mount_id,
                          int flags) override;
    int flock(int fd, int operation) override;
    ssize_t read(int fd, void* data, std::size_t size) override;
    ssize_t pread(int fd, void* data, std::size_t size, std::int64_t offset) override;
    std::int64_t lseek(int fd, std::int64_t offset, int whence) override;
    ssize_t write(int fd, const void* data, std::size_t size) override;
    ssize_t writev(int fd, const iovec* iov, int count) override;
    int fsync(int fd) override;
    int fdatasync(int fd) override;
    int syncfs(int fd) override;
    int fchown(int fd, std::uint32_t uid, std::uint32_t gid) override;
    int fchmod(int fd, std::uint32_t mode) override;
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

// File calls that pass through to the system but for the failures a test
// plans, so that any step of a rewrite can be made to fail in-process.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file_ops.h"

namespace tagpolish::test {

// The calls a plan can name; openat that makes an unnamed file (O_TMPFILE)
// is a call of its own, write stands for writev too, fsync for fdatasync,
// and renameat for renameat2.
enum class Call {
    tmpfile,
    openat,
    close,
    faccessat,
    fstatat,
    fstat,
    readlinkat,
    name_to_handle_at,
    flock,
    read,
    pread,
    lseek,
    write,
    fsync,
    syncfs,
    fchown,
    fchmod,
    futimens,
    flistxattr,
    fgetxattr,
    fsetxattr,
    fremovexattr,
    linkat,
    renameat,
    unlinkat,
};

// One planned failure: the nth call (from 1) of its kind fails with error,
// or every one when nth is 0. For the xattr calls, attr limits the count
// to calls on that name.
struct Failure {
    Call call;
    int error;
    int nth = 1;
    std::string attr = {};
};

// The workers of a run call it side by side: what it counts is guarded,
// and a test's hooks run in whichever thread makes the call.
class FakeFileOps : public SystemFileOps {
  public:
    explicit FakeFileOps(std::vector<Failure> plan = {}) : plan_(std::move(plan)) {}
    // Runs before every call, as another process might act meanwhile.
    std::function<void(Call)> before;
    // Runs before every flock, with its operation (LOCK_NB for a lock
    // taken without waiting).
    std::function<void(int operation)> before_flock;
    // Runs on what fstat and fstatat say of a file, so that a test can
    // make two files look alike.
    std::function<void(FileStat&)> restat;
    // Calls of each kind so far, failed ones included.
    int count(Call call) const;
    // Every call so far, in order.
    std::vector<Call> log() const;

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

  private:
    // Counts the call; true (with errno set) when the plan fails it.
    bool fails(Call call, const char* attr = nullptr);
    mutable std::mutex mutex_;
    std::vector<Failure> plan_;
    std::map<Call, int> calls_;
    std::vector<Call> log_;
    std::map<std::pair<Call, std::string>, int> attr_calls_;
};

}  // namespace tagpolish::test

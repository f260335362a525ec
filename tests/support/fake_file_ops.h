// File calls that pass through to the system but for the failures a test
// plans, so that any step of a rewrite can be made to fail in-process.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
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

// The user attributes ("user.NAME") of files, kept in memory for fakes
// that run over a file system that keeps none (wine keeps no named
// streams, where the Windows build keeps them), so that a run can read
// back what an earlier one wrote, as it does where the system keeps them.
// A file is known by its device and inode: a hard link shares its
// attributes, a copy has none, and a rename keeps them.
class AttributeStore {
  public:
    using Id = std::pair<std::uint64_t, std::uint64_t>;
    // The names of id's attributes, each ended by a NUL.
    std::string names(const Id& id) const;
    // Each answers as the system call of its kind does, -1 with errno set.
    ssize_t get(const Id& id, const std::string& name, void* value, std::size_t size) const;
    void set(const Id& id, const std::string& name, std::string value);
    int remove(const Id& id, const std::string& name);

  private:
    mutable std::mutex mutex_;
    std::map<Id, std::map<std::string, std::string>> by_file_;
};

// store, where the file system of folder dir keeps no user attributes of
// its own; nullptr where it keeps them.
AttributeStore* unless_kept_in(const std::string& dir, AttributeStore& store);

// The attribute name of the file at path, as a fake that keeps user
// attributes in kept (or the system, when kept is nullptr) reads it: ""
// when it has none; and the attribute set so; false when it cannot be.
std::string attribute_of(const std::string& path, const char* name, AttributeStore* kept);
bool set_attribute_of(const std::string& path, const char* name, std::string_view value,
                      AttributeStore* kept);

// The workers of a run call it side by side: what it counts is guarded,
// and a test's hooks run in whichever thread makes the call.
class FakeFileOps : public SystemFileOps {
  public:
    explicit FakeFileOps(std::vector<Failure> plan = {}, AttributeStore* kept = nullptr)
        : attributes(kept), plan_(std::move(plan)) {}
    // Runs before every call, as another process might act meanwhile.
    std::function<void(Call)> before;
    // Runs before every flock, with its operation (LOCK_NB for a lock
    // taken without waiting).
    std::function<void(int operation)> before_flock;
    // Runs on what fstat and fstatat say of a file, so that a test can
    // make two files look alike.
    std::function<void(FileStat&)> restat;
    // Where set, user attributes are kept there rather than by the system.
    AttributeStore* attributes = nullptr;
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
    // Whether name is an attribute that attributes keeps, and the file's
    // identity there.
    bool kept(int fd, const char* name, AttributeStore::Id& id);
    mutable std::mutex mutex_;
    std::vector<Failure> plan_;
    std::map<Call, int> calls_;
    std::vector<Call> log_;
    std::map<std::pair<Call, std::string>, int> attr_calls_;
};

}  // namespace tagpolish::test

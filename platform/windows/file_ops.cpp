// FileOps on Windows: descriptors of the C runtime, opened by UTF-16 name
// and always in binary mode, so that CR LF and 0x1A reach the program as
// they are in the file. Writes go to the file's handle itself, so that a
// pipe whose reader has gone, a full disk and a write that a stop cut
// short are told apart as on POSIX.
//
// The calls that only a rewrite in place makes (locks, owners, modes,
// links, renames, extended attributes, names found from a folder's
// descriptor) answer ENOSYS: this build refuses -w and -r before any file
// is opened, so nothing reaches them.
#include "platform/file_ops.h"

#include <windows.h>

#include <cerrno>
#include <climits>

#include "platform/windows/utf16.h"

namespace tagpolish {
namespace {

int unavailable() {
    errno = ENOSYS;
    return -1;
}

// A name the C runtime can open from here: relative to the current folder
// or absolute. A folder's descriptor cannot stand for a folder on Windows.
bool from_here(int dirfd, const char* path) {
    if (dirfd == AT_FDCWD) return true;
    return path[0] == '\\' || path[0] == '/' || (path[0] != '\0' && path[1] == ':');
}

int errno_of(DWORD error) {
    switch (error) {
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
        case ERROR_PIPE_NOT_CONNECTED:
            return EPIPE;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_OPERATION_ABORTED:
            return EINTR;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        default:
            return EIO;
    }
}

HANDLE handle_of(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

timespec timespec_of(__time64_t seconds) {
    timespec t{};
    t.tv_sec = static_cast<time_t>(seconds);
    return t;
}

void take_stat(const struct _stat64& from, FileStat& to) {
    to = FileStat{};
    to.st_dev = static_cast<std::uint64_t>(from.st_dev);
    to.st_mode = from.st_mode;
    to.st_size = from.st_size;
    to.st_atim = timespec_of(from.st_atime);
    to.st_mtim = timespec_of(from.st_mtime);
    to.st_ctim = timespec_of(from.st_ctime);
}

// A folder opened as a file fails with EACCES; POSIX names it for what it is.
int open_failure(const std::wstring& name) {
    const int why = errno;
    if (why != EACCES) return -1;
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        errno = EISDIR;
    return -1;
}

}  // namespace

int SystemFileOps::openat(int dirfd, const char* path, int flags, std::uint32_t mode) {
    if (!from_here(dirfd, path)) return unavailable();
    const std::wstring name = utf16_of(path);
    const int fd = _wopen(name.c_str(), flags | _O_BINARY, static_cast<int>(mode & 0600));
    return fd >= 0 ? fd : open_failure(name);
}

int SystemFileOps::close(int fd) {
    return _close(fd);
}

int SystemFileOps::faccessat(int dirfd, const char* path, int mode, int) {
    if (!from_here(dirfd, path)) return unavailable();
    // Windows has no execute bit to ask about.
    return _waccess(utf16_of(path).c_str(), mode & 06);
}

int SystemFileOps::fstatat(int dirfd, const char* path, FileStat* st, int) {
    if (!from_here(dirfd, path)) return unavailable();
    struct _stat64 got {};
    if (_wstat64(utf16_of(path).c_str(), &got) != 0) return -1;
    take_stat(got, *st);
    return 0;
}

int SystemFileOps::fstat(int fd, FileStat* st) {
    struct _stat64 got {};
    if (_fstat64(fd, &got) != 0) return -1;
    take_stat(got, *st);
    return 0;
}

ssize_t SystemFileOps::readlinkat(int, const char*, char*, std::size_t) {
    return unavailable();
}

int SystemFileOps::name_to_handle_at(int, const char*, struct file_handle*, int*, int) {
    return unavailable();
}

int SystemFileOps::flock(int, int) {
    return unavailable();
}

ssize_t SystemFileOps::read(int fd, void* data, std::size_t size) {
    const unsigned count = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
    return _read(fd, data, count);
}

// The runtime has no positioned read; the descriptor is the calling
// thread's own, so moving its position and putting it back is safe.
ssize_t SystemFileOps::pread(int fd, void* data, std::size_t size, std::int64_t offset) {
    const std::int64_t was = _lseeki64(fd, 0, SEEK_CUR);
    if (was < 0 || _lseeki64(fd, offset, SEEK_SET) < 0) return -1;
    const ssize_t got = read(fd, data, size);
    const int why = errno;
    if (_lseeki64(fd, was, SEEK_SET) < 0 && got >= 0) return -1;
    errno = why;
    return got;
}

std::int64_t SystemFileOps::lseek(int fd, std::int64_t offset, int whence) {
    return _lseeki64(fd, offset, whence);
}

ssize_t SystemFileOps::write(int fd, const void* data, std::size_t size) {
    const HANDLE h = handle_of(fd);
    if (h == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    const DWORD count = size > INT_MAX ? INT_MAX : static_cast<DWORD>(size);
    DWORD wrote = 0;
    if (!WriteFile(h, data, count, &wrote, nullptr)) {
        errno = errno_of(GetLastError());
        return -1;
    }
    return static_cast<ssize_t>(wrote);
}

// One write per slice: a short write ends it, as a short writev would.
ssize_t SystemFileOps::writev(int fd, const iovec* iov, int count) {
    ssize_t total = 0;
    for (int i = 0; i < count; ++i) {
        const ssize_t wrote = write(fd, iov[i].iov_base, iov[i].iov_len);
        if (wrote < 0) return total > 0 ? total : -1;
        total += wrote;
        if (static_cast<std::size_t>(wrote) < iov[i].iov_len) break;
    }
    return total;
}

int SystemFileOps::fsync(int fd) {
    if (FlushFileBuffers(handle_of(fd))) return 0;
    errno = errno_of(GetLastError());
    return -1;
}

int SystemFileOps::fdatasync(int fd) {
    return fsync(fd);
}

int SystemFileOps::syncfs(int) {
    return unavailable();
}

int SystemFileOps::fchown(int, std::uint32_t, std::uint32_t) {
    return unavailable();
}

int SystemFileOps::fchmod(int, std::uint32_t) {
    return unavailable();
}

int SystemFileOps::futimens(int, const struct timespec*) {
    return unavailable();
}

ssize_t SystemFileOps::flistxattr(int, char*, std::size_t) {
    return unavailable();
}

ssize_t SystemFileOps::fgetxattr(int, const char*, void*, std::size_t) {
    return unavailable();
}

int SystemFileOps::fsetxattr(int, const char*, const void*, std::size_t, int) {
    return unavailable();
}

int SystemFileOps::fremovexattr(int, const char*) {
    return unavailable();
}

int SystemFileOps::linkat(int, const char*, int, const char*, int) {
    return unavailable();
}

int SystemFileOps::renameat(int, const char*, int, const char*, unsigned) {
    return unavailable();
}

int SystemFileOps::unlinkat(int, const char*, int) {
    return unavailable();
}

}  // namespace tagpolish

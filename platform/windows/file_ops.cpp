// FileOps on Windows: the POSIX calls the program makes, each given its
// meaning on Windows, on descriptors of the C runtime that wrap handles of
// the system. Names are opened by UTF-16 name, relative to a folder's
// descriptor through the folder's own name, and shared for reading,
// writing and deleting, so that a page this program holds open can still
// be replaced, as on POSIX. Data goes through the handle itself, so that a
// pipe whose reader has gone, a full disk and a write that a stop cut
// short are told apart as on POSIX.
//
// Owners, modes, attributes and the security descriptor are in
// file_security.cpp.
#include "platform/file_ops.h"

#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "platform/run_stop.h"
#include "platform/windows/file_handles.h"
#include "platform/windows/file_security.h"
#include "platform/windows/utf16.h"

namespace tagpolish {
namespace {

// The classes of Windows 10's renames and deletes that leave open handles
// be, which headers for older systems leave out.
constexpr auto rename_info_ex = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
constexpr auto disposition_info_ex = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD rename_ignore_read_only = 0x40;
constexpr DWORD delete_ignore_read_only = 0x10;

// What an open gives for the access it asks, from the most to the least:
// READ_CONTROL lets fstat name the owner, the rest lets a new file take
// the old one's owner and ACL. A file that grants less is still opened.
std::vector<DWORD> access_ladder(int flags) {
    if (flags & O_PATH) return {FILE_READ_ATTRIBUTES | READ_CONTROL, FILE_READ_ATTRIBUTES};
    DWORD data = GENERIC_READ;
    if ((flags & O_ACCMODE) == O_WRONLY) data = GENERIC_WRITE;
    if ((flags & O_ACCMODE) == O_RDWR) data = GENERIC_READ | GENERIC_WRITE;
    const DWORD look = data | READ_CONTROL | FILE_READ_ATTRIBUTES;
    if (data == GENERIC_READ) return {look, data};
    const DWORD set = FILE_WRITE_ATTRIBUTES | WRITE_DAC;
    return {look | set | WRITE_OWNER, look | set, look, data};
}

DWORD disposition_of(int flags) {
    if (flags & O_CREAT) {
        if (flags & O_EXCL) return CREATE_NEW;
        return (flags & O_TRUNC) ? CREATE_ALWAYS : OPEN_ALWAYS;
    }
    return (flags & O_TRUNC) ? TRUNCATE_EXISTING : OPEN_EXISTING;
}

HANDLE open_handle(const std::wstring& name, int flags, std::uint32_t mode, bool as_link) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    DWORD attributes = FILE_FLAG_BACKUP_SEMANTICS;
    if (as_link) attributes |= FILE_FLAG_OPEN_REPARSE_POINT;
    if ((flags & O_CREAT) && !(mode & 0200)) attributes |= FILE_ATTRIBUTE_READONLY;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (const DWORD access : access_ladder(flags)) {
        h = CreateFileW(name.c_str(), access, share, nullptr, disposition_of(flags), attributes,
                        nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED) break;
    }
    return h;
}

struct Kind {
    bool folder = false;
    bool link = false;
};

Kind kind_of(HANDLE h) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    Kind kind;
    if (!GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag)) return kind;
    kind.folder = (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    kind.link =
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
    return kind;
}

// Whether h, opened as itself, is a reparse point that is no link (a
// placeholder of a cloud folder, a deduplicated file), which only the
// system's filter may open.
bool other_reparse_point(HANDLE h, const Kind& kind) {
    BY_HANDLE_FILE_INFORMATION info{};
    return !kind.link && GetFileInformationByHandle(h, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Refuses what POSIX would refuse of the thing opened.
int refusal(const Kind& kind, int flags) {
    if ((flags & O_DIRECTORY) && (!kind.folder || kind.link)) return ENOTDIR;
    if (flags & O_PATH) return 0;
    if (kind.link) return ELOOP;
    if (kind.folder && !(flags & O_DIRECTORY)) return EISDIR;
    return 0;
}

// The descriptors a lock is held on, so that closing one lets go of it at
// once (the system would only in its own time). A descriptor closed
// elsewhere may leave its number here: the number only ever asks for an
// unlock, which a handle that holds no lock refuses harmlessly.
std::mutex locks_mutex;
std::set<int> locked;

bool holds_lock(int fd) {
    const std::lock_guard<std::mutex> hold(locks_mutex);
    return locked.count(fd) != 0;
}

void note_lock(int fd, bool held) {
    const std::lock_guard<std::mutex> hold(locks_mutex);
    if (held)
        locked.insert(fd);
    else
        locked.erase(fd);
}

constexpr DWORD whole = MAXDWORD;  // the lock covers every byte, and past the end

bool try_lock(HANDLE h, int operation) {
    OVERLAPPED at{};
    const DWORD flags =
        LOCKFILE_FAIL_IMMEDIATELY | ((operation & LOCK_EX) ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(h, flags, 0, whole, whole, &at) != 0;
}

void unlock(HANDLE h) {
    OVERLAPPED at{};
    UnlockFileEx(h, 0, whole, whole, &at);
}

}  // namespace

int SystemFileOps::openat(int dirfd, const char* path, int flags, std::uint32_t mode) {
    if (flags & O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    std::wstring name;
    if (!path_at(dirfd, path, name)) return -1;
    HANDLE h = open_handle(name, flags, mode, (flags & (O_NOFOLLOW | O_PATH)) != 0);
    if (h == INVALID_HANDLE_VALUE) return fail_last();
    Kind kind = kind_of(h);
    if (other_reparse_point(h, kind)) {
        CloseHandle(h);
        h = open_handle(name, flags, mode, false);
        if (h == INVALID_HANDLE_VALUE) return fail_last();
        kind = kind_of(h);
    }
    if (const int refused = refusal(kind, flags)) {
        CloseHandle(h);
        errno = refused;
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h),
                                   (flags & (O_ACCMODE | O_APPEND)) | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        errno = EMFILE;
    }
    return fd;
}

int SystemFileOps::close(int fd) {
    if (holds_lock(fd)) {
        unlock(handle_of(fd));
        note_lock(fd, false);
    }
    return _close(fd);
}

int SystemFileOps::faccessat(int dirfd, const char* path, int mode, int) {
    std::wstring name;
    if (!path_at(dirfd, path, name)) return -1;
    // Windows has no execute bit to ask about.
    return _waccess(name.c_str(), mode & 06);
}

// Calls made of other calls name this class's own, not what a subclass
// puts in their place: one that counts or fails calls sees each once, as
// it asked for it.
int SystemFileOps::fstatat(int dirfd, const char* path, FileStat* st, int flags) {
    const int open_flags = O_PATH | ((flags & AT_SYMLINK_NOFOLLOW) ? O_NOFOLLOW : 0);
    const int fd = SystemFileOps::openat(dirfd, path, open_flags, 0);
    if (fd < 0) return -1;
    const int result = SystemFileOps::fstat(fd, st);
    const int why = errno;
    SystemFileOps::close(fd);
    errno = why;
    return result;
}

namespace {

void take_stat(const struct _stat64& from, FileStat& to) {
    to = FileStat{};
    to.st_dev = static_cast<std::uint64_t>(from.st_dev);
    to.st_mode = from.st_mode;
    to.st_size = from.st_size;
    to.st_atim.tv_sec = static_cast<time_t>(from.st_atime);
    to.st_mtim.tv_sec = static_cast<time_t>(from.st_mtime);
    to.st_ctim.tv_sec = static_cast<time_t>(from.st_ctime);
}

std::uint32_t mode_of(DWORD attributes, const Kind& kind) {
    if (kind.link) return S_IFLNK | 0777;
    if (kind.folder) return S_IFDIR | 0755;
    return S_IFREG | ((attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644);
}

}  // namespace

// Pipes, consoles and devices are described by the runtime; a file on a
// disk by its volume and index, its attributes and its owner.
int SystemFileOps::fstat(int fd, FileStat* st) {
    const HANDLE h = handle_of(fd);
    if (h == INVALID_HANDLE_VALUE) return fail_with(ERROR_INVALID_HANDLE);
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        !GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) {
        struct _stat64 got {};
        if (_fstat64(fd, &got) != 0) return -1;
        take_stat(got, *st);
        return 0;
    }
    *st = FileStat{};
    st->st_dev = info.dwVolumeSerialNumber;
    st->st_ino = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    st->st_mode = mode_of(info.dwFileAttributes, kind_of(h));
    st->st_size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                            info.nFileSizeLow);
    st->st_atim = timespec_of(basic.LastAccessTime);
    st->st_mtim = timespec_of(basic.LastWriteTime);
    st->st_ctim = timespec_of(basic.ChangeTime);
    owners_of(h, st->st_uid, st->st_gid);
    return 0;
}

namespace {

// The parts of the reparse data of a link that the program reads.
struct LinkData {
    ULONG tag;
    USHORT data_length;
    USHORT reserved;
    USHORT substitute_offset;
    USHORT substitute_length;
    USHORT print_offset;
    USHORT print_length;
};

// The target of a link: the name it shows, else the name the system
// follows, without the "\??\" of the system's own names.
bool link_target(HANDLE h, std::wstring& target) {
    std::vector<unsigned char> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD got = 0;
    if (!DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                         static_cast<DWORD>(data.size()), &got, nullptr))
        return fail_last() == 0;
    LinkData link{};
    if (got < sizeof link) return fail_with(ERROR_NOT_A_REPARSE_POINT) == 0;
    std::memcpy(&link, data.data(), sizeof link);
    std::size_t names = sizeof link;
    if (link.tag == IO_REPARSE_TAG_SYMLINK)
        names += sizeof(ULONG);  // the symbolic link's flags
    else if (link.tag != IO_REPARSE_TAG_MOUNT_POINT)
        return fail_with(ERROR_NOT_A_REPARSE_POINT) == 0;
    const bool shown = link.print_length != 0;
    const std::size_t at = names + (shown ? link.print_offset : link.substitute_offset);
    const std::size_t length = shown ? link.print_length : link.substitute_length;
    if (at + length > got) return fail_with(ERROR_NOT_A_REPARSE_POINT) == 0;
    target.assign(length / sizeof(wchar_t), L'\0');
    std::memcpy(target.data(), data.data() + at, target.size() * sizeof(wchar_t));
    if (target.starts_with(L"\\??\\")) target.erase(0, 4);
    return true;
}

}  // namespace

ssize_t SystemFileOps::readlinkat(int dirfd, const char* path, char* data, std::size_t size) {
    Fd own;
    int fd = dirfd;
    if (path[0] != '\0') {
        own.reset(SystemFileOps::openat(dirfd, path, O_PATH | O_NOFOLLOW, 0));
        if (!own) return -1;
        fd = own.get();
    }
    std::wstring target;
    if (!link_target(handle_of(fd), target)) return -1;
    const std::string text = utf8_of(target);
    const std::size_t n = text.size() < size ? text.size() : size;
    std::memcpy(data, text.data(), n);
    return static_cast<ssize_t>(n);
}

// The handle is the volume's serial number and the file's 128-bit id.
int SystemFileOps::name_to_handle_at(int dirfd, const char* path, struct file_handle* handle,
                                     int* mount_id, int flags) {
    if (path[0] != '\0' || !(flags & AT_EMPTY_PATH)) return fail_with(ERROR_NOT_SUPPORTED);
    FILE_ID_INFO id{};
    if (!GetFileInformationByHandleEx(handle_of(dirfd), FileIdInfo, &id, sizeof id))
        return fail_with(ERROR_NOT_SUPPORTED);
    constexpr std::size_t size = sizeof id.VolumeSerialNumber + sizeof id.FileId;
    if (handle->handle_bytes < size) {
        handle->handle_bytes = size;
        errno = EOVERFLOW;
        return -1;
    }
    auto* bytes = reinterpret_cast<unsigned char*>(handle) + sizeof(file_handle);
    std::memcpy(bytes, &id.VolumeSerialNumber, sizeof id.VolumeSerialNumber);
    std::memcpy(bytes + sizeof id.VolumeSerialNumber, &id.FileId, sizeof id.FileId);
    handle->handle_bytes = size;
    handle->handle_type = 1;
    *mount_id = 0;
    return 0;
}

// Locks on Windows are taken without waiting: a wait in the system could
// not be ended by a stop. A lock that another holds is asked for again for
// a short while; then EINTR sends the caller round its own loop, which
// looks for a stop.
int SystemFileOps::flock(int fd, int operation) {
    const HANDLE h = handle_of(fd);
    if (operation & LOCK_UN) {
        if (holds_lock(fd)) unlock(h);
        note_lock(fd, false);
        return 0;
    }
    for (int tries = 0;; ++tries) {
        if (try_lock(h, operation)) {
            note_lock(fd, true);
            return 0;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) return fail_with(error);
        if (operation & LOCK_NB) return fail_with(ERROR_LOCK_VIOLATION);
        if (tries == 10 || stop_requested()) {
            errno = EINTR;
            return -1;
        }
        Sleep(20);
    }
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
    const ssize_t got = SystemFileOps::read(fd, data, size);
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
    if (h == INVALID_HANDLE_VALUE) return fail_with(ERROR_INVALID_HANDLE);
    const DWORD count = size > INT_MAX ? INT_MAX : static_cast<DWORD>(size);
    DWORD wrote = 0;
    if (!WriteFile(h, data, count, &wrote, nullptr)) return fail_last();
    return static_cast<ssize_t>(wrote);
}

// One write per slice: a short write ends it, as a short writev would.
ssize_t SystemFileOps::writev(int fd, const iovec* iov, int count) {
    ssize_t total = 0;
    for (int i = 0; i < count; ++i) {
        const ssize_t wrote = SystemFileOps::write(fd, iov[i].iov_base, iov[i].iov_len);
        if (wrote < 0) return total > 0 ? total : -1;
        total += wrote;
        if (static_cast<std::size_t>(wrote) < iov[i].iov_len) break;
    }
    return total;
}

// A folder's entries are the volume's own records, which its journal
// keeps: a folder cannot be flushed, as on some POSIX file systems.
int SystemFileOps::fsync(int fd) {
    const HANDLE h = handle_of(fd);
    if (kind_of(h).folder) return fail_with(ERROR_INVALID_PARAMETER);
    if (FlushFileBuffers(h)) return 0;
    return fail_last();
}

int SystemFileOps::fdatasync(int fd) {
    return SystemFileOps::fsync(fd);
}

// Writing out a whole volume takes an administrator's handle on it: each
// file is flushed on its own instead.
int SystemFileOps::syncfs(int) {
    return fail_with(ERROR_NOT_SUPPORTED);
}

// AT_EMPTY_PATH links the file open as olddirfd, by the name it has now.
int SystemFileOps::linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                          int flags) {
    std::wstring from, to;
    const bool by_handle = (flags & AT_EMPTY_PATH) && oldpath[0] == '\0';
    if (by_handle ? !name_of_handle(handle_of(olddirfd), from) : !path_at(olddirfd, oldpath, from))
        return -1;
    if (!path_at(newdirfd, newpath, to)) return -1;
    if (!CreateHardLinkW(to.c_str(), from.c_str(), nullptr)) return fail_last();
    return 0;
}

namespace {

// A rename that replaces at once, whoever holds the old file open (the
// open handles keep the file they opened); where the volume or the system
// is too old for it, a move that replaces, then the system's replace.
bool posix_rename(const std::wstring& from, const std::wstring& to, DWORD& error) {
    const HANDLE h = CreateFileW(
        from.c_str(), DELETE | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    const std::size_t name_at = offsetof(FILE_RENAME_INFO, FileName);
    const std::size_t bytes = to.size() * sizeof(wchar_t);
    std::vector<unsigned char> info(name_at + bytes + sizeof(wchar_t), 0);
    const DWORD flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS |
                        rename_ignore_read_only;
    std::memcpy(info.data(), &flags, sizeof flags);
    const DWORD length = static_cast<DWORD>(bytes);
    std::memcpy(info.data() + offsetof(FILE_RENAME_INFO, FileNameLength), &length, sizeof length);
    std::memcpy(info.data() + name_at, to.data(), bytes);
    const bool done = SetFileInformationByHandle(h, rename_info_ex, info.data(),
                                                 static_cast<DWORD>(info.size())) != 0;
    error = done ? 0 : GetLastError();
    CloseHandle(h);
    return done;
}

bool rename_unsupported(DWORD error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED;
}

int replace(const std::wstring& from, const std::wstring& to) {
    DWORD error = 0;
    if (posix_rename(from, to, error)) return 0;
    if (!rename_unsupported(error)) return fail_with(error);
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return fail_with(error);
    if (ReplaceFileW(to.c_str(), from.c_str(), nullptr,
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                     nullptr))
        return 0;
    return fail_with(error);
}

}  // namespace

int SystemFileOps::renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                            unsigned flags) {
    std::wstring from, to;
    if (!path_at(olddirfd, oldpath, from) || !path_at(newdirfd, newpath, to)) return -1;
    if (!(flags & RENAME_NOREPLACE)) return replace(from, to);
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return fail_last();
    return 0;
}

namespace {

// A name removed at once, even while others hold the file open, as on
// POSIX; where the volume cannot, the system's delete, which a read-only
// file refuses until it is writable.
bool posix_delete(const std::wstring& name, DWORD& error) {
    const HANDLE h = CreateFileW(
        name.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    FILE_DISPOSITION_INFO_EX info{};
    info.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
                 delete_ignore_read_only;
    const bool done = SetFileInformationByHandle(h, disposition_info_ex, &info, sizeof info) != 0;
    error = done ? 0 : GetLastError();
    CloseHandle(h);
    return done;
}

int remove_file(const std::wstring& name) {
    DWORD error = 0;
    if (posix_delete(name, error)) return 0;
    if (!rename_unsupported(error) && error != ERROR_ACCESS_DENIED) return fail_with(error);
    if (DeleteFileW(name.c_str())) return 0;
    error = GetLastError();
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & FILE_ATTRIBUTE_READONLY))
        return fail_with(error);
    SetFileAttributesW(name.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (DeleteFileW(name.c_str())) return 0;
    error = GetLastError();
    SetFileAttributesW(name.c_str(), attributes);
    return fail_with(error);
}

}  // namespace

int SystemFileOps::unlinkat(int dirfd, const char* path, int flags) {
    std::wstring name;
    if (!path_at(dirfd, path, name)) return -1;
    if (flags & AT_REMOVEDIR) return RemoveDirectoryW(name.c_str()) ? 0 : fail_last();
    return remove_file(name);
}

}  // namespace tagpolish

#include "platform/windows/file_handles.h"

#include <io.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "platform/file_ops.h"
#include "platform/windows/utf16.h"

namespace tagpolish {

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
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return ENOENT;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_SHARING_VIOLATION:
            return EBUSY;
        case ERROR_LOCK_VIOLATION:
            return EWOULDBLOCK;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_DIR_NOT_EMPTY:
            return ENOTEMPTY;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_TOO_MANY_LINKS:
            return EMLINK;
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_FUNCTION:
        case ERROR_CALL_NOT_IMPLEMENTED:
            return ENOTSUP;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_CANT_RESOLVE_FILENAME:
            return ELOOP;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_PRIVILEGE_NOT_HELD:
        case ERROR_INVALID_OWNER:
            return EPERM;
        case ERROR_INVALID_PARAMETER:
        case ERROR_INVALID_NAME:
        case ERROR_NOT_A_REPARSE_POINT:
            return EINVAL;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        default:
            return EIO;
    }
}

int fail_with(DWORD error) {
    errno = errno_of(error);
    return -1;
}

int fail_last() {
    return fail_with(GetLastError());
}

HANDLE handle_of(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

namespace {

bool separator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool absolute(std::string_view path) {
    return (!path.empty() && (path[0] == '\\' || path[0] == '/')) ||
           (path.size() >= 2 && path[1] == ':');
}

// Takes the components of relative into folder (a long name without a
// trailing separator) one by one: the folder's own name has no links left
// in it, so ".." is its parent by name, as the system would find it.
void join(std::wstring& folder, std::wstring_view relative) {
    const std::size_t root = folder.find(L'\\', folder.rfind(L':') + 1);
    while (!relative.empty()) {
        std::size_t end = 0;
        while (end < relative.size() && !separator(relative[end])) ++end;
        const std::wstring_view part = relative.substr(0, end);
        relative.remove_prefix(end < relative.size() ? end + 1 : end);
        if (part.empty() || part == L".") continue;
        if (part == L"..") {
            const std::size_t last = folder.rfind(L'\\');
            if (last != std::wstring::npos && root != std::wstring::npos && last >= root)
                folder.resize(last == root ? root + 1 : last);
            continue;
        }
        if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
        folder.append(part);
    }
}

// A name of the current folder past the length Windows takes otherwise
// is made whole and given the long form.
std::wstring long_form(std::wstring name) {
    if (name.size() < MAX_PATH - 12 || name.starts_with(L"\\\\?\\")) return name;
    const DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (size == 0) return name;
    std::wstring full(size, L'\0');
    const DWORD got = GetFullPathNameW(name.c_str(), size, full.data(), nullptr);
    if (got == 0 || got >= size) return name;
    full.resize(got);
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace

bool name_of_handle(HANDLE h, std::wstring& name) {
    std::vector<wchar_t> text(MAX_PATH);
    for (;;) {
        const DWORD got = GetFinalPathNameByHandleW(h, text.data(), static_cast<DWORD>(text.size()),
                                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (got == 0) return fail_last() == 0;
        if (got < text.size()) {
            name.assign(text.data(), got);
            return true;
        }
        text.resize(got + 1);
    }
}

bool path_at(int dirfd, const char* path, std::wstring& name) {
    const std::string_view given(path);
    if (dirfd == AT_FDCWD || absolute(given)) {
        name = long_form(given.empty() ? L"." : utf16_of(given));
        return true;
    }
    if (!name_of_handle(handle_of(dirfd), name)) return false;
    while (name.size() > 1 && name.back() == L'\\' && name[name.size() - 2] != L':')
        name.pop_back();
    join(name, utf16_of(given));
    return true;
}

namespace {

// Between 1601 and 1970, in the 100 ns steps of a FILETIME.
constexpr long long epoch_offset = 116444736000000000LL;

}  // namespace

timespec timespec_of(LARGE_INTEGER filetime) {
    const long long since = filetime.QuadPart - epoch_offset;
    long long seconds = since / 10000000;
    long long rest = since % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    timespec t{};
    t.tv_sec = static_cast<time_t>(seconds);
    t.tv_nsec = static_cast<long>(rest * 100);
    return t;
}

LARGE_INTEGER filetime_of(const timespec& t) {
    LARGE_INTEGER filetime{};
    filetime.QuadPart =
        static_cast<long long>(t.tv_sec) * 10000000 + t.tv_nsec / 100 + epoch_offset;
    return filetime;
}

}  // namespace tagpolish

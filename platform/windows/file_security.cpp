// FileOps on Windows, the calls that carry what a file is beyond its
// bytes to the file that replaces it: the owner and group of its security
// descriptor (fchown), the read-only attribute that stands for its mode
// (fchmod), its times (futimens), and, as extended attributes, its access
// control list, its other attributes, its creation time and its named
// streams:
//   system.ntfs_acl      the security descriptor's DACL
//   system.ntfs_attrib   the attributes, four bytes
//   system.ntfs_crtime   the creation time, a FILETIME's eight bytes
//   user.NAME            the stream NAME
#include "platform/windows/file_security.h"

#include <aclapi.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_ops.h"
#include "platform/windows/file_handles.h"
#include "platform/windows/sids.h"
#include "platform/windows/utf16.h"

namespace tagpolish {
namespace {

// A security descriptor the system gave, freed when it goes.
struct Descriptor {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ~Descriptor() { LocalFree(sd); }
};

bool basic_info(HANDLE h, FILE_BASIC_INFO& basic) {
    return GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) != 0;
}

// Sets what basic holds; a time of 0 leaves that time as it is.
int set_basic_info(HANDLE h, FILE_BASIC_INFO& basic) {
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic) ? 0 : fail_last();
}

}  // namespace

void owners_of(HANDLE h, std::uint32_t& owner, std::uint32_t& group) {
    owner = group = no_sid_id;
    Descriptor d;
    PSID owner_sid = nullptr, group_sid = nullptr;
    if (GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
                        &owner_sid, &group_sid, nullptr, nullptr, &d.sd) != ERROR_SUCCESS)
        return;
    if (owner_sid != nullptr) owner = id_of_sid(owner_sid);
    if (group_sid != nullptr) group = id_of_sid(group_sid);
}

// Only what differs is set: giving a file the owner it has needs no right
// to give owners.
int SystemFileOps::fchown(int fd, std::uint32_t uid, std::uint32_t gid) {
    const HANDLE h = handle_of(fd);
    std::uint32_t owner = no_sid_id, group = no_sid_id;
    owners_of(h, owner, group);
    std::vector<unsigned char> owner_sid, group_sid;
    SECURITY_INFORMATION what = 0;
    if (uid != no_sid_id && uid != owner) {
        if (!sid_of_id(uid, owner_sid)) return fail_with(ERROR_INVALID_OWNER);
        what |= OWNER_SECURITY_INFORMATION;
    }
    if (gid != no_sid_id && gid != group) {
        if (!sid_of_id(gid, group_sid)) return fail_with(ERROR_INVALID_OWNER);
        what |= GROUP_SECURITY_INFORMATION;
    }
    if (what == 0) return 0;
    const DWORD error =
        SetSecurityInfo(h, SE_FILE_OBJECT, what, owner_sid.empty() ? nullptr : owner_sid.data(),
                        group_sid.empty() ? nullptr : group_sid.data(), nullptr, nullptr);
    if (error == ERROR_ACCESS_DENIED) return fail_with(ERROR_INVALID_OWNER);
    return error == ERROR_SUCCESS ? 0 : fail_with(error);
}

// A file nobody may write is read-only; the rest of a mode has no meaning
// on Windows.
int SystemFileOps::fchmod(int fd, std::uint32_t mode) {
    const HANDLE h = handle_of(fd);
    FILE_BASIC_INFO basic{};
    if (!basic_info(h, basic)) return fail_last();
    const DWORD was = basic.FileAttributes;
    if (mode & 0222)
        basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
    else
        basic.FileAttributes |= FILE_ATTRIBUTE_READONLY;
    if (basic.FileAttributes == was) return 0;
    basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;
    basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
    return set_basic_info(h, basic);
}

int SystemFileOps::futimens(int fd, const struct timespec times[2]) {
    FILE_BASIC_INFO basic{};
    basic.LastAccessTime = filetime_of(times[0]);
    basic.LastWriteTime = filetime_of(times[1]);
    const HANDLE h = handle_of(fd);
    FILE_BASIC_INFO now{};
    if (!basic_info(h, now)) return fail_last();
    basic.FileAttributes = now.FileAttributes;
    return set_basic_info(h, basic);
}

namespace {

constexpr std::string_view acl_attr = "system.ntfs_acl";
constexpr std::string_view attrib_attr = "system.ntfs_attrib";
constexpr std::string_view crtime_attr = "system.ntfs_crtime";
constexpr std::string_view user_prefix = "user.";

// The attributes a file may be given; the others say what the file is.
constexpr DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                           FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;

// Answers what an xattr call answers for value: its size, or ERANGE when
// the caller's room is too small (room 0 asks for the size).
ssize_t give(const void* value, std::size_t size, void* room, std::size_t room_size) {
    if (room_size == 0) return static_cast<ssize_t>(size);
    if (room_size < size) {
        errno = ERANGE;
        return -1;
    }
    std::memcpy(room, value, size);
    return static_cast<ssize_t>(size);
}

// The name of the stream that holds the user attribute name. A volume
// without named streams has no user attributes: there the name would be
// taken for a file's own (as FAT, or a system that emulates Windows, may).
bool stream_name(int fd, std::string_view name, std::wstring& stream) {
    DWORD flags = 0;
    if (!GetVolumeInformationByHandleW(handle_of(fd), nullptr, 0, nullptr, nullptr, &flags, nullptr,
                                       0) ||
        !(flags & FILE_NAMED_STREAMS)) {
        errno = ENOTSUP;
        return false;
    }
    if (!name_of_handle(handle_of(fd), stream)) return false;
    stream += L':';
    stream += utf16_of(name.substr(user_prefix.size()));
    return true;
}

// A volume without named streams, or a system that does not keep them,
// is a file system without user attributes.
int stream_failure() {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
        errno = ENODATA;
        return -1;
    }
    if (error == ERROR_INVALID_NAME || error == ERROR_INVALID_PARAMETER ||
        error == ERROR_NOT_SUPPORTED || error == ERROR_PATH_NOT_FOUND) {
        errno = ENOTSUP;
        return -1;
    }
    return fail_with(error);
}

ssize_t read_stream(int fd, std::string_view name, void* value, std::size_t size) {
    std::wstring stream;
    if (!stream_name(fd, name, stream)) return -1;
    const HANDLE h = CreateFileW(stream.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return stream_failure();
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    CloseHandle(h);
    return give(text.data(), text.size(), value, size);
}

int write_stream(int fd, std::string_view name, const void* value, std::size_t size) {
    std::wstring stream;
    if (!stream_name(fd, name, stream)) return -1;
    const HANDLE h = CreateFileW(stream.c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return stream_failure();
    DWORD wrote = 0;
    const bool done = WriteFile(h, value, static_cast<DWORD>(size), &wrote, nullptr) &&
                      wrote == size && FlushFileBuffers(h);
    const DWORD error = GetLastError();
    CloseHandle(h);
    return done ? 0 : fail_with(error);
}

// The names of the file's named streams, as user attributes; none where
// the system lists none.
void add_streams(HANDLE h, std::string& names) {
    std::vector<unsigned char> info(64 * 1024);
    if (!GetFileInformationByHandleEx(h, FileStreamInfo, info.data(),
                                      static_cast<DWORD>(info.size())))
        return;
    for (std::size_t at = 0;;) {
        FILE_STREAM_INFO entry{};
        std::memcpy(&entry, info.data() + at, offsetof(FILE_STREAM_INFO, StreamName));
        std::wstring name(entry.StreamNameLength / sizeof(wchar_t), L'\0');
        std::memcpy(name.data(), info.data() + at + offsetof(FILE_STREAM_INFO, StreamName),
                    name.size() * sizeof(wchar_t));
        // ":NAME:$DATA"; the file's own data is "::$DATA".
        if (name.size() > 7 && name.ends_with(L":$DATA")) {
            names += user_prefix;
            names += utf8_of(std::wstring_view(name).substr(1, name.size() - 7));
            names += '\0';
        }
        if (entry.NextEntryOffset == 0) break;
        at += entry.NextEntryOffset;
    }
}

ssize_t read_acl(HANDLE h, void* value, std::size_t size) {
    Descriptor d;
    const DWORD error = GetSecurityInfo(h, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                        nullptr, nullptr, nullptr, &d.sd);
    if (error != ERROR_SUCCESS) return fail_with(error);
    return give(d.sd, GetSecurityDescriptorLength(d.sd), value, size);
}

// An ACL that its file inherited is given as one to inherit again, so the
// new file takes what its folder gives now; one set on the file itself is
// kept as it is.
int write_acl(HANDLE h, const void* value, std::size_t size) {
    if (size < sizeof(SECURITY_DESCRIPTOR_RELATIVE) ||
        !IsValidSecurityDescriptor(const_cast<void*>(value)))
        return fail_with(ERROR_INVALID_PARAMETER);
    const auto sd = static_cast<PSECURITY_DESCRIPTOR>(const_cast<void*>(value));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) ||
        !GetSecurityDescriptorControl(sd, &control, &revision))
        return fail_last();
    const SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                       : UNPROTECTED_DACL_SECURITY_INFORMATION);
    const DWORD error = SetSecurityInfo(h, SE_FILE_OBJECT, what, nullptr, nullptr,
                                        present ? dacl : nullptr, nullptr);
    return error == ERROR_SUCCESS ? 0 : fail_with(error);
}

}  // namespace

ssize_t SystemFileOps::flistxattr(int fd, char* list, std::size_t size) {
    std::string names;
    for (const std::string_view name : {acl_attr, attrib_attr, crtime_attr}) {
        names += name;
        names += '\0';
    }
    add_streams(handle_of(fd), names);
    return give(names.data(), names.size(), list, size);
}

ssize_t SystemFileOps::fgetxattr(int fd, const char* name, void* value, std::size_t size) {
    const std::string_view attr(name);
    const HANDLE h = handle_of(fd);
    if (attr == acl_attr) return read_acl(h, value, size);
    if (attr.starts_with(user_prefix)) return read_stream(fd, attr, value, size);
    FILE_BASIC_INFO basic{};
    if (attr == attrib_attr || attr == crtime_attr) {
        if (!basic_info(h, basic)) return fail_last();
        if (attr == attrib_attr) {
            const DWORD attributes = basic.FileAttributes;
            return give(&attributes, sizeof attributes, value, size);
        }
        return give(&basic.CreationTime.QuadPart, sizeof basic.CreationTime.QuadPart, value, size);
    }
    errno = ENODATA;
    return -1;
}

// The read-only attribute is left to fchmod, which follows.
int SystemFileOps::fsetxattr(int fd, const char* name, const void* value, std::size_t size, int) {
    const std::string_view attr(name);
    const HANDLE h = handle_of(fd);
    if (attr == acl_attr) return write_acl(h, value, size);
    if (attr.starts_with(user_prefix)) return write_stream(fd, attr, value, size);
    if (attr != attrib_attr && attr != crtime_attr) return fail_with(ERROR_NOT_SUPPORTED);
    FILE_BASIC_INFO now{};
    if (!basic_info(h, now)) return fail_last();
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = now.FileAttributes;
    if (attr == attrib_attr) {
        DWORD given = 0;
        if (size != sizeof given) return fail_with(ERROR_INVALID_PARAMETER);
        std::memcpy(&given, value, sizeof given);
        const DWORD kept = FILE_ATTRIBUTE_READONLY & now.FileAttributes;
        basic.FileAttributes =
            (now.FileAttributes & ~settable) | (given & settable & ~FILE_ATTRIBUTE_READONLY) | kept;
    } else {
        if (size != sizeof basic.CreationTime.QuadPart) return fail_with(ERROR_INVALID_PARAMETER);
        std::memcpy(&basic.CreationTime.QuadPart, value, size);
    }
    return set_basic_info(h, basic);
}

int SystemFileOps::fremovexattr(int fd, const char* name) {
    const std::string_view attr(name);
    if (!attr.starts_with(user_prefix)) {
        errno = ENODATA;
        return -1;
    }
    std::wstring stream;
    if (!stream_name(fd, attr, stream)) return -1;
    return DeleteFileW(stream.c_str()) ? 0 : stream_failure();
}

}  // namespace tagpolish

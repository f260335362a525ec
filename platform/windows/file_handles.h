// What the Windows side of FileOps shares between its sources: the
// handle behind a runtime descriptor, names of files relative to a
// folder's descriptor, errors in errno's terms and times in POSIX's.
#pragma once

#include <windows.h>

#include <ctime>
#include <string>

namespace tagpolish {

// The errno that stands for a Windows error.
int errno_of(DWORD error);

// Sets errno from error (or from GetLastError()) and answers -1.
int fail_with(DWORD error);
int fail_last();

HANDLE handle_of(int fd);

// The full name of path, taken in the folder open as dirfd (AT_FDCWD: the
// current folder), in the form Windows opens at any length. "" names the
// folder itself. False with errno set when the folder has no name.
bool path_at(int dirfd, const char* path, std::wstring& name);

// The name of the file open as h, in its long form ("\\?\C:\...").
bool name_of_handle(HANDLE h, std::wstring& name);

timespec timespec_of(LARGE_INTEGER filetime);
LARGE_INTEGER filetime_of(const timespec& t);

}  // namespace tagpolish

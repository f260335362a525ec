#include "platform/free_space.h"

#include <windows.h>

#include <string>

#include "platform/windows/utf16.h"

namespace tagpolish {
namespace {

// The folder that GetDiskFreeSpaceExW asks about: name itself when it is
// a folder, else the folder the file is in ("." for a bare name, "C:" for
// "C:page.htm"), with the closing backslash that the root of a share
// needs.
std::wstring folder_of(const char* name) {
    std::wstring path = utf16_of(name);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool folder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!folder) {
        const std::size_t cut = path.find_last_of(L"\\/:");
        if (cut == std::wstring::npos)
            path = L".";
        else
            path.erase(path[cut] == L':' ? cut + 1 : cut);
    }
    if (path.empty() || (path.back() != L'\\' && path.back() != L'/')) path += L'\\';
    return path;
}

}  // namespace

double FreeDiskSpace = 0.0;

int getFreeSpace(const char* name) {
    ULARGE_INTEGER available{};
    if (GetDiskFreeSpaceExW(folder_of(name).c_str(), &available, nullptr, nullptr))
        FreeDiskSpace = static_cast<double>(available.QuadPart);
    else
        FreeDiskSpace = -1.0;
    if (FreeDiskSpace > 2147483647.0) return 2147483647;
    return static_cast<int>(FreeDiskSpace);
}

}  // namespace tagpolish

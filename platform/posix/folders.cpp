#include "platform/folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tagpolish {
namespace {

EntryType type_of_entry(unsigned char type) {
    switch (type) {
        case DT_UNKNOWN:
            return EntryType::unknown;
        case DT_REG:
            return EntryType::file;
        case DT_DIR:
            return EntryType::folder;
        case DT_LNK:
            return EntryType::link;
        default:
            return EntryType::other;
    }
}

}  // namespace

// The folder is read through a descriptor of its own, since closedir
// closes the one it was given.
int read_folder(int fd, std::vector<FolderEntry>& entries) {
    const int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = own < 0 ? nullptr : fdopendir(own);
    if (dir == nullptr) {
        const int error = errno;
        if (own >= 0) close(own);
        return error;
    }
    errno = 0;
    while (const dirent* e = readdir(dir)) {
        const std::string_view name(e->d_name);
        if (name != "." && name != "..")
            entries.push_back({std::string(name), type_of_entry(e->d_type)});
        errno = 0;
    }
    const int error = errno;
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return error;
}

EntryType entry_type_of(unsigned mode) {
    if (S_ISDIR(mode)) return EntryType::folder;
    if (S_ISLNK(mode)) return EntryType::link;
    if (S_ISREG(mode)) return EntryType::file;
    return EntryType::other;
}

bool name_matches(const std::string& pattern, std::string_view name, bool fold_case) {
    const std::string text(name);
    return fnmatch(pattern.c_str(), text.c_str(), fold_case ? FNM_CASEFOLD : 0) == 0;
}

}  // namespace tagpolish

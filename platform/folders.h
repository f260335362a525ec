// Reading a folder and matching names against the patterns of the walk.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tagpolish {

enum class EntryType : unsigned char { unknown, file, folder, link, other };

// unknown: the system does not tell, and the entry must be looked at.
struct FolderEntry {
    std::string name;
    EntryType type = EntryType::unknown;
};

// The entries of the folder open as fd (which stays open and unmoved),
// without "." and "..", in byte order of their names. Returns 0 or the
// errno.
int read_folder(int fd, std::vector<FolderEntry>& entries);

// What a status's mode says an entry is (never unknown).
EntryType entry_type_of(unsigned mode);

// Whether name matches the shell pattern (*, ?, [...]), with the letters
// of either case taken as one where fold_case is set, and always on
// Windows, where a file's name is the same in either case.
bool name_matches(const std::string& pattern, std::string_view name, bool fold_case);

}  // namespace tagpolish

// The syntax of the system's paths, as the rewrite in place takes them
// apart and puts names together: what separates the names of a path, how
// long the root it starts from is, how messages join names, whether
// letter case tells names apart, and how a link to an open file names it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tagpolish {

// The separator that names are joined with in what messages show: '/' on
// POSIX, '\\' on Windows.
extern const char shown_separator;

// Whether names that differ only in the case of their letters name one
// file (Windows): then names, patterns and suffixes are compared with
// ASCII letter case folded.
extern const bool names_fold_case;

// Whether c separates two names of a path: '/', and on Windows '\\' too.
bool is_path_separator(char c);

// Whether a file's name may hold the byte c: all but '/' on POSIX; on
// Windows neither separator, nor ':' (which names a stream of a file),
// nor the letters the system keeps for itself (<>"|?* and the control
// codes).
bool name_may_hold(char c);

// How many bytes of path its root takes: 0 for a relative path. On POSIX
// the leading "/" (the separators after it part no names); on Windows "\\" or "/" (the current
// drive's root), "C:\" and "C:" (the drive's current folder, from which the rest is relative),
// "\\server\share\" and the device forms "\\?\C:\",
// "\\?\UNC\server\share\" and "\\?\Volume{...}\".
std::size_t path_root_length(std::string_view path);

// Whether a path's root names a root folder, which ".." does not leave:
// all but the drive-relative "C:".
inline bool root_is_absolute(std::string_view root) {
    return !root.empty() && is_path_separator(root.back());
}

// The first separator in path at from or after it, or npos.
inline std::size_t find_separator(std::string_view path, std::size_t from = 0) {
    for (std::size_t i = from; i < path.size(); ++i)
        if (is_path_separator(path[i])) return i;
    return std::string_view::npos;
}

// The last separator in path before end, or npos.
inline std::size_t find_last_separator(std::string_view path,
                                       std::size_t end = std::string_view::npos) {
    for (std::size_t i = end < path.size() ? end : path.size(); i > 0; --i)
        if (is_path_separator(path[i - 1])) return i - 1;
    return std::string_view::npos;
}

// Whether the bytes a and b are the same letter in a name: ASCII letters
// of either case are one where names_fold_case.
inline bool same_name_byte(char a, char b) {
    if (a == b) return true;
    if (!names_fold_case) return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(a) == lower(b);
}

// The name as names compare where letter case tells none apart: its
// ASCII letters in lower case; else the name itself.
inline std::string folded_name(std::string_view name) {
    std::string folded(name);
    if (names_fold_case)
        for (char& c : folded)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return folded;
}

// Whether a and b are one name (or path) to the system's file names.
inline bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!same_name_byte(a[i], b[i])) return false;
    return true;
}

// Whether name begins, or ends, with part, as the system's file names
// compare.
inline bool name_starts_with(std::string_view name, std::string_view part) {
    return name.size() >= part.size() && same_name(name.substr(0, part.size()), part);
}
inline bool name_ends_with(std::string_view name, std::string_view part) {
    return name.size() >= part.size() && same_name(name.substr(name.size() - part.size()), part);
}

// How linkat names the file open as fd, so that the link made is to that
// file whatever names it has now: linkat(link.dir, link.path, ...,
// link.flags). On Linux its path under /proc, followed, which asks for no
// privilege where linking the descriptor itself (AT_EMPTY_PATH) does; on
// Windows the descriptor itself.
struct OpenFileLink {
    int dir = -1;
    char path[32] = {};
    int flags = 0;
};
OpenFileLink open_file_link(int fd);

}  // namespace tagpolish

// Folders on Windows are listed by name: the folder's descriptor gives the
// path it is at, and FindFirstFileExW reads that path. Names match
// patterns in either case, as the file system finds them.
#include "platform/folders.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/file_ops.h"
#include "platform/windows/utf16.h"

namespace tagpolish {
namespace {

int errno_of(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        default:
            return EIO;
    }
}

// The path of the folder open as handle, in the long form ("\\?\C:\...")
// that neither the length limit of paths nor names such as "CON" or
// "page." stop.
int path_of(HANDLE handle, std::wstring& path) {
    path.assign(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got =
            GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (got == 0) return errno_of(GetLastError());
        const bool fits = got < path.size();
        path.resize(got);  // when it did not fit, got counts the closing null too
        if (fits) return 0;
    }
}

struct SearchCloser {
    void operator()(HANDLE search) const { FindClose(search); }
};
using Search = std::unique_ptr<void, SearchCloser>;

// Symbolic links and junctions are links; what other reparse points are
// (files kept in the cloud, deduplicated ones) their status tells.
EntryType type_of(const WIN32_FIND_DATAW& found) {
    const DWORD attributes = found.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        const DWORD tag = found.dwReserved0;
        if (tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT)
            return EntryType::link;
        return EntryType::unknown;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryType::folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryType::other;
    return EntryType::file;
}

// Leaves search empty for a folder with nothing in it, not even "." and
// "..", as the root of a drive is: it has no first entry to find.
int open_search(HANDLE folder, WIN32_FIND_DATAW& found, Search& search) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(folder, &info)) return errno_of(GetLastError());
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return ENOTDIR;
    std::wstring pattern;
    if (const int error = path_of(folder, pattern)) return error;
    if (pattern.back() != L'\\') pattern += L'\\';
    pattern += L'*';
    const HANDLE opened =
        FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                         FIND_FIRST_EX_LARGE_FETCH);
    if (opened == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : errno_of(error);
    }
    search.reset(opened);
    return 0;
}

}  // namespace

int read_folder(int fd, std::vector<FolderEntry>& entries) {
    const auto folder = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (folder == INVALID_HANDLE_VALUE) return EBADF;
    WIN32_FIND_DATAW found{};
    Search search;
    if (const int error = open_search(folder, found, search)) return error;
    if (!search) return 0;
    do {
        const std::wstring_view name(found.cFileName);
        if (name != L"." && name != L"..") entries.push_back({utf8_of(name), type_of(found)});
    } while (FindNextFileW(search.get(), &found));
    const DWORD error = GetLastError();
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return error == ERROR_NO_MORE_FILES ? 0 : errno_of(error);
}

EntryType entry_type_of(unsigned mode) {
    if (S_ISDIR(mode)) return EntryType::folder;
    if (S_ISLNK(mode)) return EntryType::link;
    if (S_ISREG(mode)) return EntryType::file;
    return EntryType::other;
}

namespace {

// Patterns are matched by code point, so that ? stands for one letter
// whatever its length in UTF-8.
std::u32string points_of(std::string_view utf8) {
    const std::wstring wide = utf16_of(utf8);
    std::u32string points;
    points.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = static_cast<char16_t>(wide[i]);
        const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() &&
                          wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000;
        if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(wide[++i]) - 0xDC00);
        points.push_back(c);
    }
    return points;
}

// A letter in the other case (how: LCMAP_UPPERCASE or LCMAP_LOWERCASE), by
// the fixed table of the invariant locale. NTFS compares names by such a
// table of UTF-16 units, so letters beyond them have one case only.
char32_t in_case(char32_t c, DWORD how) {
    const bool upper = how == LCMAP_UPPERCASE;
    if (c < 0x80) {
        if (upper && c >= U'a' && c <= U'z') return c - 0x20;
        if (!upper && c >= U'A' && c <= U'Z') return c + 0x20;
        return c;
    }
    if (c >= 0x10000 || (c >= 0xD800 && c < 0xE000)) return c;
    const auto unit = static_cast<wchar_t>(c);
    wchar_t mapped = 0;
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, how, &unit, 1, &mapped, 1, nullptr, nullptr, 0) != 1)
        return c;
    return static_cast<char16_t>(mapped);
}

enum class Class {
    alnum,
    alpha,
    blank,
    cntrl,
    digit,
    graph,
    lower,
    print,
    punct,
    space,
    upper,
    xdigit
};

bool class_of(std::u32string_view name, Class& found) {
    static constexpr std::pair<std::u32string_view, Class> names[] = {
        {U"alnum", Class::alnum}, {U"alpha", Class::alpha}, {U"blank", Class::blank},
        {U"cntrl", Class::cntrl}, {U"digit", Class::digit}, {U"graph", Class::graph},
        {U"lower", Class::lower}, {U"print", Class::print}, {U"punct", Class::punct},
        {U"space", Class::space}, {U"upper", Class::upper}, {U"xdigit", Class::xdigit}};
    for (const auto& [text, kind] : names)
        if (text == name) {
            found = kind;
            return true;
        }
    return false;
}

// The classes are those of the C locale, which holds ASCII letters only.
bool in_class(Class kind, char32_t c) {
    const bool lower = c >= U'a' && c <= U'z', upper = c >= U'A' && c <= U'Z';
    const bool digit = c >= U'0' && c <= U'9';
    const bool graph = c > U' ' && c < 0x7F;
    switch (kind) {
        case Class::alnum:
            return lower || upper || digit;
        case Class::alpha:
            return lower || upper;
        case Class::blank:
            return c == U' ' || c == U'\t';
        case Class::cntrl:
            return c < U' ' || c == 0x7F;
        case Class::digit:
            return digit;
        case Class::graph:
            return graph;
        case Class::lower:
            return lower;
        case Class::print:
            return graph || c == U' ';
        case Class::punct:
            return graph && !lower && !upper && !digit;
        case Class::space:
            return c == U' ' || (c >= U'\t' && c <= U'\r');
        case Class::upper:
            return upper;
        case Class::xdigit:
            return digit || (c >= U'a' && c <= U'f') || (c >= U'A' && c <= U'F');
    }
    return false;
}

// A bracket expression; one that names an unknown class matches nothing.
struct Set {
    bool negated = false;
    bool never = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;
    std::vector<Class> classes;

    bool holds(char32_t c) const {
        return std::any_of(ranges.begin(), ranges.end(),
                           [c](const auto& r) { return r.first <= c && c <= r.second; }) ||
               std::any_of(classes.begin(), classes.end(),
                           [c](Class kind) { return in_class(kind, c); });
    }
    // upper: c in upper case.
    bool takes(char32_t c, char32_t upper) const {
        if (never) return false;
        const bool in = holds(c) || holds(upper) || holds(in_case(c, LCMAP_LOWERCASE));
        return in != negated;
    }
};

struct Token {
    enum Kind { letter, any, star, set } kind = letter;
    char32_t c = 0;  // a letter, in upper case
    Set members;
};

// One letter of a bracket expression at p[k]: plain, quoted by a
// backslash, or a collating symbol or equivalence class of one letter
// ("[.-.]", "[=a=]").
bool read_letter(std::u32string_view p, std::size_t& k, char32_t& c) {
    if (k >= p.size()) return false;
    if (p[k] == U'\\') {
        if (k + 1 >= p.size()) return false;
        c = p[k + 1];
        k += 2;
        return true;
    }
    if (p[k] == U'[' && k + 4 < p.size() && (p[k + 1] == U'.' || p[k + 1] == U'=') &&
        p[k + 3] == p[k + 1] && p[k + 4] == U']') {
        c = p[k + 2];
        k += 5;
        return true;
    }
    c = p[k++];
    return true;
}

// The bracket expression after the '[' before p[k]; false when it has no
// closing ']', and the '[' is then a letter of its own, as for fnmatch.
bool read_set(std::u32string_view p, std::size_t& k, Set& set) {
    if (k < p.size() && (p[k] == U'!' || p[k] == U'^')) {
        set.negated = true;
        ++k;
    }
    for (bool first = true;; first = false) {
        if (k >= p.size()) return false;
        if (p[k] == U']' && !first) {
            ++k;
            return true;
        }
        if (p.substr(k, 2) == U"[:") {
            const std::size_t end = p.find(U":]", k + 2);
            if (end != std::u32string_view::npos) {
                Class kind{};
                if (class_of(p.substr(k + 2, end - k - 2), kind))
                    set.classes.push_back(kind);
                else
                    set.never = true;
                k = end + 2;
                continue;
            }
        }
        char32_t low = 0, high = 0;
        if (!read_letter(p, k, low)) return false;
        high = low;
        if (k + 1 < p.size() && p[k] == U'-' && p[k + 1] != U']') {
            ++k;
            if (!read_letter(p, k, high)) return false;
        }
        set.ranges.emplace_back(low, high);
    }
}

std::vector<Token> tokens_of(std::u32string_view p) {
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < p.size();) {
        Token t;
        const char32_t c = p[i++];
        if (c == U'*') {
            if (!tokens.empty() && tokens.back().kind == Token::star) continue;
            t.kind = Token::star;
        } else if (c == U'?') {
            t.kind = Token::any;
        } else if (std::size_t k = i; c == U'[' && read_set(p, k, t.members)) {
            t.kind = Token::set;
            i = k;
        } else if (c == U'\\' && i == p.size()) {
            // A backslash that quotes nothing leaves a pattern that no name
            // matches.
            t.kind = Token::set;
            t.members.never = true;
        } else {
            t.c = in_case(c == U'\\' ? p[i++] : c, LCMAP_UPPERCASE);
        }
        tokens.push_back(std::move(t));
    }
    return tokens;
}

bool fits(const Token& t, char32_t c, char32_t upper) {
    switch (t.kind) {
        case Token::letter:
            return t.c == upper;
        case Token::any:
            return true;
        case Token::set:
            return t.members.takes(c, upper);
        case Token::star:
            break;
    }
    return false;
}

}  // namespace

// Windows names a file the same in either case, so every pattern matches
// names without regard to case. A star that does not fit is given one
// letter more, from the last star on: earlier stars need never give back,
// since the last one can take whatever they would.
bool name_matches(const std::string& pattern, std::string_view name, bool) {
    const std::vector<Token> tokens = tokens_of(points_of(pattern));
    const std::u32string text = points_of(name);
    std::u32string upper(text.size(), 0);
    std::transform(text.begin(), text.end(), upper.begin(),
                   [](char32_t c) { return in_case(c, LCMAP_UPPERCASE); });
    std::size_t p = 0, n = 0, star = std::string::npos, star_n = 0;
    while (n < text.size()) {
        if (p < tokens.size() && tokens[p].kind == Token::star) {
            star = ++p;
            star_n = n;
        } else if (p < tokens.size() && fits(tokens[p], text[n], upper[n])) {
            ++p;
            ++n;
        } else if (star != std::string::npos) {
            p = star;
            n = ++star_n;
        } else {
            return false;
        }
    }
    while (p < tokens.size() && tokens[p].kind == Token::star) ++p;
    return p == tokens.size();
}

}  // namespace tagpolish

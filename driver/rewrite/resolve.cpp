#include "driver/rewrite/resolve.h"

#include <cerrno>
#include <climits>
#include <string_view>
#include <utility>
#include <vector>

#include "lib/diag.h"
#include "platform/paths.h"
#include "platform/users.h"

namespace tagpolish {
namespace {

constexpr int max_links = 40;  // as the system itself allows

struct Walk {
    FileOps& ops;
    std::uint32_t me = effective_user();
    int links = 0;
    bool follow_last = true;  // a link as the last component is followed
};

Resolution missing(int error) {
    Resolution r;
    r.how = Resolved::missing;
    r.error = error;
    return r;
}

// The components of path (after its root), without the empty ones that
// repeated or trailing separators make.
std::vector<std::string_view> components(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t slash = find_separator(path);
        const std::string_view part = path.substr(0, slash);
        if (!part.empty()) parts.push_back(part);
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}

// Adds a folder entered by name to how messages show the path: ".."
// takes the last folder away again (every folder shown is a real one,
// its links already followed), or at a root folder stays there; "." adds
// nothing.
void enter(std::string& shown, std::string_view name) {
    if (name == ".") return;
    if (name == "..") {
        const std::size_t root = path_root_length(shown);
        if (root == shown.size() && root_is_absolute(shown)) return;
        const std::size_t slash = shown.size() < root + 2
                                      ? std::string::npos
                                      : find_last_separator(shown, shown.size() - 1);
        const std::size_t start = slash == std::string::npos || slash < root ? root : slash + 1;
        const std::string_view last = std::string_view(shown).substr(start);
        if (!last.empty() &&
            !(last.size() == 3 && last.starts_with("..") && is_path_separator(last.back()))) {
            shown.resize(start);
            return;
        }
    }
    shown.append(name);
    shown += shown_separator;
}

int read_link(FileOps& ops, int fd, std::string& to) {
    char text[PATH_MAX];
    const ssize_t n = ops.readlinkat(fd, "", text, sizeof text);
    if (n < 0) return errno;
    if (static_cast<std::size_t>(n) == sizeof text) return ENAMETOOLONG;
    to.assign(text, static_cast<std::size_t>(n));
    return 0;
}

// A link that its owner could have made to lead anywhere is trusted only
// when that owner could change what it leads to anyway.
bool trusted(const FileStat& link, const FileStat& to, const Walk& w) {
    return link.st_uid == w.me || link.st_uid == 0 || link.st_uid == to.st_uid;
}

// A descriptor of its own for the folder open as dir (or the current one).
Fd duplicate(FileOps& ops, int dir) {
    return Fd(ops.openat(dir, ".", O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
}

Resolution walk(Walk& w, int from, std::string shown, std::string_view path);

// What a link of the system's own leads to where its text is no path (the
// pipe or terminal behind /dev/stdin): the thing itself, which is never a
// regular file that could be rewritten.
Resolution magic_link(Walk& w, int dir, const std::string& name) {
    Resolution r;
    r.target.file = Fd(w.ops.openat(dir, name.c_str(), O_PATH | O_CLOEXEC, 0));
    if (!r.target.file || w.ops.fstat(r.target.file.get(), &r.target.st) != 0 ||
        S_ISREG(r.target.st.st_mode))
        return missing(ENOENT);
    r.target.dir = duplicate(w.ops, dir);
    r.target.base = name;
    return r;
}

// The component name, met in dir, is a symbolic link open as fd (which
// fstat described as st): what it leads to, when it may be followed.
Resolution follow(Walk& w, int dir, const std::string& shown, const std::string& name, const Fd& fd,
                  const FileStat& st) {
    if (++w.links > max_links) return missing(ELOOP);
    std::string to;
    if (int error = read_link(w.ops, fd.get(), to)) return missing(error);
    Resolution r = walk(w, dir, shown, to);
    if (r.how == Resolved::missing && r.error == ENOENT) r = magic_link(w, dir, name);
    if (r.how == Resolved::found && !trusted(st, r.target.st, w)) {
        r = {};
        r.how = Resolved::foreign_link;
    }
    return r;
}

// The folder or file that the start folder itself is, for a path without
// components ("/", or a link to ".").
Resolution the_folder(Walk& w, int from, std::string shown) {
    Resolution r;
    r.target.dir = duplicate(w.ops, from);
    r.target.base = ".";
    r.target.dir_shown = std::move(shown);
    r.target.file = Fd(w.ops.openat(from, ".", O_PATH | O_CLOEXEC, 0));
    if (!r.target.file || w.ops.fstat(r.target.file.get(), &r.target.st) != 0)
        return missing(errno);
    return r;
}

// The component name in the folder from (shown as shown): a link is
// followed, anything else is found as it is, by its folder (held, when the
// walk has one of its own for it, else from) and name.
Resolution component(Walk& w, int from, Fd& held, const std::string& shown,
                     const std::string& name) {
    Fd fd(w.ops.openat(from, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC, 0));
    FileStat st{};
    if (!fd || w.ops.fstat(fd.get(), &st) != 0) return missing(errno);
    if (S_ISLNK(st.st_mode) && !w.follow_last) {
        Resolution r;
        r.how = Resolved::link;
        return r;
    }
    if (S_ISLNK(st.st_mode)) {
        Resolution r = follow(w, from, shown, name, fd, st);
        r.target.link = true;
        return r;
    }
    Resolution r;
    r.target = {
        held ? std::move(held) : duplicate(w.ops, from), name, shown, false, std::move(fd), st};
    if (!r.target.dir) return missing(errno);
    return r;
}

// A folder on the way: opened as one at once, which only a link (or what
// is no folder) refuses.
Resolution folder(Walk& w, int from, Fd& held, const std::string& shown, const std::string& name) {
    Resolution r;
    r.target.file =
        Fd(w.ops.openat(from, name.c_str(), O_PATH | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC, 0));
    if (r.target.file) {
        r.target.dir_shown = shown;
        r.target.base = name;
        return r;
    }
    if (errno != ENOTDIR) return missing(errno);
    r = component(w, from, held, shown, name);
    if (r.how == Resolved::found && !S_ISDIR(r.target.st.st_mode)) return missing(ENOTDIR);
    return r;
}

Resolution walk(Walk& w, int from, std::string shown, std::string_view path) {
    if (path.empty()) return missing(ENOENT);
    Fd held;  // the folder the walk is in, once it has left from
    if (const std::size_t root = path_root_length(path)) {
        shown.assign(path.substr(0, root));
        held = Fd(w.ops.openat(AT_FDCWD, shown.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
        if (!held) return missing(errno);
        from = held.get();
        path.remove_prefix(root);
    }
    const std::vector<std::string_view> parts = components(path);
    if (parts.empty()) return the_folder(w, from, std::move(shown));
    // Links met on the way, and the links they lead through, are followed.
    const bool follow_last = std::exchange(w.follow_last, true);
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i] == ".") continue;
        Resolution r = folder(w, from, held, shown, std::string(parts[i]));
        if (r.how != Resolved::found) return r;
        shown = std::move(r.target.dir_shown);
        enter(shown, r.target.base);
        held = std::move(r.target.file);
        from = held.get();
    }
    w.follow_last = follow_last;
    Resolution r = component(w, from, held, shown, std::string(parts.back()));
    // "page.htm/" names a folder.
    if (r.how == Resolved::found && is_path_separator(path.back()) && !S_ISDIR(r.target.st.st_mode))
        return missing(ENOTDIR);
    return r;
}

}  // namespace

Resolution resolve(const char* name, FileOps& ops) {
    Walk w{ops};
    return walk(w, AT_FDCWD, "", name);
}

Resolution resolve_at(int dir, const std::string& shown, const char* name, bool follow,
                      FileOps& ops) {
    Walk w{ops};
    w.follow_last = follow;
    return walk(w, dir, shown, name);
}

}  // namespace tagpolish

#include "driver/site/site_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "driver/rewrite/resolve.h"
#include "driver/site/name_patterns.h"
#include "lib/diag.h"

namespace tagpolish {
namespace {

// Folders of version control, which hold copies of pages that are not the
// site's.
constexpr std::string_view version_control[] = {".git", ".svn", ".hg", "CVS"};

bool matches(const std::string& pattern, std::string_view name, int flags) {
    const std::string text(name);
    return fnmatch(pattern.c_str(), text.c_str(), flags) == 0;
}

bool matches_any(const std::vector<std::string>& patterns, std::string_view name) {
    return std::any_of(patterns.begin(), patterns.end(),
                       [name](const std::string& p) { return matches(p, name, 0); });
}

const std::vector<std::string> default_pages{"*.htm", "*.html"};
const std::vector<std::string> default_pages_and_sheets{"*.htm", "*.html", "*.css"};

const std::vector<std::string>& defaults_of(const WalkRules& rules) {
    return rules.style_sheets ? default_pages_and_sheets : default_pages;
}

struct Entry {
    std::string name;
    unsigned char type;  // as readdir gives it
};

// The entries of the folder open as fd, in byte order of their names.
// Returns 0 or the errno.
int read_entries(int fd, std::vector<Entry>& entries) {
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
        if (name != "." && name != "..") entries.push_back({std::string(name), e->d_type});
        errno = 0;
    }
    const int error = errno;
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return error;
}

unsigned char type_of(mode_t mode) {
    if (S_ISDIR(mode)) return DT_DIR;
    if (S_ISLNK(mode)) return DT_LNK;
    if (S_ISREG(mode)) return DT_REG;
    return DT_UNKNOWN;
}

}  // namespace

bool is_page_name(const WalkRules& rules, std::string_view name) {
    const bool taken =
        rules.include.empty()
            ? std::any_of(defaults_of(rules).begin(), defaults_of(rules).end(),
                          [name](const std::string& p) { return matches(p, name, FNM_CASEFOLD); })
            : matches_any(rules.include, name);
    return taken && !matches_any(rules.exclude, name);
}

bool suffix_joins_pages(const WalkRules& rules, std::string_view suffix) {
    if (std::any_of(rules.exclude.begin(), rules.exclude.end(),
                    [suffix](const std::string& p) { return matches_every_end(p, suffix); }))
        return false;
    const bool casefold = rules.include.empty();
    const std::vector<std::string>& pages = casefold ? defaults_of(rules) : rules.include;
    for (const std::string& first : pages)
        for (const std::string& second : pages)
            if (suffix_joins(first, suffix, second, casefold)) return true;
    return false;
}

bool walk_enters(const WalkRules& rules, std::string_view name) {
    return !matches_any(rules.exclude, name) &&
           std::find(std::begin(version_control), std::end(version_control), name) ==
               std::end(version_control);
}

bool walk_takes(const WalkRules& rules, std::string_view name) {
    if (!rules.backups) return is_page_name(rules, name);
    const std::string_view suffix = rules.backup_suffix;
    return name.size() > suffix.size() && name.ends_with(suffix) &&
           is_page_name(rules, name.substr(0, name.size() - suffix.size()));
}

struct SiteWalk::Level {
    std::shared_ptr<const Fd> dir;
    std::string shown;  // the folder as messages show it, with its "/"
    std::vector<Entry> entries;
    std::size_t at = 0;  // the next entry to meet
    dev_t dev = 0;
    ino_t ino = 0;
};

SiteWalk::SiteWalk(Fd top, const std::string& shown, const WalkRules& rules, FileOps& ops)
    : rules_(rules), ops_(ops) {
    std::string folder = shown;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    first_ = enter(folder, std::move(top));
}

SiteWalk::~SiteWalk() = default;

// Opens the level of a folder, unless it is one the walk is in already (a
// loop of links); a folder that cannot be read is a note, and failed.
std::unique_ptr<Page> SiteWalk::enter(const std::string& shown, Fd dir) {
    const std::string name = shown.size() > 1 ? shown.substr(0, shown.size() - 1) : shown;
    FileStat st{};
    if (ops_.fstat(dir.get(), &st) != 0)
        return note_page(name, Fate::failed, errno, "%s: cannot read\n");
    for (const auto& l : levels_)
        if (l->dev == st.st_dev && l->ino == st.st_ino)
            return note_page(name, Fate::passed_over, 0,
                             "%s: a folder that the walk is in already (a loop of links); passed "
                             "over\n");
    auto level = std::make_unique<Level>();
    if (int error = read_entries(dir.get(), level->entries))
        return note_page(name, Fate::failed, error, "%s: cannot read\n");
    level->dir = std::make_shared<const Fd>(std::move(dir));
    level->shown = shown;
    level->dev = st.st_dev;
    level->ino = st.st_ino;
    levels_.push_back(std::move(level));
    return nullptr;
}

std::unique_ptr<Page> SiteWalk::next() {
    last_ = nullptr;
    if (first_) return std::move(first_);
    while (!levels_.empty()) {
        Level& level = *levels_.back();
        if (level.at == level.entries.size()) {
            levels_.pop_back();
            continue;
        }
        const Entry& e = level.entries[level.at++];
        if (std::unique_ptr<Page> page = met(level, e.name, e.type)) return page;
    }
    return nullptr;
}

std::unique_ptr<Page> SiteWalk::met(Level& level, const std::string& name, unsigned char type) {
    if (matches_any(rules_.exclude, name)) return nullptr;
    if (type == DT_UNKNOWN) {
        FileStat st{};
        if (ops_.fstatat(level.dir->get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return nullptr;
        type = type_of(st.st_mode);
    }
    if (type == DT_LNK) return met_link(level, name);
    if (type == DT_REG) {
        if (!walk_takes(rules_, name)) return nullptr;
        last_ = &level;
        return std::make_unique<Page>(level.shown + name, level.dir, level.shown.size());
    }
    if (type != DT_DIR || !walk_enters(rules_, name)) return nullptr;
    // Opened without following a link: a folder that became one is not
    // entered.
    const int fd = ops_.openat(level.dir->get(), name.c_str(),
                               O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd < 0 && errno == ELOOP) return met_link(level, name);
    if (fd < 0 && errno == ENOENT) return nullptr;
    if (fd < 0) return note_page(level.shown + name, Fate::failed, errno, "%s: cannot read\n");
    return enter(level.shown + name + "/", Fd(fd));
}

// A link is followed (as -w follows one) only with follow_links; else a
// link that leads to a folder, or that is named as the walk would take
// it, is passed over with a note.
std::unique_ptr<Page> SiteWalk::met_link(Level& level, const std::string& name) {
    const std::string shown = level.shown + name;
    FileStat to{};
    const bool folder =
        ops_.fstatat(level.dir->get(), name.c_str(), &to, 0) == 0 && S_ISDIR(to.st_mode);
    if (!folder && !walk_takes(rules_, name)) return nullptr;
    if (!rules_.follow_links)
        return note_page(shown, Fate::passed_over, 0,
                         "%s: a symbolic link; passed over (--follow-links follows it)\n");
    if (!folder) {
        last_ = &level;
        return std::make_unique<Page>(shown, level.dir, level.shown.size());
    }
    Resolution found = resolve_at(level.dir->get(), level.shown, name.c_str(), true, ops_);
    if (found.how == Resolved::foreign_link)
        return note_page(shown, Fate::failed, 0,
                         "%s: a symbolic link owned by another user; not followed\n");
    Fd dir;
    if (found.how == Resolved::found)
        dir = Fd(ops_.openat(found.target.file.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (!dir)
        return note_page(shown, Fate::failed, found.error != 0 ? found.error : errno,
                         "%s: cannot read\n");
    return enter(shown + "/", std::move(dir));
}

bool SiteWalk::beside(std::string_view name) const {
    if (last_ == nullptr) return false;
    const auto& e = last_->entries;
    const auto it = std::lower_bound(e.begin(), e.end(), name,
                                     [](const Entry& a, std::string_view n) { return a.name < n; });
    return it != e.end() && it->name == name;
}

}  // namespace tagpolish

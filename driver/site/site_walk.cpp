#include "driver/site/site_walk.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "driver/rewrite/resolve.h"
#include "driver/site/name_patterns.h"
#include "lib/diag.h"
#include "platform/folders.h"
#include "platform/paths.h"

namespace tagpolish {
namespace {

// Folders of version control, which hold copies of pages that are not the
// site's.
constexpr std::string_view version_control[] = {".git", ".svn", ".hg", "CVS"};

// Names given as patterns are matched as the system compares file names:
// on Windows without regard to letter case.
bool matches_any(const std::vector<std::string>& patterns, std::string_view name) {
    return std::any_of(patterns.begin(), patterns.end(), [name](const std::string& p) {
        return name_matches(p, name, names_fold_case);
    });
}

const std::vector<std::string> default_pages{"*.htm", "*.html"};
const std::vector<std::string> default_pages_and_sheets{"*.htm", "*.html", "*.css"};

const std::vector<std::string>& defaults_of(const WalkRules& rules) {
    return rules.style_sheets ? default_pages_and_sheets : default_pages;
}

}  // namespace

bool is_page_name(const WalkRules& rules, std::string_view name) {
    const bool taken =
        rules.include.empty()
            ? std::any_of(defaults_of(rules).begin(), defaults_of(rules).end(),
                          [name](const std::string& p) { return name_matches(p, name, true); })
            : matches_any(rules.include, name);
    return taken && !matches_any(rules.exclude, name);
}

bool suffix_joins_pages(const WalkRules& rules, std::string_view suffix) {
    if (std::any_of(rules.exclude.begin(), rules.exclude.end(), [suffix](const std::string& p) {
            return matches_every_end(p, suffix, names_fold_case);
        }))
        return false;
    const bool casefold = rules.include.empty() || names_fold_case;
    const std::vector<std::string>& pages =
        rules.include.empty() ? defaults_of(rules) : rules.include;
    for (const std::string& first : pages)
        for (const std::string& second : pages)
            if (suffix_joins(first, suffix, second, casefold)) return true;
    return false;
}

bool walk_enters(const WalkRules& rules, std::string_view name) {
    return !matches_any(rules.exclude, name) &&
           std::none_of(std::begin(version_control), std::end(version_control),
                        [name](std::string_view v) { return same_name(v, name); });
}

bool walk_takes(const WalkRules& rules, std::string_view name) {
    if (!rules.backups) return is_page_name(rules, name);
    const std::string_view suffix = rules.backup_suffix;
    return name.size() > suffix.size() && name_ends_with(name, suffix) &&
           is_page_name(rules, name.substr(0, name.size() - suffix.size()));
}

struct SiteWalk::Level {
    std::shared_ptr<const Fd> dir;
    std::string shown;  // the folder as messages show it, with its separator
    std::vector<FolderEntry> entries;
    // Where names_fold_case: the entries' names folded, sorted, once asked
    // for (beside).
    mutable std::vector<std::string> folded;
    std::size_t at = 0;  // the next entry to meet
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
};

SiteWalk::SiteWalk(Fd top, const std::string& shown, const WalkRules& rules, FileOps& ops)
    : rules_(rules), ops_(ops) {
    // A root without a separator ("C:", that drive's current folder) is
    // followed by names as it is.
    std::string folder = shown;
    if (!folder.empty() && !is_path_separator(folder.back()) &&
        path_root_length(folder) != folder.size())
        folder += shown_separator;
    first_ = enter(folder, std::move(top));
}

SiteWalk::~SiteWalk() = default;

// Opens the level of a folder, unless it is one the walk is in already (a
// loop of links); a folder that cannot be read is a note, and failed.
std::unique_ptr<Page> SiteWalk::enter(const std::string& shown, Fd dir) {
    const std::string name = shown.size() > 1 && is_path_separator(shown.back())
                                 ? shown.substr(0, shown.size() - 1)
                                 : shown;
    FileStat st{};
    if (ops_.fstat(dir.get(), &st) != 0)
        return note_page(name, Fate::failed, errno, "%s: cannot read\n");
    for (const auto& l : levels_)
        if (l->dev == st.st_dev && l->ino == st.st_ino)
            return note_page(name, Fate::passed_over, 0,
                             "%s: a folder that the walk is in already (a loop of links); passed "
                             "over\n");
    auto level = std::make_unique<Level>();
    if (int error = read_folder(dir.get(), level->entries))
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
        const FolderEntry& e = level.entries[level.at++];
        if (std::unique_ptr<Page> page = met(level, e.name, e.type)) return page;
    }
    return nullptr;
}

std::unique_ptr<Page> SiteWalk::met(Level& level, const std::string& name, EntryType type) {
    if (matches_any(rules_.exclude, name)) return nullptr;
    if (type == EntryType::unknown) {
        FileStat st{};
        if (ops_.fstatat(level.dir->get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return nullptr;
        type = entry_type_of(st.st_mode);
    }
    if (type == EntryType::link) return met_link(level, name);
    if (type == EntryType::file) {
        if (!walk_takes(rules_, name)) return nullptr;
        last_ = &level;
        return std::make_unique<Page>(level.shown + name, level.dir, level.shown.size());
    }
    if (type != EntryType::folder || !walk_enters(rules_, name)) return nullptr;
    // Opened without following a link: a folder that became one is not
    // entered.
    const int fd = ops_.openat(level.dir->get(), name.c_str(),
                               O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd < 0 && errno == ELOOP) return met_link(level, name);
    if (fd < 0 && errno == ENOENT) return nullptr;
    if (fd < 0) return note_page(level.shown + name, Fate::failed, errno, "%s: cannot read\n");
    return enter(level.shown + name + shown_separator, Fd(fd));
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
    return enter(shown + shown_separator, std::move(dir));
}

// Where letter case does not tell names apart, the folded names are looked
// in.
bool SiteWalk::beside(std::string_view name) const {
    if (last_ == nullptr) return false;
    if (names_fold_case) {
        std::vector<std::string>& folded = last_->folded;
        if (folded.empty() && !last_->entries.empty()) {
            for (const FolderEntry& e : last_->entries) folded.push_back(folded_name(e.name));
            std::sort(folded.begin(), folded.end());
        }
        return std::binary_search(folded.begin(), folded.end(), folded_name(name));
    }
    const auto& e = last_->entries;
    const auto it =
        std::lower_bound(e.begin(), e.end(), name,
                         [](const FolderEntry& a, std::string_view n) { return a.name < n; });
    return it != e.end() && it->name == name;
}

}  // namespace tagpolish

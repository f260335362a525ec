// The walk of a folder given with -r: every folder below it, depth first,
// the entries of each in byte order of their names, each folder opened
// through the one that holds it, so that a folder swapped for a symbolic
// link meanwhile is never entered.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "driver/in_place.h"  // default_backup_suffix
#include "driver/site/page.h"
#include "platform/file_ops.h"
#include "platform/folders.h"

namespace tagpolish {

// What the walk takes, and what it passes over.
struct WalkRules {
    // Patterns (as the shell's) for the names of the files to take; none:
    // names that end in .htm or .html, in any letter case.
    std::vector<std::string> include;
    // With no include patterns, style sheets (.css) are taken too: a
    // conversion to UTF-8 converts them with the pages.
    bool style_sheets = false;
    // Patterns for the names of files and folders to leave out.
    std::vector<std::string> exclude;
    // Symbolic links are followed (by the link rule of -w), not passed over.
    bool follow_links = false;
    // Under this suffix, a name that is a page's name with it is a backup.
    std::string backup_suffix = default_backup_suffix;
    // The walk takes the backups of the pages (named like a page it would
    // take, and the suffix), not the pages.
    bool backups = false;
};

// Whether a file named name is a page by the rules: include takes it, and
// exclude does not leave it out.
bool is_page_name(const WalkRules& rules, std::string_view name);

// Whether a page's name, followed by suffix, can be the name of another
// page by the rules (leaving aside exclude patterns, but for one that
// leaves out every name that ends in suffix): then a backup could not be
// told from a page.
bool suffix_joins_pages(const WalkRules& rules, std::string_view suffix);

// Whether name (an entry's own name) is one the walk takes: a page, or
// with rules.backups a page's backup.
bool walk_takes(const WalkRules& rules, std::string_view name);

// Whether the walk enters a folder of that name (an entry's own name):
// one exclude does not leave out and that no version control keeps.
bool walk_enters(const WalkRules& rules, std::string_view name);

// One folder and every folder below it.
class SiteWalk {
  public:
    // top is the folder given, open to be read; shown is its name as
    // messages show it, which every name below it starts with.
    SiteWalk(Fd top, const std::string& shown, const WalkRules& rules,
             FileOps& ops = system_file_ops());
    ~SiteWalk();
    SiteWalk(const SiteWalk&) = delete;
    SiteWalk& operator=(const SiteWalk&) = delete;

    // The next page (or backup) met, as a page to be edited; or a note
    // about an entry (a symbolic link passed over, a folder that cannot be
    // read, a loop of links), as a page whose fate is told; null at the
    // end of the walk.
    std::unique_ptr<Page> next();
    // Whether a file of this name stands in the folder of the page last
    // met.
    bool beside(std::string_view name) const;
    // Whether the walk has met every entry.
    bool done() const { return levels_.empty(); }

  private:
    struct Level;
    std::unique_ptr<Page> enter(const std::string& shown, Fd dir);
    std::unique_ptr<Page> met(Level& level, const std::string& name, EntryType type);
    std::unique_ptr<Page> met_link(Level& level, const std::string& name);

    const WalkRules& rules_;
    FileOps& ops_;
    std::vector<std::unique_ptr<Level>> levels_;
    const Level* last_ = nullptr;  // of the page last met
    std::unique_ptr<Page> first_;  // a note about the folder given
};

}  // namespace tagpolish

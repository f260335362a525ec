// The walk of -r: what it takes, in which order, and what it passes over
// or cannot read, through the library on a tree made for it.
#include "driver/site/site_walk.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "support/fake_file_ops.h"
#include "support/site_walks.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

void make_tree(const TempDir& t) {
    for (const char* dir : {".git", ".hidden", "CVS", "skip", "sub", "sub/deeper"})
        make_folder(t.path() + "/" + dir);
    for (const char* file :
         {".git/y.htm", ".hidden/z.htm", "B.htm", "CVS/x.htm", "a.htm", "a.htm.orig", "c.HTML",
          "d.txt", "other.htm.orig", "skip/h.htm", "sub/e.htm", "sub/g.htm", "sub/deeper/f.html"})
        t.write(file, "<p>\n");
}

// Entries in byte order of their names (capitals first), depth first;
// pages by their names (any case) or by --include, less --exclude; no
// folder of version control entered; a folder that cannot be read noted.
TEST(SiteWalk, TakesThePagesInOrderAndNotesWhatItPassesOver) {
    TempDir t;
    make_tree(t);
    WalkRules plain, text, backups, unreadable;
    text.include = {"*.txt", "*.HTML"};
    text.exclude = {"skip", "sub", "c*"};
    backups.backups = true;
    const struct {
        const char* name;
        const WalkRules& rules;
        std::vector<Failure> plan;
        std::vector<std::string> seen;
    } cases[] = {
        {"pages by default",
         plain,
         {},
         {"top/.hidden/z.htm", "top/B.htm", "top/a.htm", "top/c.HTML", "top/skip/h.htm",
          "top/sub/deeper/f.html", "top/sub/e.htm", "top/sub/g.htm"}},
        {"patterns given", text, {}, {"top/d.txt"}},
        {"backups of pages", backups, {}, {"top/a.htm.orig", "top/other.htm.orig"}},
        {"a folder that cannot be read",
         unreadable,
         {{Call::openat, EACCES, 2}},
         {"top/.hidden/z.htm", "top/B.htm", "top/a.htm", "top/c.HTML",
          "top/skip: cannot read\n  Permission denied\n", "top/sub/deeper/f.html", "top/sub/e.htm",
          "top/sub/g.htm"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> seen;
        for (const std::string& s : c.seen) seen.push_back(walked(s));
        FakeFileOps ops(c.plan);
        EXPECT_EQ(seen, walk(t.path(), c.rules, ops)) << c.name;
    }
}

// A page's name is matched whole, and a backup is a page's name with the
// suffix; a suffix alone names no backup.
TEST(SiteWalk, PageAndBackupNames) {
    WalkRules pages, backups, given;
    backups.backups = true;
    given.include = {"*.shtml"};
    given.exclude = {"draft*"};
    const struct {
        const WalkRules& rules;
        const char* name;
        bool taken;
    } cases[] = {
        {pages, "index.htm", true},        {pages, "INDEX.HTM", true},
        {pages, "index.html", true},       {pages, "index.htm~", false},
        {pages, "index.htmx", false},      {pages, ".htm", true},
        {backups, "index.htm.orig", true}, {backups, "index.htm", false},
        {backups, ".orig", false},         {backups, "notes.txt.orig", false},
        {given, "a.shtml", true},          {given, "a.htm", false},
        {given, "draft.shtml", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.taken, walk_takes(c.rules, c.name)) << c.name;
}

// A suffix is refused when a page's name with it can be another page's
// name, by the default names (any letter case) or by --include patterns,
// unless an --exclude pattern leaves out every name that ends in it.
TEST(SiteWalk, SuffixThatMakesAPageNameIntoAnother) {
    const struct {
        std::vector<std::string> include, exclude;
        const char* suffix;
        bool joins;
    } cases[] = {
        {{}, {}, ".orig", false},
        {{}, {}, "~", false},
        {{}, {}, ".bak", false},
        {{}, {}, "l", true},  // x.htm and x.html
        {{}, {}, "L", true},
        {{}, {}, ".htm", true},
        {{}, {}, ".HTML", true},
        {{}, {}, "~.htm", true},
        {{}, {}, "ml", false},
        {{}, {}, "html", false},
        {{"*.shtml"}, {}, ".orig", false},
        {{"*.shtml"}, {}, "l", false},
        {{"*.shtm", "*.shtml"}, {}, "l", true},
        {{"*.htm*"}, {}, ".orig", true},
        {{"*.htm*"}, {"*.orig"}, ".orig", false},
        {{"*.htm*"}, {"*rig"}, ".orig", false},
        {{"*.htm*"}, {"*[[:alpha:]]"}, ".orig", true},  // a class is not known for sure
        {{"*.htm*"}, {"draft*"}, ".orig", true},
        {{"*[0-9]"}, {}, "1", true},
        {{"*[0-9]"}, {}, "1x", false},
        {{"*[!0-9]"}, {}, "x", true},
        {{"*[!0-9]"}, {}, "7", false},
        {{"page?"}, {}, "x", false},
        {{"page*"}, {}, "x", true},
        {{"*.htm", "*.htm.[a-z]"}, {}, ".b", true},
        // Where names fold case, a class of letters takes either case.
        {{"*.htm", "*.htm.[a-z]"}, {}, ".B", names_fold_case},
        {{"*\\*"}, {}, "*", true},
        {{"[ab].htm"}, {}, ".htm", false},
        {{"*[.]htm"}, {}, ".htm", true},
        {{"*["}, {}, "[", true},
    };
    for (const auto& c : cases) {
        WalkRules rules;
        rules.include = c.include;
        rules.exclude = c.exclude;
        EXPECT_EQ(c.joins, suffix_joins_pages(rules, c.suffix))
            << (c.include.empty() ? "" : c.include.back()) << " " << c.suffix;
    }
}

}  // namespace
}  // namespace tagpolish::test

// The backups of --backup, the rest of the way, through the library: put
// back (the site as it was, byte for byte), removed, and a run with
// --backup over backup names already taken stopped before it edits.
#include "driver/site/backups.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "driver/site/site_run.h"
#include "lib/options.h"
#include "support/fake_file_ops.h"
#include "support/site_runs.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

namespace fs = std::filesystem;

// Symbolic links are made on POSIX only: wine makes none, and Windows only
// for an administrator or in developer mode.
#ifdef _WIN32
constexpr bool links = false;
#else
constexpr bool links = true;
#endif

// Every entry under dir: a file by what it holds, a link by where it
// points.
std::map<std::string, std::string> tree(const std::string& dir) {
    std::map<std::string, std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(fs_path(dir))) {
        const std::string name = e.path().lexically_relative(fs_path(dir)).generic_string();
        if (e.is_symlink())
            entries[name] = "-> " + fs::read_symlink(e.path()).generic_string();
        else if (e.is_regular_file())
            entries[name] = read_file(name_of(e.path()));
    }
    return entries;
}

class Backups : public testing::Test {
  protected:
    void SetUp() override {
        reset_options();
        opt_w = 1;
        fs::create_directories(t.path() + "/site/sub");
        for (const char* page : {"site/a.htm", "site/b.htm", "site/c.htm", "site/sub/d.htm"})
            t.write(page, std::string("<font>") + page + "</font>\n");
        t.write("site/same.htm", "<p>same\n");
        if (links) fs::create_symlink("sub/d.htm", t.path() + "/site/link.htm");
        before = tree(t.path());
        ASSERT_EQ(0, run_in(t.path(), {"site"}, RunJob::edit, true).status);
    }
    void TearDown() override { reset_options(); }

    // One run over names in dir: job, with -r when walk.
    Ran run_in(const std::string& dir, std::vector<std::string> names, RunJob job, bool walk,
               bool dry_run = false, bool force = false) {
        RunSettings s;
        s.edits.del_f = 1;
        s.job = job;
        s.walk = walk;
        s.rules.backups = job != RunJob::edit;
        s.how = {dry_run, job == RunJob::edit ? ".orig" : nullptr};
        s.list = s.summary = true;
        s.force = force;
        FakeFileOps ops({}, kept);
        Ran ran = run_site(dir, std::move(names), s, ops);
        ran.err = timeless(ran.err);
        return ran;
    }

    TempDir t;
    AttributeStore store;  // the backup records, where the file system keeps none
    AttributeStore* kept = unless_kept_in(t.path(), store);
    std::map<std::string, std::string> before;
};

// A dry run changes nothing; a page changed since its backup is refused,
// and put back with --force; a page that is gone is put back; a page named
// through a link is put back in the link's target. Then the site is as it
// was, and no backup is left.
TEST_F(Backups, RestoreGivesBackTheSite) {
    const std::string edited = read_file(t.path() + "/site/b.htm");
    t.write("site/b.htm", edited + "<p>added later\n");
    ASSERT_TRUE(fs::remove(t.path() + "/site/c.htm"));
    const auto after_edit = tree(t.path());

    const Ran dry = run_in(t.path(), {"site"}, RunJob::restore, true, true);
    EXPECT_EQ(after_edit, tree(t.path()));
    EXPECT_EQ(walked("site/a.htm\nsite/c.htm\nsite/sub/d.htm\n"), dry.out);

    const Ran r = run_in(t.path(), {"site"}, RunJob::restore, true);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(walked("site/a.htm\nsite/c.htm\nsite/sub/d.htm\n"), r.out);
    EXPECT_EQ(
        walked("site/a.htm: restored from site/a.htm.orig\n"
               "site/b.htm: changed after its backup was made; not restored (--force restores it)\n"
               "site/c.htm: restored from site/c.htm.orig\n"
               "site/sub/d.htm: restored from site/sub/d.htm.orig\n"
               "3 pages restored, 1 failed\n0 passed over, T seconds\n"),
        r.err);

    // Edited again through the link, its backup is beside the link's target.
    if (links) {
        ASSERT_EQ(0, run_in(t.path(), {"site/link.htm"}, RunJob::edit, false).status);
        const Ran linked = run_in(t.path(), {"site/link.htm"}, RunJob::restore, false);
        EXPECT_EQ(
            "site/link.htm: restored from site/sub/d.htm.orig\n"
            "1 pages restored, 0 failed\n0 passed over, T seconds\n",
            linked.err);
    }
    const Ran forced = run_in(t.path(), {"site/b.htm"}, RunJob::restore, false, false, true);
    EXPECT_EQ(0, forced.status);
    EXPECT_EQ(before, tree(t.path()));
}

// Remove takes away the backups whose pages are there, and keeps one whose
// page is gone, which is all that is left of it.
TEST_F(Backups, RemoveKeepsTheBackupOfAPageThatIsGone) {
    ASSERT_TRUE(fs::remove(t.path() + "/site/c.htm"));
    const Ran r = run_in(t.path(), {"site"}, RunJob::remove, true);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(walked("site/a.htm.orig\nsite/b.htm.orig\nsite/sub/d.htm.orig\n"), r.out);
    EXPECT_EQ(
        walked("site/a.htm.orig: removed\nsite/b.htm.orig: removed\n"
               "site/c.htm.orig: its page site/c.htm is not there; kept (--restore puts it back)\n"
               "site/sub/d.htm.orig: removed\n"
               "3 backups removed, 1 failed\n0 passed over, T seconds\n"),
        r.err);
    std::vector<std::string> names;
    for (const auto& [name, text] : tree(t.path())) names.push_back(name);
    std::vector<std::string> left{"site/a.htm",    "site/b.htm",    "site/c.htm.orig",
                                  "site/link.htm", "site/same.htm", "site/sub/d.htm"};
    if (!links) std::erase(left, "site/link.htm");
    EXPECT_EQ(left, names);
}

// Before a run edits, one look at its pages: with --backup, backup names
// taken already stop it (said once, with how many); else the backups that
// it will make out of date (.orig, unless it makes those) are counted in
// a note, and it goes on.
TEST_F(Backups, BackupsAreCountedOnceBeforeARunEdits) {
    const std::string way_out =
        " pages already have a backup (.orig): put the backups back with --restore, or remove "
        "them with --remove-backups, first\n";
    const std::string outdated =
        " pages have a backup that this run will make out of date (first: ";
    const std::string tail = "; --restore refuses them afterwards)\n";
    const struct {
        const char* name;
        bool walk;
        const char* backup;
        bool dry_run;
        bool stops;
        std::string said;
    } cases[] = {
        {"walked, with --backup", true, ".orig", false, true, "4" + way_out},
        {"named, with --backup", false, ".orig", false, true, "2" + way_out},
        {"walked, with another suffix", true, ".bak", false, false,
         "4" + outdated + walked("site/a.htm.orig") + tail},
        {"walked, without --backup", true, nullptr, false, false,
         "4" + outdated + walked("site/a.htm.orig") + tail},
        {"named, without --backup", false, nullptr, false, false,
         "2" + outdated + "site/a.htm.orig" + tail},
        {"walked, a dry run", true, nullptr, true, false,
         "4 pages have a backup that this run would make out of date (first: " +
             walked("site/a.htm.orig") + "; --restore would refuse them afterwards)\n"},
    };
    const auto edited = tree(t.path());
    const fs::path back = fs::current_path();
    fs::current_path(t.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> names =
            c.walk ? std::vector<std::string>{"site"}
                   : std::vector<std::string>{"site/a.htm", "site/same.htm",
                                              links ? "site/link.htm" : "site/sub/d.htm"};
        std::vector<char*> argv;
        for (std::string& name : names) argv.push_back(name.data());
        const WalkRules rules;
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.stops, backups_in_the_way(argv.data(), static_cast<int>(argv.size()),
                                              c.walk ? &rules : nullptr, c.backup, c.dry_run));
        EXPECT_EQ(c.said, testing::internal::GetCapturedStderr());
    }
    const std::string none = t.path() + "/none";
    fs::create_directories(none + "/site");
    fs::current_path(none);
    std::string folder = "site";
    std::vector<char*> site{folder.data()};
    const WalkRules rules;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(backups_in_the_way(site.data(), 1, &rules, nullptr, false));
    EXPECT_EQ("", testing::internal::GetCapturedStderr()) << "a site without backups";
    fs::current_path(back);
    fs::remove_all(none);
    EXPECT_EQ(edited, tree(t.path()));
}

}  // namespace
}  // namespace tagpolish::test

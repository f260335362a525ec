// What a run under -w tells of the files it changes (--list, --null, the
// summary), and the dry run, which names what a real run would change.
#include "driver/site/listing.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/markup_messages.h"
#include "support/test_support.h"
#include "support/traced_run.h"

namespace tagpolish::test {
namespace {

namespace fs = std::filesystem;

// What a file of a site is, as far as a run may change it.
struct Entry {
    std::string bytes;  // its content, or where a symbolic link points
    ino_t inode = 0;
    time_t mtime = 0;
    bool operator==(const Entry&) const = default;
};

// Every file and link under dir, by its path from dir.
std::map<std::string, Entry> snapshot(const std::string& dir) {
    std::map<std::string, Entry> files;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        struct stat st {};
        lstat(e.path().c_str(), &st);
        if (S_ISDIR(st.st_mode)) continue;
        const bool link = S_ISLNK(st.st_mode);
        files[e.path().lexically_relative(dir)] = {
            link ? fs::read_symlink(e.path()).string() : read_file(e.path()), st.st_ino,
            st.st_mtim.tv_sec};
    }
    return files;
}

// The names of a list whose lines end in end.
std::vector<std::string> names_in(const std::string& list, char end) {
    std::vector<std::string> names;
    for (std::size_t at = 0, next; (next = list.find(end, at)) != std::string::npos; at = next + 1)
        names.push_back(list.substr(at, next - at));
    return names;
}

// A dry run changes nothing and names the files that a real run then
// changes, each once, with the same messages; the real run's list names
// them again, in the same order, and the old text stays beside each as its
// backup. Every name given counts once in the summary.
TEST(DryRun, NamesExactlyTheFilesARealRunChanges) {
    TempDir site;
    const std::string font = "<font color=red>" + sjis("ｱ") + "</font>\n";
    site.write("a.htm", font);
    site.write("same.htm", "<p>same\n");
    site.write("bad.htm", "<font>x\n<p>a > b\n");
    ASSERT_EQ(0, mkdir((site.path() + "/sub").c_str(), 0755));
    site.write("sub/deep.htm", "<p>" + font);
    ASSERT_EQ(0,
              link((site.path() + "/sub/deep.htm").c_str(), (site.path() + "/hard.htm").c_str()));
    ASSERT_EQ(0, symlink("a.htm", (site.path() + "/link.htm").c_str()));
    site.write("old.htm", "<p>a page of its own, not named\n");
    site.write("old.htm.orig", font);
    site.write("utf8.htm", "<p>\xE6\x9C\xAC</p>\n");
    const std::vector<std::string> names{"a.htm",        "same.htm", "bad.htm",
                                         "sub/deep.htm", "link.htm", "hard.htm",
                                         "old.htm.orig", "utf8.htm", "./sub/../a.htm"};
    auto args = [&names](std::vector<std::string> options) {
        options.insert(options.end(), names.begin(), names.end());
        return options;
    };
    const auto before = snapshot(site.path());

    RunResult dry =
        run_tool_in(site.path(), args({"-w", "-d:f", "--backup", "--dry-run", "--list", "--null"}));
    RunResult real = run_tool_in(site.path(), args({"-w", "-d:f", "--backup", "--list", "--null"}));

    const std::vector<std::string> changed{"a.htm", "sub/deep.htm", "hard.htm"};
    EXPECT_EQ(changed, names_in(dry.out, '\0'));
    EXPECT_EQ(dry.out, real.out);
    const std::string messages =
        test::markup_text("bad.htm", 2, 6, "<p>a > b", test::gt_alone_lines) +
        "bad.htm: not edited (markup error)\n"
        "link.htm: the same file as a.htm, already edited in this run; passed over\n"
        "old.htm.orig: a backup (its name ends in .orig); passed over\n"
        "utf8.htm: the text is UTF-8, not Shift_JIS\nutf8.htm: failed to convert\n"
        "./sub/../a.htm: the same file as a.htm, already edited in this run; passed over\n";
    const std::string passed_over = "3 passed over, T seconds\n";
    EXPECT_EQ(messages + "3 files would be rewritten, 4 unchanged, 2 failed\n" + passed_over,
              timeless(dry.err));
    EXPECT_EQ(messages + "3 files rewritten, 4 unchanged, 2 failed\n" + passed_over,
              timeless(real.err));
    EXPECT_EQ(1, dry.status);
    EXPECT_EQ(1, real.status);

    // Between the two runs nothing changed; after the real one, exactly the
    // named files did, and each has its backup.
    auto after = snapshot(site.path());
    std::set<std::string> differ;
    for (const auto& [path, entry] : before)
        if (!(after[path] == entry)) differ.insert(path);
    EXPECT_EQ(std::set<std::string>(changed.begin(), changed.end()), differ);
    for (const std::string& path : changed) {
        SCOPED_TRACE(path);
        ASSERT_EQ(1u, after.count(path + ".orig"));
        EXPECT_EQ(before.at(path), after[path + ".orig"]) << "not the old file itself";
        after.erase(path + ".orig");
    }
    EXPECT_EQ(before.size(), after.size()) << "other files were made";
    EXPECT_EQ("<p>" + sjis("ｱ") + "\n", read_file(site.path() + "/hard.htm"));
}

// The list, the summary and the dry run as they show to a user: names as
// given, in lines, the summary on standard error, nothing for what failed.
TEST(Listing, NamesAndSummary) {
    const std::string old_page = "<font>" + sjis("ｱ") + "</font>\n";
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string out;
        std::string err;
        int status;
    } cases[] = {
        {"list",
         {"-w", "-d:f", "--list", "./a.htm", "b.htm"},
         "./a.htm\n",
         "1 files rewritten, 1 unchanged, 0 failed\n0 passed over, T seconds\n",
         0},
        {"dry run without --list",
         {"-w", "-d:f", "--dry-run", "b.htm", "a.htm"},
         "a.htm\n",
         "1 files would be rewritten, 1 unchanged, 0 failed\n0 passed over, T seconds\n",
         0},
        {"dry run in NUL",
         {"-w", "-k", "--dry-run", "--null", "a.htm", "b.htm"},
         std::string("a.htm\0", 6),
         "1 files would be rewritten, 1 unchanged, 0 failed\n0 passed over, T seconds\n",
         0},
        {"stopped run",
         {"-wkj", "--list", "a.htm", "/proc/sys/kernel/ostype", "b.htm"},
         "a.htm\n",
         "/proc/sys/kernel/ostype: cannot open to write\n  Permission denied\n"
         "b.htm: not edited (the run stopped)\n1 files rewritten, 0 unchanged, 1 failed\n"
         "0 passed over, T seconds\n",
         1},
        {"report of a run that changes nothing",
         {"-w", "-d:f", "--list", "--report", "b.htm"},
         "",
         "0 files rewritten, 1 unchanged, 0 failed\n0 passed over, T seconds\nin all: no edits\n",
         0},
        {"standard input, under -w to standard output",
         {"-wk", "--list", "--dry-run", "--backup"},
         sjis("<font>ア</font>\n"),
         "",
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("a.htm", old_page);
        dir.write("b.htm", "<p>\n");
        ChildSetup setup;
        setup.input = old_page;
        RunResult r = run_tool_in(dir.path(), c.args, setup);
        EXPECT_EQ(c.out, r.out);
        EXPECT_EQ(c.err, timeless(r.err));
        EXPECT_EQ(c.status, r.status);
    }
}

// A failed write of the list is reported once and fails the run; the files
// are still rewritten.
TEST(Listing, UnwritableListFailsTheRun) {
    TempDir dir;
    dir.write("a.htm", "<font>a</font>\n");
    dir.write("b.htm", "<font>b</font>\n");
    ChildSetup setup;
    setup.stdout_path = "/dev/full";
    RunResult r = run_tool_in(dir.path(), {"-w", "-d:f", "--list", "a.htm", "b.htm"}, setup);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(
        "standard output: cannot write\n  No space left on device\n"
        "2 files rewritten, 0 unchanged, 0 failed\n0 passed over, T seconds\n",
        timeless(r.err));
    EXPECT_EQ("a\n", read_file(dir.path() + "/a.htm"));
    EXPECT_EQ("b\n", read_file(dir.path() + "/b.htm"));
}

// Each name is out as soon as its batch is put in place, so that a reader
// down a pipe (xargs -0) can act on it while the run goes on: here while
// the run waits for another program's lock on the next page.
TEST(Listing, NamesAFileAsSoonAsItsBatchIsInPlace) {
    TempDir dir;
    dir.write("a.htm", "<font>a</font>\n");
    const std::string b = dir.write("b.htm", "<font>b</font>\n");
    const int holder = open(b.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(0, flock(holder, LOCK_EX));
    TracedRun run(dir.path(), {"-w", "-d:f", "--list", "--null", "a.htm", "b.htm"});
    if (!run.traced()) GTEST_SKIP() << "ptrace is not allowed here";
    run.release();
    std::string listed;
    for (int i = 0; i < 500 && listed.empty(); ++i) {
        usleep(10000);
        listed = run.out_so_far();
    }
    close(holder);
    RunResult r = run.wait();
    EXPECT_EQ(std::string("a.htm\0", 6), listed);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(std::string("a.htm\0b.htm\0", 12), r.out);
}

}  // namespace
}  // namespace tagpolish::test

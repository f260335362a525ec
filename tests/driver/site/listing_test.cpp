// What a run under -w tells of the files it changes (--list, --null, the
// summary), and the dry run, which names what a real run would change.
#include "driver/site/listing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/markup_messages.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

namespace fs = std::filesystem;

// What a file of a site is, as far as a run may change it.
struct Entry {
    std::string bytes;  // its content, or where a symbolic link points
    std::uint64_t inode = 0;
    std::int64_t mtime = 0;
    bool operator==(const Entry&) const = default;
};

// Every file and link under dir, by its path from dir.
std::map<std::string, Entry> snapshot(const std::string& dir) {
    std::map<std::string, Entry> files;
    for (const auto& e : fs::recursive_directory_iterator(fs_path(dir))) {
        const std::string path = name_of(e.path());
        const FileStat st = lstat_of(path);
        if (S_ISDIR(st.st_mode)) continue;
        const bool link = S_ISLNK(st.st_mode);
        files[name_of(e.path().lexically_relative(fs_path(dir)))] = {
            link ? name_of(fs::read_symlink(e.path())) : read_file(path), st.st_ino,
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
    make_folder(site.path() + "/sub");
    site.write("sub/deep.htm", "<p>" + font);
    make_hard_link(site.path() + "/sub/deep.htm", site.path() + "/hard.htm");
    site.write("old.htm", "<p>a page of its own, not named\n");
    site.write("old.htm.orig", font);
    site.write("utf8.htm", "<p>\xE6\x9C\xAC</p>\n");
    std::vector<std::string> names{"a.htm",    "same.htm",     "bad.htm",  "sub/deep.htm",
                                   "hard.htm", "old.htm.orig", "utf8.htm", "./sub/../a.htm"};
    std::string link_passed_over;
#ifndef _WIN32
    // A symbolic link to a page: Windows gives a test none to make.
    fs::create_symlink("a.htm", site.path() + "/link.htm");
    names.insert(names.begin() + 4, "link.htm");
    link_passed_over =
        "link.htm: the same file as a.htm, already edited in this run; passed over\n";
#endif
    const std::string passed = link_passed_over.empty() ? "2" : "3";
    const std::string unchanged = link_passed_over.empty() ? "3" : "4";
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
        "bad.htm: not edited (markup error)\n" + link_passed_over +
        "old.htm.orig: a backup (its name ends in .orig); passed over\n"
        "utf8.htm: the text is UTF-8, not Shift_JIS\nutf8.htm: failed to convert\n"
        "./sub/../a.htm: the same file as a.htm, already edited in this run; passed over\n";
    // A dry run writes no record, so only the real run finds that the file
    // system cannot keep one.
    const std::string unrecorded = unrecorded_backup(site.path(), "a.htm");
    const std::string counts =
        " " + unchanged + " unchanged, 2 failed\n" + passed + " passed over, T seconds\n";
    EXPECT_EQ(messages + "3 files would be rewritten," + counts, timeless(dry.err));
    EXPECT_EQ(unrecorded + messages + "3 files rewritten," + counts, timeless(real.err));
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
#ifdef _WIN32
    // A page that Windows opens to write for nobody.
    const std::string unwritable = "read-only.htm";
#else
    // A file that not even root may open to write.
    const std::string unwritable = "/proc/sys/kernel/ostype";
#endif
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
         {"-wkj", "--list", "a.htm", unwritable, "b.htm"},
         "a.htm\n",
         unwritable +
             ": cannot open to write\n  Permission denied\n"
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
#ifdef _WIN32
        const std::string read_only = dir.write(unwritable, old_page);
        set_read_only(read_only, true);
#endif
        ChildSetup setup;
        setup.input = old_page;
        RunResult r = run_tool_in(dir.path(), c.args, setup);
        EXPECT_EQ(c.out, r.out);
        EXPECT_EQ(c.err, timeless(r.err));
        EXPECT_EQ(c.status, r.status);
#ifdef _WIN32
        set_read_only(read_only, false);  // so that the folder can go
#endif
    }
}

}  // namespace
}  // namespace tagpolish::test

// Rewriting files in place (-w) beside what else happens to them: runs
// killed part way, other runs of the program and other programs writing the
// same pages.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "support/traced_run.h"

namespace tagpolish::test {
namespace {

// Where a traced run is killed: as it enters system call `call` for the
// count-th time.
struct KillPoint {
    const char* name;
    long call;
    int count;
};

// SIGKILL cannot be held back; where the new file is unnamed until the
// rename, a killed run leaves the page whole and nothing beside it.
TEST(Rewrite, KilledBeforeTheRenameLeavesOnlyThePage) {
    if (access("/dev/shm", W_OK) != 0) GTEST_SKIP() << "no /dev/shm to write in";
    TempDir dir("/dev/shm");
    const int probe = open(dir.path().c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (probe < 0) GTEST_SKIP() << "/dev/shm refuses unnamed files (O_TMPFILE)";
    close(probe);
    const std::string text = sjis(repeat("<p>ｱｲｳ</p>\n", 20000));  // several writes
    const std::string page = dir.write("page.htm", text);
    const KillPoint points[] = {
        {"while writing", SYS_writev, 2},
        {"at the sync", SYS_fdatasync, 1},
        {"before it is named", SYS_linkat, 1},
    };
    for (const auto& p : points) {
        SCOPED_TRACE(p.name);
        TracedRun run(dir.path(), {"-wk", "page.htm"});
        if (!run.traced()) GTEST_SKIP() << "ptrace is not allowed here";
        ASSERT_TRUE(run.hold_at(p.call, p.count));
        run.kill();
        EXPECT_EQ(128 + SIGKILL, run.wait().status);
        EXPECT_TRUE(text == read_file(page)) << "page damaged";
        EXPECT_EQ(std::vector<std::string>{"page.htm"}, dir.entries());
    }
}

// Two runs on one page at once (as xargs -P over overlapping lists does):
// the second waits for the first and edits its result.
TEST(Rewrite, TwoRunsOnOnePageKeepBothEdits) {
    TempDir dir;
    const std::string page = dir.write("page.htm", sjis("<p>ｱ１</p>\n"));
    TracedRun first(dir.path(), {"-wk", "page.htm"});
    if (!first.traced()) GTEST_SKIP() << "ptrace is not allowed here";
    // Held with the page read and the new text written, before the rename.
    ASSERT_TRUE(first.hold_at(SYS_fdatasync));
    TracedRun second(dir.path(), {"-wn", "page.htm"});
    second.release();
    bool waited = false;
    for (int i = 0; i < 1000 && !(waited = waits_for_lock(second.pid())); ++i) usleep(10000);

    RunResult a = first.wait();
    RunResult b = second.wait();

    EXPECT_TRUE(waited) << "the second run did not wait for the first";
    EXPECT_EQ(0, a.status);
    EXPECT_EQ("", a.err);
    EXPECT_EQ(0, b.status);
    EXPECT_EQ("", b.err);
    EXPECT_EQ(sjis("<p>ア1</p>\n"), read_file(page));
    EXPECT_EQ(std::vector<std::string>{"page.htm"}, dir.entries());
}

// A batch of pages is synced together and then renamed page by page: a
// SIGKILL anywhere in it leaves each page wholly old or wholly new, and,
// where new files are unnamed, nothing beside them. (Only the instant
// between naming a new file and renaming it over its page is not covered.)
TEST(Rewrite, KilledInABatchLeavesEachPageOldOrNew) {
    if (access("/dev/shm", W_OK) != 0) GTEST_SKIP() << "no /dev/shm to write in";
    const KillPoint points[] = {
        {"making the batch last", SYS_syncfs, 1},
        {"syncing the second page", SYS_fdatasync, 2},
        {"naming the second page, the first renamed", SYS_linkat, 2},
        {"syncing the directory, every page renamed", SYS_fsync, 1},
    };
    const std::vector<std::string> names{"a.htm", "b.htm", "c.htm"};
    const std::string old_text = sjis("<p>ｱｲｳ</p>\n"), new_text = sjis("<p>アイウ</p>\n");
    for (const auto& p : points) {
        SCOPED_TRACE(p.name);
        TempDir dir("/dev/shm");
        const int probe = open(dir.path().c_str(), O_TMPFILE | O_WRONLY, 0600);
        if (probe < 0) GTEST_SKIP() << "/dev/shm refuses unnamed files (O_TMPFILE)";
        close(probe);
        for (const std::string& name : names) dir.write(name, old_text);
        std::vector<std::string> args{"-wk"};
        args.insert(args.end(), names.begin(), names.end());
        TracedRun run(dir.path(), args);
        if (!run.traced()) GTEST_SKIP() << "ptrace is not allowed here";
        ASSERT_TRUE(run.hold_at(p.call, p.count));
        run.kill();
        EXPECT_EQ(128 + SIGKILL, run.wait().status);
        for (const std::string& name : names) {
            const std::string text = read_file(dir.path() + "/" + name);
            EXPECT_TRUE(text == old_text || text == new_text) << name << " damaged";
        }
        EXPECT_EQ(names, dir.entries());
    }
}

// Two runs over overlapping lists in opposite orders (as xargs -P does):
// a run whose next page is locked by the other first commits the pages it
// holds, and only then waits, so neither waits for the other for ever and
// every page gets both edits.
TEST(Rewrite, RunsOverListsInOppositeOrdersBothFinish) {
    TempDir dir;
    std::vector<std::string> names;
    for (int i = 0; i < 150; ++i)
        names.push_back(dir.write("p" + std::to_string(i) + ".htm", sjis("<p>ｱ１</p>\n")));
    std::vector<std::string> forward{"-wk"}, backward{"-wn"};
    forward.insert(forward.end(), names.begin(), names.end());
    backward.insert(backward.end(), names.rbegin(), names.rend());
    TracedRun first(dir.path(), forward);
    if (!first.traced()) GTEST_SKIP() << "ptrace is not allowed here";
    // Held as it commits its first full batch: it holds those pages' locks.
    ASSERT_TRUE(first.hold_at(SYS_syncfs));
    TracedRun second(dir.path(), backward);
    second.release();
    bool waited = false;
    for (int i = 0; i < 1000 && !(waited = waits_for_lock(second.pid())); ++i) usleep(10000);
    EXPECT_TRUE(waited) << "the second run did not reach a page the first holds";
    // Before it waited, the second run put the pages it held in place.
    EXPECT_EQ(sjis("<p>ｱ1</p>\n"), read_file(names[64]));

    first.release();
    bool done = false;
    for (int i = 0; i < 3000 && !done; ++i, usleep(10000))
        done = std::all_of(names.begin(), names.end(), [](const std::string& name) {
            return read_file(name) == sjis("<p>ア1</p>\n");
        });
    if (!done) {
        first.kill();
        second.kill();
    }
    RunResult a = first.wait(), b = second.wait();
    EXPECT_TRUE(done) << "the runs did not finish";
    EXPECT_EQ(0, a.status);
    EXPECT_EQ("", a.err);
    EXPECT_EQ(0, b.status);
    EXPECT_EQ("", b.err);
    EXPECT_EQ(150u, dir.entries().size());
}

// Another program that appends to a page, writes it in place or replaces it
// by a rename while the page waits in a batch keeps its change: the page
// is refused, gets no backup, and is not listed; the other pages go on.
TEST(Rewrite, OutsideWriterDuringABatchKeepsItsChange) {
    TempDir dir;
    const std::vector<std::string> names{"a.htm", "b.htm", "c.htm", "d.htm"};
    const std::string page = sjis("<p>ｱｲｳ</p>\n");
    for (const std::string& name : names) make_old(dir.write(name, page));
    TracedRun run(dir.path(), {"-wk", "--backup", "--list", "a.htm", "b.htm", "c.htm", "d.htm"});
    if (!run.traced()) GTEST_SKIP() << "ptrace is not allowed here";
    // Held as it commits: every page is read and waits in the batch.
    ASSERT_TRUE(run.hold_at(SYS_syncfs));
    std::ofstream(dir.path() + "/a.htm", std::ios::app) << "<p>added</p>\n";
    const int b = open((dir.path() + "/b.htm").c_str(), O_WRONLY);
    ASSERT_EQ(4, pwrite(b, "<b> ", 4, 0));
    close(b);
    dir.write("c.new", "<p>theirs</p>\n");
    ASSERT_EQ(0, std::rename((dir.path() + "/c.new").c_str(), (dir.path() + "/c.htm").c_str()));
    const RunResult r = run.wait();

    std::string refused;
    for (const char* name : {"a.htm", "b.htm", "c.htm"})
        refused += name + std::string(": the file changed while it was read\n") + name +
                   ": failed to convert\n";
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(refused + "1 files rewritten, 0 unchanged, 3 failed\n0 passed over, T seconds\n",
              timeless(r.err));
    EXPECT_EQ("d.htm\n", r.out);
    EXPECT_TRUE(page + "<p>added</p>\n" == read_file(dir.path() + "/a.htm"));
    EXPECT_TRUE("<b> " + page.substr(4) == read_file(dir.path() + "/b.htm"));
    EXPECT_EQ("<p>theirs</p>\n", read_file(dir.path() + "/c.htm"));
    EXPECT_EQ(sjis("<p>アイウ</p>\n"), read_file(dir.path() + "/d.htm"));
    EXPECT_EQ((std::vector<std::string>{"a.htm", "b.htm", "c.htm", "d.htm", "d.htm.orig"}),
              dir.entries());
}

// Whether the file system of dir gives a new file the inode number of one
// just removed, as ext4 does (tmpfs never does).
bool reuses_inode_numbers(const TempDir& dir) {
    for (int i = 0; i < 20; ++i) {
        const std::string gone = dir.write("probe-" + std::to_string(i), "x");
        const ino_t freed = lstat_of(gone).st_ino;
        unlink(gone.c_str());
        const std::string next = dir.write("probe-next", "x");
        const bool reused = lstat_of(next).st_ino == freed;
        unlink(next.c_str());
        if (reused) return true;
    }
    return false;
}

// Four runs at once with different options, over the same pages in
// different orders (xargs -P over overlapping lists), on a file system
// that reuses inode numbers: every edit lands in every page, although the
// runs free and take each other's inode numbers all the time.
TEST(Rewrite, RunsAtOnceKeepEveryEditWhereInodeNumbersAreReused) {
    TempDir dir;
    if (!reuses_inode_numbers(dir))
        GTEST_SKIP() << dir.path() << " is on a file system that reuses no inode numbers";
    std::vector<std::string> names;
    for (int i = 0; i < 120; ++i)
        names.push_back(dir.write("p" + std::to_string(i) + ".htm", sjis("<font>ｱ１Ａ</font>\n")));
    const std::vector<std::vector<std::string>> options{{"-wk"}, {"-wn"}, {"-wa"}, {"-w", "-d:f"}};
    std::vector<std::unique_ptr<TracedRun>> runs;
    std::minstd_rand shuffle(19);
    for (const auto& opts : options) {
        std::vector<std::string> args = names;
        std::shuffle(args.begin(), args.end(), shuffle);
        args.insert(args.begin(), opts.begin(), opts.end());
        runs.push_back(std::make_unique<TracedRun>(dir.path(), args));
        if (!runs.back()->traced()) GTEST_SKIP() << "ptrace is not allowed here";
    }
    for (auto& run : runs) run->release();
    for (auto& run : runs) {
        const RunResult r = run->wait();
        EXPECT_EQ(0, r.status);
        // A run that waits over a second for another's lock says so: on a
        // busy machine (or under the sanitizers) that is no fault.
        std::istringstream lines(r.err);
        std::string other;
        for (std::string line; std::getline(lines, line);)
            if (!line.ends_with(": waiting for another program's lock")) other += line + "\n";
        EXPECT_EQ("", other);
    }
    int lost = 0;
    for (const std::string& name : names) lost += read_file(name) != sjis("ア1A\n");
    EXPECT_EQ(0, lost) << "pages that lack an edit";
    EXPECT_EQ(names.size(), dir.entries().size());
}

}  // namespace
}  // namespace tagpolish::test

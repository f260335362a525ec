// What a run under -w tells of the files it changes, where only POSIX lets
// a test see it: a list written to a full device (/dev/full), and the list
// read while the run is held under ptrace.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "support/test_support.h"
#include "support/traced_run.h"

namespace tagpolish::test {
namespace {

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

// Rewriting in place (-w) through the loop over the inputs with what only
// POSIX gives a test: a symbolic link made by symlink(), and a child held
// to a file size or an address space by its resource limits.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "driver/file_loop.h"
#include "support/test_support.h"

namespace tagpolish {
namespace {

using test::read_file;
using test::repeat;
using test::run_tool_in;
using test::RunResult;
using test::TempDir;

const std::string zen_12 = "\x82\x50\x82\x51";  // full-width "12"

// A symbolic link is followed: its target gets the new text, in the
// target's own folder, and the link stays a link.
TEST(FileLoop, RewriteFollowsSymbolicLinks) {
    TempDir dir, elsewhere;
    std::string target = elsewhere.write("page.htm", zen_12 + "\n");
    std::string link = dir.path() + "/link.htm";
    ASSERT_EQ(0, symlink(target.c_str(), link.c_str()));

    RunResult r = run_tool_in(dir.path(), {"-wn", "link.htm"});

    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("12\n", read_file(target));
    struct stat st {};
    ASSERT_EQ(0, lstat(link.c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(std::vector<std::string>{"link.htm"}, dir.entries());
    EXPECT_EQ(std::vector<std::string>{"page.htm"}, elsewhere.entries());
}

// A rewrite that cannot be written whole leaves the old file as it was and
// no temporary file behind, and ends the run at once.
TEST(FileLoop, FailedRewriteKeepsTheOriginal) {
    TempDir dir;
    const std::string page = repeat(zen_12 + "\n", 5000);  // 25000 bytes, 15000 after -n
    dir.write("page.htm", page);
    dir.write("next.htm", zen_12 + "\n");

    test::ChildSetup setup;
    setup.file_size = 8192;
    RunResult r = run_tool_in(dir.path(), {"-nw", "page.htm", "next.htm"}, setup);

    EXPECT_EQ(1, r.status);
    EXPECT_EQ(
        "page.htm: failed to rewrite\n  File too large\n"
        "next.htm: not edited (the run stopped)\n",
        r.err);
    EXPECT_TRUE(page == read_file(dir.path() + "/page.htm"));
    EXPECT_EQ(zen_12 + "\n", read_file(dir.path() + "/next.htm"));
    EXPECT_EQ((std::vector<std::string>{"next.htm", "page.htm"}), dir.entries());
}

// Running out of memory names the input being edited and those left, and
// the summary of --list still comes. A page takes memory for its longest
// line, which is held whole: here one line of 32 MB.
TEST(FileLoop, MemoryFailureNamesTheInputAndThoseLeft) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer's allocator needs more address space than the limit";
#endif
    TempDir dir;
    const std::string big = repeat("<p>" + repeat("\xB1", 58) + "</p>", 500000) + "\n";
    dir.write("big.htm", big);
    dir.write("next.htm", "\xB1\n");
    test::ChildSetup setup;
    setup.address_space = 24 << 20;

    RunResult r = run_tool_in(dir.path(), {"-wk", "--list", "big.htm", "next.htm"}, setup);

    EXPECT_EQ(1, r.status);
    EXPECT_EQ(
        "cannot get memory\n  while editing big.htm\nnext.htm: not edited (the run stopped)\n"
        "0 files rewritten, 0 unchanged, 1 failed\n0 passed over, T seconds\n",
        test::timeless(r.err));
    EXPECT_TRUE(big == read_file(dir.path() + "/big.htm"));
    EXPECT_EQ("\xB1\n", read_file(dir.path() + "/next.htm"));
    EXPECT_EQ((std::vector<std::string>{"big.htm", "next.htm"}), dir.entries());
}

// A run that stops for want of memory first puts in place the rewrites
// that wait for their batch, as if each had been made in its turn.
TEST(FileLoop, MemoryFailureCommitsThePendingRewrites) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer's allocator needs more address space than the limit";
#endif
    TempDir dir;
    const std::string big = repeat("<p>" + repeat("\xB1", 58) + "</p>", 500000) + "\n";
    dir.write("small.htm", "\xB1\n");
    dir.write("big.htm", big);
    dir.write("next.htm", "\xB1\n");
    test::ChildSetup setup;
    setup.address_space = 24 << 20;

    RunResult r =
        run_tool_in(dir.path(), {"-wk", "--list", "small.htm", "big.htm", "next.htm"}, setup);

    EXPECT_EQ(1, r.status);
    EXPECT_EQ("small.htm\n", r.out);
    EXPECT_EQ(
        "cannot get memory\n  while editing big.htm\nnext.htm: not edited (the run stopped)\n"
        "1 files rewritten, 0 unchanged, 1 failed\n0 passed over, T seconds\n",
        test::timeless(r.err));
    EXPECT_EQ("\x83\x41\n", read_file(dir.path() + "/small.htm"));
    EXPECT_TRUE(big == read_file(dir.path() + "/big.htm"));
    EXPECT_EQ((std::vector<std::string>{"big.htm", "next.htm", "small.htm"}), dir.entries());
}

}  // namespace
}  // namespace tagpolish

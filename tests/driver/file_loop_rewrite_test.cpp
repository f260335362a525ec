// Rewriting in place (-w) through the loop over the inputs: the file gets
// its new text in place and keeps its permission bits, and a run that
// stops leaves every page whole and names those it left.
#include <gtest/gtest.h>

#include <cstdint>
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

std::uint32_t mode_of(const std::string& path) {
    return test::lstat_of(path).st_mode & 07777;
}

const std::string zen_12 = "\x82\x50\x82\x51";  // full-width "12"

// -w with standard input writes the result to standard output and never a
// file named "stdin".
TEST(FileLoop, RewriteWithoutFileWritesToStandardOutput) {
    TempDir dir;
    for (const std::string& input : {zen_12 + "\n", zen_12 + "\n\x1A"
                                                             "tail\n"}) {
        test::ChildSetup setup;
        setup.input = input;
        RunResult r = run_tool_in(dir.path(), {"-nw"}, setup);
        EXPECT_EQ(0, r.status);
        EXPECT_EQ("12\n", r.out);
        EXPECT_EQ("", r.err);
        EXPECT_EQ(std::vector<std::string>{}, dir.entries());
    }
}

// -w replaces the file with its edited text, keeps its permission bits, and
// leaves nothing else in the folder.
TEST(FileLoop, RewriteReplacesTheFileInPlace) {
    TempDir dir;
    std::string page = dir.write("page.htm", "<p>" + zen_12 + "\n" + repeat("\n", 5) + "end");
    std::string other = dir.write("other.htm", zen_12 + "\r\n");
#ifdef _WIN32
    // Windows holds no permission bits; the read-only attribute is kept as
    // the Windows cases show.
    const std::uint32_t page_mode = 0644, other_mode = 0644;
#else
    const std::uint32_t page_mode = 0640, other_mode = 0604;
    chmod(page.c_str(), page_mode);
    chmod(other.c_str(), other_mode);
#endif

    RunResult r = run_tool_in(dir.path(), {"-wn", "page.htm", "other.htm"});

    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("<p>12\n" + repeat("\n", 5) + "end", read_file(page));
    EXPECT_EQ("12\r\n", read_file(other));
    EXPECT_EQ(page_mode, mode_of(page));
    EXPECT_EQ(other_mode, mode_of(other));
    EXPECT_EQ((std::vector<std::string>{"other.htm", "page.htm"}), dir.entries());
}

// A page that cannot be rewritten (no new file can be made beside it)
// stops the run, which names every input it leaves unedited; joining makes
// the one-line file change.
TEST(FileLoop, StoppedRunNamesEveryInputItLeft) {
    TempDir dir;
    for (const char* name : {"a.htm", "b.htm", "c.htm"}) dir.write(name, "a\nb\n");
    const std::string name = "/proc/sys/kernel/ostype";
    const std::string before = read_file(name);

    RunResult r = run_tool_in(dir.path(), {"-wj", "a.htm", name, "b.htm", "c.htm", "a.htm"});

    EXPECT_EQ(1, r.status);
    EXPECT_EQ(name + ": cannot open to write\n  Permission denied\n" +
                  "b.htm: not edited (the run stopped)\n"
                  "c.htm: not edited (the run stopped)\n"
                  "a.htm: not edited (the run stopped)\n",
              r.err);
    EXPECT_EQ(before, read_file(name));
    EXPECT_EQ("a b", read_file(dir.path() + "/a.htm"));
    EXPECT_EQ("a\nb\n", read_file(dir.path() + "/b.htm"));
    EXPECT_EQ("a\nb\n", read_file(dir.path() + "/c.htm"));
}

}  // namespace
}  // namespace tagpolish

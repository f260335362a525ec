// A run started with standard descriptors closed: the files it opens never
// take their numbers, so no message and no name of the list goes into a
// page.
#include "driver/command_line/startup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace tagpolish::test {
namespace {

TEST(Startup, ClosedStandardDescriptorsNeverReachAPage) {
    const std::string kana = "<p>\xB1</p>\n", full = "<p>\x83\x41</p>\n";
    for (int closed = 0; closed < 8; ++closed) {
        SCOPED_TRACE("closed: " + std::string(closed & 1 ? "0 " : "") + (closed & 2 ? "1 " : "") +
                     (closed & 4 ? "2" : ""));
        TempDir dir;
        dir.write("a.htm", kana);
        dir.write("b.htm", kana);
        ChildSetup setup;
        setup.closed = closed;

        const RunResult r =
            run_tool_in(dir.path(), {"-wk", "--list", "a.htm", "missing.htm", "b.htm"}, setup);

        const bool out = !(closed & 2), err = !(closed & 4);
        EXPECT_EQ(1, r.status);
        EXPECT_EQ(full, read_file(dir.path() + "/a.htm"));
        EXPECT_EQ(full, read_file(dir.path() + "/b.htm"));
        EXPECT_EQ((std::vector<std::string>{"a.htm", "b.htm"}), dir.entries());
        EXPECT_EQ(out ? "a.htm\nb.htm\n" : "", r.out);
        // The list fails with the first page's line, which comes first.
        const std::string said =
            std::string(out ? "" : "standard output: cannot write\n  Bad file descriptor\n") +
            "missing.htm: not found\n  No such file or directory\n"
            "2 files rewritten, 0 unchanged, 1 failed\n0 passed over, T seconds\n";
        EXPECT_EQ(err ? said : "", timeless(r.err));
    }
}

}  // namespace
}  // namespace tagpolish::test

// Runs of the executable over a site at once, started together under
// ptrace (support/traced_run.h), which POSIX alone gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"
#include "support/traced_run.h"

namespace tagpolish::test {
namespace {

namespace fs = std::filesystem;

// Two runs at once, each with several jobs, over trees that overlap (xargs
// -P over overlapping lists, or two users): both finish, and every page has
// both edits.
TEST(RunsAtOnce, OverlappingTreesKeepBothEdits) {
    TempDir t;
    for (int d = 0; d < 3; ++d) fs::create_directories(t.path() + "/d" + std::to_string(d));
    for (int d = 0; d < 3; ++d)
        for (int i = 0; i < 60; ++i)
            t.write("d" + std::to_string(d) + "/p" + std::to_string(i) + ".htm",
                    sjis("<p>ｱ１</p>\n"));
    TracedRun kana(t.path(), {"-w", "-r", "-k", "--jobs=3", "d1", "."});
    TracedRun digits(t.path(), {"-w", "-r", "-n", "--jobs=3", ".", "d2"});
    if (!kana.traced() || !digits.traced()) GTEST_SKIP() << "ptrace is not allowed here";
    kana.release();
    digits.release();
    const RunResult k = kana.wait(), n = digits.wait();
    EXPECT_EQ(0, k.status) << k.err;
    EXPECT_EQ(0, n.status) << n.err;
    for (const auto& e : fs::recursive_directory_iterator(t.path()))
        if (e.is_regular_file()) {
            EXPECT_EQ(sjis("<p>ア1</p>\n"), read_file(e.path())) << e.path();
        }
}

}  // namespace
}  // namespace tagpolish::test

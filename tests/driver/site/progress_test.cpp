// The status line of a run under -w: drawn on a terminal, cleared before
// each message and drawn again after it, cleared at the end; never in a
// file, and not with --quiet.
#include "driver/site/progress.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "driver/site/listing.h"
#include "support/terminal_run.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

TEST(StatusLine, OnATerminalOnlyAndNeverInTheMessages) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() + "/site");
    for (int i = 10; i < 40; ++i)
        dir.write("site/p" + std::to_string(i) + ".htm", "<font>x</font>\n");
    dir.write("site/p25.htm", "a > b\n");  // a message in the middle of the run
    const std::vector<std::string> args{"-w", "-r", "-d:f", "--dry-run", "site"};

    const RunResult logged = run_tool_in(dir.path(), args);
    const RunResult shown = run_on_terminal(dir.path(), args, "C");
    std::vector<std::string> quiet_args = args;
    quiet_args.insert(quiet_args.begin(), "--quiet");
    const RunResult quiet = run_on_terminal(dir.path(), quiet_args, "C");

    EXPECT_EQ(1, shown.status);
    EXPECT_EQ(std::string::npos, logged.err.find('\x1b'));
    EXPECT_EQ(timeless(logged.err), timeless(quiet.err));
    // A drawing goes back to the line's start and clears it (after a
    // message, the line starts afresh); the line itself never holds a line
    // end. Taken out, the messages are as in a log, and the last clearing
    // comes before the summary.
    const std::regex line(
        "(\r\x1b\\[K)?[0-9]+ of [0-9]+ pages( found so far)?, [0-9.]+ MB, "
        "[0-9]+ would change, [0-9]+ failed, [0-9.]+ s");
    EXPECT_TRUE(std::regex_search(shown.err, line)) << shown.err;
    const std::string bare =
        std::regex_replace(std::regex_replace(shown.err, line, ""), std::regex("\r\x1b\\[K"), "");
    EXPECT_EQ(timeless(logged.err), timeless(bare));
    EXPECT_NE(std::string::npos, shown.err.find("\r\x1b[Ksite/p25.htm:"));
    EXPECT_NE(std::string::npos, shown.err.find("\r\x1b[K29 files would be rewritten"));
}

// The total is told as found so far until the walk has ended; a dry run
// tells what would change, not what was rewritten; a narrow terminal gets
// the line cut short of its width.
TEST(StatusLine, SaysWhatItKnows) {
    const struct {
        bool all_found;
        RunJob job;
        bool dry_run;
        std::size_t width;
        std::string text;
    } cases[] = {
        {true, RunJob::edit, false, 80, "3 of 40 pages, 1.5 MB, 2 rewritten, 1 failed, 0.4 s"},
        {false, RunJob::edit, false, 80,
         "3 of 40 pages found so far, 1.5 MB, 2 rewritten, 1 failed, 0.4 s"},
        {true, RunJob::edit, true, 80, "3 of 40 pages, 1.5 MB, 2 would change, 1 failed, 0.4 s"},
        {false, RunJob::restore, true, 80,
         "3 of 40 pages found so far, 1.5 MB, 2 would be restored, 1 failed, 0.4 s"},
        {true, RunJob::remove, false, 80, "3 of 40 pages, 1.5 MB, 2 removed, 1 failed, 0.4 s"},
        {false, RunJob::edit, true, 30, "3 of 40 pages found so far, 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const Progress p{.done = 3,
                         .found = 40,
                         .bytes = 3 << 19,
                         .rewritten = 2,
                         .failed = 1,
                         .seconds = 0.4,
                         .all_found = c.all_found,
                         .changed = changed_word(c.job, c.dry_run)};
        EXPECT_EQ(c.text, progress_text(p, c.width));
    }
}

}  // namespace
}  // namespace tagpolish::test

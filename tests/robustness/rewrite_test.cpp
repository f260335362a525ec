// Rewriting files in place (-w) when things go wrong: after every run the
// file holds either its old bytes or the whole new text, a file is edited
// once however many names lead to it, and no temporary file is left
// behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/markup_messages.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

TEST(Rewrite, UnchangedTextIsNotRewritten) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> options;
    };
    const Case cases[] = {
        {"LF page", "<p>page</p>\n<p>two</p>\n", {"-w"}},
        {"CR LF page", "<p>page</p>\r\n<p>two</p>\r\n", {"-w"}},
        {"no final newline", "<p>page</p>", {"-w"}},
        {"empty file", "", {"-w"}},
        {"edits that find nothing", sjis("<p>日本語の文</p>\n"), {"-waknsu", "-d:abcfhilos"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string path = dir.write("page.htm", c.text);
        make_old(path);
        FileStat before = lstat_of(path);
        std::vector<std::string> args = c.options;
        args.push_back(path);
        RunResult r = run_tool(args);
        EXPECT_EQ(0, r.status);
        EXPECT_EQ("", r.err);
        FileStat after = lstat_of(path);
        EXPECT_EQ(before.st_ino, after.st_ino);
        EXPECT_EQ(old_time, after.st_mtim.tv_sec);
        EXPECT_EQ(c.text, read_file(path));
        EXPECT_EQ(std::vector<std::string>{"page.htm"}, dir.entries());
    }
}

// A page is edited at most once per run: a later name that leads to a file
// the run has written, or has read and left unchanged, is passed over with
// a note that is not a failure. A hard link to a page that was replaced
// still holds the old text, and is edited in its turn.
TEST(Rewrite, EachFileIsEditedOncePerRun) {
    TempDir dir;
    // A second -u would cut "./x" down to "x".
    std::string path = dir.write("page.htm", "<a href=abc/x>\n");
    std::string kept = dir.write("kept.htm", "<p>\n");
    std::string hard = dir.path() + "/hard.htm", kept_hard = dir.path() + "/kept-hard.htm";
    make_hard_link(path, hard);
    make_hard_link(kept, kept_hard);
    auto passed_over = [](const std::string& later, const std::string& earlier) {
        return later + ": the same file as " + earlier +
               ", already edited in this run; passed over\n";
    };

    RunResult r = run_tool({"-wu", path, path, kept, kept_hard, hard});

    EXPECT_EQ(0, r.status);
    EXPECT_EQ(passed_over(path, path) + passed_over(kept_hard, kept), r.err);
    EXPECT_EQ("<a href=./x>\n", read_file(path));
    EXPECT_EQ("<a href=./x>\n", read_file(hard)) << "the hard link held the old text";
    EXPECT_EQ("<p>\n", read_file(kept));

    // Without -w each name is edited, to standard output.
    std::string other = dir.write("other.htm", "<a href=abc/x>\n");
    r = run_tool({"-u", other, other});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("<a href=./x>\n<a href=./x>\n", r.out);
}

TEST(Rewrite, RejectedFilesAreLeftByteForByte) {
    struct Case {
        const char* name;
        std::string text;
        std::string why;  // the message before the last line, without the path
        const char* last = ": failed to convert\n";
    };
    const Case cases[] = {
        {"markup error", sjis("<p>>１\n"), ":1:4: " + sjis("<p>>１") + "\n" + test::gt_alone_lines,
         ": not edited (markup error)\n"},
        {"NUL byte", sjis("１\n２") + std::string(1, '\0') + "\n", ":2: NUL byte in the text\n"},
        {"text after 0x1A", sjis("１\n") + "\x1A" + sjis("２\n"),
         ": text after end-of-file mark (0x1A)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string bad = dir.write("bad.htm", c.text);
        std::string good = dir.write("good.htm", sjis("１\n"));
        make_old(bad);
        FileStat before = lstat_of(bad);
        RunResult r = run_tool({"-wn", bad, good});
        EXPECT_EQ(1, r.status);
        EXPECT_EQ(bad + c.why + bad + c.last, r.err);
        EXPECT_TRUE(c.text == read_file(bad)) << "rejected file changed";
        FileStat after = lstat_of(bad);
        EXPECT_EQ(before.st_ino, after.st_ino);
        EXPECT_EQ(old_time, after.st_mtim.tv_sec);
        EXPECT_EQ("1\n", read_file(good));
        EXPECT_EQ((std::vector<std::string>{"bad.htm", "good.htm"}), dir.entries());
    }
}

}  // namespace
}  // namespace tagpolish::test

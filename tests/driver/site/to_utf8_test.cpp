// --to-utf8 as a run goes: to standard output a page at a time, whole or
// not at all; under -w -r with the site's style sheets; pages already in
// UTF-8 passed over, so that a second run changes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace tagpolish {
namespace {

using test::read_file;
using test::run_tool_in;
using test::TempDir;
using test::walked;

// The arguments of a --restore run over dir (the last one its folder):
// with --force where its file system keeps no backup records (wine keeps
// no named streams).
std::vector<std::string> restoring(const TempDir& dir, std::vector<std::string> args) {
    if (!test::keeps_user_attributes(dir.path())) args.insert(args.end() - 1, "--force");
    return args;
}

const std::string sjis_page = "<html><head><meta charset=Shift_JIS></head>\r\n\x93\xFA\r\n";
const std::string utf8_page = "<html><head><meta charset=UTF-8></head>\r\n\xE6\x97\xA5\r\n";

TEST(ToUtf8, ToStandardOutputWholeOrNotAtAll) {
    const struct {
        std::string page;
        std::vector<std::string> options;
        int status;
        std::string out, err;
    } cases[] = {
        {sjis_page, {"--to-utf8"}, 0, utf8_page, ""},
        {utf8_page, {"--to-utf8"}, 0, "", "page.htm: already UTF-8; passed over\n"},
        // Another edit first, on the Shift_JIS text.
        {"<p>\x82\x50\n", {"-n", "--to-utf8"}, 0, "<meta charset=\"UTF-8\"><p>1\n", ""},
        {"<p>a\n<p>b\xA0\n",
         {"--to-utf8"},
         1,
         "",
         "page.htm: line 2, byte 5 does not convert to UTF-8; not converted\n"
         "page.htm: failed to convert\n"},
        // The end-of-file mark stays.
        {"<p>\x82\xA0\n\x1A",
         {"--to-utf8"},
         0,
         "<meta charset=\"UTF-8\"><p>\xE3\x81\x82\n\x1A",
         ""},
        {"<p>b\xA0\n", {"--to-utf8=replace"}, 0, "<meta charset=\"UTF-8\"><p>b\xEF\xBF\xBD\n", ""},
        {"<p>b\n",
         {"--to-utf8=yes"},
         1,
         "",
         "--to-utf8=yes: give --to-utf8 alone or --to-utf8=replace\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("page.htm", c.page);
        std::vector<std::string> args = c.options;
        args.push_back("page.htm");
        const test::RunResult run = run_tool_in(dir.path(), args);
        EXPECT_EQ(c.status, run.status) << c.page;
        EXPECT_EQ(c.out, run.out) << c.page;
        EXPECT_EQ(c.err, run.err) << c.page;
        EXPECT_EQ(c.page, read_file(dir.path() + "/page.htm"));
    }
}

TEST(ToUtf8, ASiteWithItsStyleSheetsOnceOnly) {
    TempDir dir;
    dir.write("index.htm", sjis_page);
    dir.write("done.htm", utf8_page);
    dir.write("site.css", "@charset \"Shift_JIS\";\nbody { font-family: \"\x82\x6C\x82\x72\" }\n");
    dir.write("notes.txt", "\x93\xFA\n");
    const test::RunResult first =
        run_tool_in(dir.path(), {"-w", "-r", "--to-utf8", "--report", "--backup", "."});
    EXPECT_EQ(0, first.status) << first.err;
    EXPECT_EQ(walked("./index.htm: declarations made UTF-8 1, characters converted 1\n"
                     "./site.css: declarations made UTF-8 1, characters converted 2\n"),
              first.out);
    EXPECT_NE(std::string::npos,
              first.err.find(walked("./done.htm: already UTF-8; passed over\n")));
    EXPECT_EQ(utf8_page, read_file(dir.path() + "/index.htm"));
    EXPECT_EQ("@charset \"UTF-8\";\nbody { font-family: \"\xEF\xBC\xAD\xEF\xBC\xB3\" }\n",
              read_file(dir.path() + "/site.css"));
    EXPECT_EQ("\x93\xFA\n", read_file(dir.path() + "/notes.txt"));
    const test::RunResult restore =
        run_tool_in(dir.path(), restoring(dir, {"-w", "-r", "--restore", "."}));
    EXPECT_EQ(0, restore.status) << restore.err;
    EXPECT_EQ(sjis_page, read_file(dir.path() + "/index.htm"));
    EXPECT_EQ(0, run_tool_in(dir.path(), {"-w", "-r", "--to-utf8", "."}).status);
    const test::RunResult second =
        run_tool_in(dir.path(), {"-w", "-r", "--to-utf8", "--list", "."});
    EXPECT_EQ(0, second.status);
    EXPECT_NE(std::string::npos, second.err.find("0 files rewritten, 3 unchanged, 0 failed\n"))
        << second.err;
}

// A page's script says UTF-8 when its file is converted by the same run,
// which --include makes take scripts; not otherwise.
TEST(ToUtf8, AScriptSaysUtf8OnlyWithItsFile) {
    TempDir dir;
    const std::string page = "<head><script src=a.js charset=Shift_JIS></script>\n";
    dir.write("index.htm", page);
    dir.write("a.js", "w('<p>\x93\xFA')\n");
    const test::RunResult pages_only =
        run_tool_in(dir.path(), {"-w", "-r", "--to-utf8", "--report", "--dry-run", "."});
    EXPECT_EQ(walked("./index.htm\n./index.htm: declarations added 1, script charsets kept 1\n"),
              pages_only.out);
    const test::RunResult with_scripts = run_tool_in(
        dir.path(),
        {"-w", "-r", "--to-utf8", "--report", "--include=*.htm", "--include=*.js", "."});
    EXPECT_EQ(0, with_scripts.status) << with_scripts.err;
    EXPECT_EQ(walked("./a.js: characters converted 1\n"
                     "./index.htm: declarations made UTF-8 1, declarations added 1\n"),
              with_scripts.out);
    EXPECT_EQ("w('<p>\xE6\x97\xA5')\n", read_file(dir.path() + "/a.js"));
    EXPECT_EQ("<head><meta charset=\"UTF-8\"><script src=a.js charset=UTF-8></script>\n",
              read_file(dir.path() + "/index.htm"));
}

}  // namespace
}  // namespace tagpolish

// What only Windows can get wrong: names beyond the ANSI code page, the
// text mode of the C runtime's streams, and Ctrl-Break from the console.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/markup_messages.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

// A file made by its UTF-16 name, as Explorer or a Japanese desktop makes
// it, so that the test does not rest on the program's own conversion.
void write_wide(const std::wstring& path, const std::string& bytes) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(bytes.size(), std::fwrite(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
}

std::wstring wide_path(const std::string& utf8_path) {
    return fs_path(utf8_path).wstring();
}

// A Japanese name, by itself in its folder and as a whole path: the page is
// edited, and a message names the file as it was given.
// -w and what needs it are refused before any file is touched.
TEST(WindowsRefusals, RewriteOptionsAreRefusedBeforeAnyFileIsTouched) {
    const struct {
        std::vector<std::string> args;
        const char* refused;
    } cases[] = {
        {{"-w"}, "-w"},
        {{"-akw", "-r"}, "-w"},
        {{"-rw"}, "-r"},
        {{"-a", "--recursive"}, "--recursive"},
        {{"--list", "--backup=.bak", "-w"}, "--backup"},
        {{"--restore"}, "--restore"},
        {{"-k", "--remove-backups=.old"}, "--remove-backups"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string page = sjis("<FONT SIZE=3>ＡＢＣ</FONT>\n");
        dir.write("page.htm", page);
        std::vector<std::string> args = c.args;
        args.push_back("page.htm");
        RunResult r = run_tool_in(dir.path(), args);
        std::string shown;
        for (const std::string& a : args) shown += a + " ";
        EXPECT_EQ(1, r.status) << shown;
        EXPECT_EQ(std::string(c.refused) + ": not yet available on Windows\n", r.err) << shown;
        EXPECT_EQ("", r.out) << shown;
        EXPECT_EQ(page, read_file(dir.path() + "/page.htm")) << shown;
        EXPECT_EQ(std::vector<std::string>{"page.htm"}, dir.entries()) << shown;
    }
}

TEST(WindowsNames, JapaneseFileNameIsOpenedAndNamedInMessages) {
    TempDir dir;
    const std::string name = "ページ.htm", broken = "壊れた.htm";
    write_wide(wide_path(dir.path()) + L"\\\x30DA\x30FC\x30B8.htm", sjis("<p>１２</p>\r\n"));
    write_wide(wide_path(dir.path()) + L"\\\x58CA\x308C\x305F.htm", "<p>>\n");
    for (const std::string& folder : {std::string(), dir.path() + "/"}) {
        SCOPED_TRACE(folder);
        RunResult r = run_tool_in(dir.path(), {"-n", folder + name});
        EXPECT_EQ(0, r.status);
        EXPECT_EQ("<p>12</p>\r\n", r.out);
        EXPECT_EQ("", r.err);

        RunResult b = run_tool_in(dir.path(), {folder + broken});
        EXPECT_EQ(1, b.status);
        EXPECT_EQ(folder + broken + ":1:4: <p>>\n" + gt_alone_lines + folder + broken +
                      ": failed to convert\n",
                  b.err);
    }
}

// Through pipes on standard input and output, CR LF stays CR LF, and the
// end-of-file mark ends the text as it does on Linux, byte for byte.
TEST(WindowsStreams, CrLfAndEndMarkPassThroughPipesUntouched) {
    const struct {
        std::string option, in, out;
    } cases[] = {
        {"-d:f", sjis("<P>ａ</p>\r\n<font>b</font>\r\n\x1A"), sjis("<P>ａ</p>\r\nb\r\n")},
        {"-k", "<p>a</p>\r\n\x1A<p>b</p>\r\n", "<p>a</p>\r\n"},
        {"-k", "<p>a</p>\n<p>b</p>\r\n", "<p>a</p>\n<p>b</p>\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        RunResult r = run_tool({c.option}, c.in);
        EXPECT_EQ(0, r.status);
        EXPECT_EQ(c.out, r.out);
        EXPECT_EQ("", r.err);
    }
}

// Ctrl-Break in the middle of a long run: the page being edited is
// finished, and every name not reached is named.
TEST(WindowsStop, CtrlBreakEndsTheRunBetweenPagesAndNamesTheRest) {
    TempDir dir;
    const std::string page = repeat("<p>\x83\x41</p>\r\n", 20000);
    dir.write("p.htm", page);
    const std::vector<std::string> names(200, "p.htm");
    BreakRun b = run_tool_broken(dir.path(), names, 1);
    if (!b.sent) GTEST_SKIP() << "the console did not take Ctrl-Break";
    const std::string not_edited = "p.htm: not edited (the run stopped)\n";
    ASSERT_EQ(0u, b.run.out.size() % page.size()) << "a page was cut short";
    const std::size_t edited = b.run.out.size() / page.size();
    EXPECT_EQ(repeat(page, edited), b.run.out);
    EXPECT_LT(edited, names.size()) << "the run went on to its end";
    EXPECT_EQ(repeat(not_edited, names.size() - edited), b.run.err);
    EXPECT_NE(0, b.run.status);
}

}  // namespace
}  // namespace tagpolish::test

// What only Windows can get wrong: -w with names beyond the ANSI code
// page, names matched in either case and the read-only attribute; the
// text mode of the C runtime's streams; and Ctrl-Break from the console.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
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

// -w on Windows: each case makes its files, runs the program over them
// one run after another, and finds the folder holding what it should.
// The text comes out as the Linux build makes it; a backup suffix is
// matched in either case, as Windows matches names; a read-only page is
// one nobody may write, which is left as it is.
TEST(WindowsRewrite, RewritesBacksUpAndRestoresAsOnLinux) {
    const std::string page = sjis("<FONT SIZE=3>１２</FONT>\r\n"), edited = "12\r\n";
    // Where the file system keeps no streams (wine), --backup says that it
    // cannot keep its record, and --restore needs --force.
    const std::string unrecorded =
        keeps_user_attributes(TempDir().path())
            ? ""
            : "page.htm: cannot keep the record that --restore checks; --restore will refuse "
              "such pages without --force\n  Operation not supported\n";
    const std::string restored =
        "PAGE.HTM: restored from PAGE.HTM.orig\n"
        "1 pages restored, 0 failed\n0 passed over, T seconds\n";
    const struct {
        const char* name;
        std::string file;  // the page, made with the old text
        bool read_only;
        int status;  // of the last run
        std::vector<std::vector<std::string>> runs;
        std::map<std::string, std::string> after;  // every file of the folder
        std::string err;                           // of the last run
    } cases[] = {
        {"Japanese name",
         "ページ.htm",
         false,
         0,
         {{"-wn", "-d:f", "ページ.htm"}},
         {{"ページ.htm", edited}},
         ""},
        {"backup",
         "page.htm",
         false,
         0,
         {{"-wn", "-d:f", "--backup", "page.htm"}},
         {{"page.htm", edited}, {"page.htm.orig", page}},
         unrecorded},
        {"backup suffix in other case",
         "PAGE.HTM",
         false,
         0,
         {{"-wn", "-d:f", "--backup=.ORIG", "PAGE.HTM"},
          {"-w", "--restore=.orig", "--force", "PAGE.HTM"}},
         {{"PAGE.HTM", page}},
         restored},
        {"read-only page",
         "page.htm",
         true,
         1,
         {{"-wn", "-d:f", "page.htm"}},
         {{"page.htm", page}},
         "page.htm: cannot open to write\n  Permission denied\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.write(c.file, page);
        if (c.read_only) set_read_only(path, true);
        RunResult r;
        for (const std::vector<std::string>& args : c.runs) {
            r = run_tool_in(dir.path(), args);
            if (&args != &c.runs.back()) {
                EXPECT_EQ(0, r.status) << args.front();
            }
        }
        EXPECT_EQ(c.status, r.status);
        EXPECT_EQ(c.err, timeless(r.err));
        EXPECT_EQ("", r.out);
        std::map<std::string, std::string> files;
        for (const std::string& name : dir.entries())
            files[name] = read_file(dir.path() + "/" + name);
        EXPECT_EQ(c.after, files);
        EXPECT_EQ(c.read_only, (lstat_of(path).st_mode & 0222) == 0);
        set_read_only(path, false);  // so that the folder can go
    }
}

// A Japanese name, by itself in its folder and as a whole path: the page is
// edited, and a message names the file as it was given.
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

#include "driver/file_loop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "lib/options.h"
#include "support/fake_file_ops.h"
#include "support/markup_messages.h"
#include "support/test_support.h"

namespace tagpolish {
namespace {

using test::gt_alone_lines;
using test::lt_unmatch_lines;
using test::markup_text;
using test::read_file;
using test::repeat;
using test::run_tool;
using test::RunResult;
using test::TempDir;

// Runs the program in dir, so that the files are named as a user types them.
RunResult run_in(const std::string& dir, const std::vector<std::string>& args,
                 const test::ChildSetup& setup = {}) {
    return test::run_tool_in(dir, args, setup);
}

const std::string zen_12 = "\x82\x50\x82\x51";  // full-width "12"

// Without options the text comes out exactly as it went in, from a file
// and from standard input alike.
TEST(FileLoop, PassesEveryPageThroughByteForByte) {
    const struct {
        const char* name;
        std::string page;
    } cases[] = {
        {"LF", "<html>\n<p>a\n</html>\n"},
        {"CR LF", "<html>\r\n<p>a\r\n</html>\r\n"},
        {"no final newline", "<p>a\nb"},
        {"CR LF, no final newline", "<p>a\r\nb"},
        {"empty", ""},
        {"600000-byte line", "<p>" + repeat("\x82\xA0", 300000) + "\n<br>\n"},
        {"LF first, then CR LF and lone CR", "a\nb\r\nc\rd\r\n\r\n"},
        {"CR LF with a lone CR", "a\r\nb\rc\r\n"},
        {"empty lines", "\n\n\r\n\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("page.htm", c.page);
        RunResult file = run_in(dir.path(), {"page.htm"});
        RunResult in = run_tool({"-"}, c.page);

        EXPECT_EQ(0, file.status) << c.name;
        EXPECT_EQ("", file.err) << c.name;
        EXPECT_TRUE(c.page == file.out) << c.name;
        EXPECT_EQ(0, in.status) << c.name;
        EXPECT_EQ("", in.err) << c.name;
        EXPECT_TRUE(c.page == in.out) << c.name;
    }
}

// Each line goes out with its own line end, CR LF or LF, and a page with no
// LF at all (a classic Mac page) has CR line ends; line joining sees the
// '>' before each line end, and its own newline before a paragraph goes
// out as the page's first line end.
TEST(FileLoop, PageComesOutWithItsOwnLineEnds) {
    const struct {
        std::vector<std::string> options;
        std::string page;
        std::string out;
    } cases[] = {
        {{}, "a\r\nb\nc\r\n", "a\r\nb\nc\r\n"},
        {{"-n"}, zen_12 + "\r\n<p>\r\n", "12\r\n<p>\r\n"},
        {{"-j"}, "<html>\r\nab\r\ncd<br>\r\nef\r\n", "<html>\r\nab cd<br>\r\nef"},
        {{"-j"}, "<html>\nab\ncd<br>\nef\n", "<html>\nab cd<br>\nef"},
        {{"-j"}, "<html>\rab\rcd<br>\r\r<p>ef\rgh\r", "<html>\rab cd<br>\r\r<p>ef gh"},
        {{"-j"}, "ab\rcd\r<p>ef<br>\r", "ab cd\r<p>ef<br>\r"},
        {{"-d:f"}, "<font\rcolor=red>a</font>\rb\r", "a\rb\r"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("page.htm", c.page);
        std::vector<std::string> args = c.options;
        args.push_back("page.htm");
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(0, r.status) << c.page;
        EXPECT_EQ(c.out, r.out) << c.page;

        args.insert(args.begin(), "-w");
        EXPECT_EQ(0, run_in(dir.path(), args).status) << c.page;
        EXPECT_EQ(c.out, read_file(dir.path() + "/page.htm")) << "-w " << c.page;
    }
}

// Lines finished before an error are out before its message, so that a
// terminal or a log that takes both streams shows them in order.
TEST(FileLoop, LinesBeforeAnErrorComeBeforeItsMessage) {
    TempDir dir;
    dir.write("page.htm", "ok\n<p>\na > b\nafter\n");
    dir.write("open.htm", "ok\n<p\n");
    test::ChildSetup setup;
    setup.merged = true;

    RunResult r = run_in(dir.path(), {"page.htm", "open.htm"}, setup);

    EXPECT_EQ(1, r.status);
    EXPECT_EQ("ok\n<p>\n" + markup_text("page.htm", 3, 3, "a > b", gt_alone_lines) +
                  "page.htm: failed to convert\n"
                  "ok\n<p\n" +
                  markup_text("open.htm", 2, 1, "<p", lt_unmatch_lines) +
                  "open.htm: failed to convert\n",
              r.out);
}

TEST(FileLoop, MissingFileIsReportedAndTheOthersAreEdited) {
    TempDir dir;
    dir.write("a.htm", zen_12 + "a\n");
    dir.write("b.htm", zen_12 + "b\n");

    RunResult r = run_in(dir.path(), {"-n", "a.htm", "missing.htm", "b.htm", "a.htm"});

    EXPECT_EQ(1, r.status);
    EXPECT_EQ("12a\n12b\n12a\n", r.out);
    EXPECT_EQ("missing.htm: not found\n  No such file or directory\n", r.err);
}

// An input that cannot be opened is "not found" only when it is not there;
// for any other reason it "cannot open", and the reason follows. So it is
// to standard output, under -w, and for --restore.
TEST(FileLoop, InputThatCannotBeOpenedSaysWhy) {
    const struct {
        int error;
        std::string said;
    } reasons[] = {
        {ENOENT, "not found\n  No such file or directory\n"},
        {ENOTDIR, "not found\n  Not a directory\n"},
        {EACCES, "cannot open\n  Permission denied\n"},
        {EMFILE, "cannot open\n  Too many open files\n"},
        {ELOOP, "cannot open\n  Too many levels of symbolic links\n"},
    };
    const struct {
        const char* name;
        int* flag;
        const char* restore;
        std::string summary;
    } runs[] = {
        {"to standard output", &walk_flags.n, nullptr, ""},
        {"-w", &opt_w, nullptr, ""},
        {"--restore", &opt_w, ".orig", "0 pages restored, 1 failed\n0 passed over, T seconds\n"},
    };
    TempDir dir;
    std::string path = dir.write("page.htm", zen_12 + "\n");
    char* argv[] = {path.data()};
    for (const auto& reason : reasons) {
        for (const auto& run : runs) {
            SCOPED_TRACE(std::string(strerror(reason.error)) + ", " + run.name);
            reset_options();
            *run.flag = 1;
            restore_suffix = run.restore;
            test::FakeFileOps ops({{test::Call::openat, reason.error, 0}});
            testing::internal::CaptureStderr();
            const int status = run_files(0, 1, argv, ops);
            const std::string err = testing::internal::GetCapturedStderr();
            EXPECT_EQ(1, status);
            EXPECT_EQ(path + ": " + reason.said + run.summary, test::timeless(err));
        }
    }
    reset_options();
    EXPECT_EQ(zen_12 + "\n", read_file(path));
}

// Inputs that cannot be edited safely (and text that is not Shift_JIS) are
// refused with their own message; nothing of them is written, the file
// stays as it was, and the next input is edited.
TEST(FileLoop, RefusesInputsThatCannotBeEditedSafely) {
    const struct {
        const char* name;
        std::string page;
        bool rewrite;
        std::string err;
    } cases[] = {
        {"NUL byte", zen_12 + std::string("\n\nb\0c\n", 6), false,
         "page.htm:3: NUL byte in the text\npage.htm: failed to convert\n"},
        {"NUL byte under -w", zen_12 + std::string("\nb\0c\n", 5), true,
         "page.htm:2: NUL byte in the text\npage.htm: failed to convert\n"},
        // Found before any of the page is written, many blocks on.
        {"NUL byte on a late line",
         zen_12 + "\n" + repeat("<p>a</p>\n", 100000) + std::string(1, '\0'), false,
         "page.htm:100002: NUL byte in the text\npage.htm: failed to convert\n"},
        {"text after the end-of-file mark under -w",
         zen_12 + "\n\x1A"
                  "tail\n",
         true, "page.htm: text after end-of-file mark (0x1A)\npage.htm: failed to convert\n"},
        {"markup error under -w", zen_12 + "\na > b\n", true,
         markup_text("page.htm", 2, 3, "a > b", gt_alone_lines) +
             "page.htm: not edited (markup error)\n"},
        {"tag left open under -w", zen_12 + "\n<a\n", true,
         markup_text("page.htm", 2, 1, "<a", lt_unmatch_lines) +
             "page.htm: not edited (markup error)\n"},
        {"UTF-8 under -w", "<p>\xE6\x9C\xAC\xEF\xBC\x91</p>\n", true,
         "page.htm: the text is UTF-8, not Shift_JIS\npage.htm: failed to convert\n"},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF" + zen_12 + "\n", false,
         "page.htm: the text is UTF-8, not Shift_JIS\npage.htm: failed to convert\n"},
        {"ISO-2022-JP under -w", "<p>\x1B$B#1#2\x1B(B</p>\n", true,
         "page.htm: the text is ISO-2022-JP, not Shift_JIS\npage.htm: failed to convert\n"},
        {"EUC-JP that says so", "<meta charset=EUC-JP>\n\xA3\xB1\xA3\xB2\n", false,
         "page.htm: the page declares charset=EUC-JP, not Shift_JIS\n"
         "page.htm: failed to convert\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("page.htm", c.page);
        dir.write("next.htm", zen_12 + "\n");
        std::vector<std::string> args{"-n", "page.htm", "next.htm"};
        if (c.rewrite) args.insert(args.begin(), "-w");

        RunResult r = run_in(dir.path(), args);

        EXPECT_EQ(1, r.status) << c.name;
        EXPECT_EQ(c.err, r.err) << c.name;
        EXPECT_TRUE(c.page == read_file(dir.path() + "/page.htm")) << c.name;
        if (c.rewrite) {
            EXPECT_EQ("", r.out) << c.name;
            EXPECT_EQ("12\n", read_file(dir.path() + "/next.htm")) << c.name;
        } else {
            EXPECT_EQ("12\n", r.out) << c.name;
        }
        EXPECT_EQ((std::vector<std::string>{"next.htm", "page.htm"}), dir.entries()) << c.name;
    }
}

TEST(FileLoop, EndOfFileMarkEndsTheTextWithoutRewrite) {
    TempDir dir;
    dir.write("page.htm", zen_12 +
                              "\n\x1A"
                              "tail\n");
    RunResult r = run_in(dir.path(), {"-n", "page.htm"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("12\n", r.out);
    EXPECT_EQ("", r.err);
}

// Reading a directory fails; under -w it is refused before that, as it is
// not a regular file.
TEST(FileLoop, DirectoryCannotBeRead) {
    TempDir dir;
    test::make_folder(dir.path() + "/sub");
    dir.write("next.htm", zen_12 + "\n");
#ifdef _WIN32
    // Windows opens no folder as a file.
    const std::string unread = "sub: cannot open\n  Is a directory\n";
#else
    const std::string unread = "sub: cannot read\n  Is a directory\nsub: failed to convert\n";
#endif
    for (bool rewrite : {false, true}) {
        std::vector<std::string> args{"-n", "sub", "next.htm"};
        if (rewrite) args.insert(args.begin(), "-w");
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(1, r.status) << rewrite;
        EXPECT_EQ(rewrite ? "sub: not a regular file\nsub: failed to convert\n" : unread, r.err)
            << rewrite;
        EXPECT_EQ(rewrite ? "" : "12\n", r.out) << rewrite;
    }
    EXPECT_EQ("12\n", read_file(dir.path() + "/next.htm"));
    EXPECT_EQ((std::vector<std::string>{"next.htm", "sub"}), dir.entries());
}

TEST(FileLoop, StandardInputIsNamedStdin) {
    const struct {
        std::vector<std::string> args;
        std::string input;
        std::string out;
        std::string err;
        int status;
    } cases[] = {
        {{"-n"}, zen_12 + "\n", "12\n", "", 0},
        {{"-"},
         "a > b\n",
         "",
         markup_text("stdin", 1, 3, "a > b", gt_alone_lines) + "stdin: failed to convert\n",
         1},
        {{"-n"},
         "<p>\n<a\n",
         "<p>\n<a\n",
         markup_text("stdin", 2, 1, "<a", lt_unmatch_lines) + "stdin: failed to convert\n",
         1},
        {{"-n"},
         std::string("a\n\0\n", 4),
         "",
         "stdin:2: NUL byte in the text\nstdin: failed to convert\n",
         1},
    };
    for (const auto& c : cases) {
        RunResult r = run_tool(c.args, c.input);
        EXPECT_EQ(c.status, r.status) << c.input;
        EXPECT_EQ(c.out, r.out) << c.input;
        EXPECT_EQ(c.err, r.err) << c.input;
    }
}

// A failed write to standard output fails the input, with the reason,
// whether it shows at the first write or at the last flush.
TEST(FileLoop, FullStandardOutputFailsTheInput) {
    for (std::size_t lines : {1, 100000}) {
        TempDir dir;
        dir.write("page.htm", repeat("<p>text\n", lines));
        test::ChildSetup setup;
        setup.stdout_path = "/dev/full";
        RunResult r = run_in(dir.path(), {"page.htm"}, setup);
        EXPECT_EQ(1, r.status) << lines;
        EXPECT_EQ("page.htm: failed to convert\n  No space left on device\n", r.err) << lines;
    }
}

// Without -w the close checks the free space of the file's file system; a
// file system without any (as /proc reports) fails the input after its
// text was written. An input that failed otherwise (a read error) gets no
// word about space.
TEST(FileLoop, InputOnAFullFileSystemFails) {
    const struct {
        const char* name;
        std::string out;
        std::string err;
    } cases[] = {
        {"/proc/sys/kernel/ostype", read_file("/proc/sys/kernel/ostype"),
         "no free disk space\n/proc/sys/kernel/ostype: failed to convert\n"},
        {"/proc/self/mem", "",
         "/proc/self/mem: cannot read\n  Input/output error\n/proc/self/mem: failed to convert\n"},
    };
    for (const auto& c : cases) {
        RunResult r = run_tool({c.name});
        EXPECT_EQ(1, r.status) << c.name;
        EXPECT_EQ(c.out, r.out) << c.name;
        EXPECT_EQ(c.err, r.err) << c.name;
    }
}

TEST(FileLoop, FcloseNamesTheDriveOfAFullOne) {
    const struct {
        const char* name;
        std::string err;
    } cases[] = {
        {"/proc/version", "no free disk space\n"},
        {"c:/missing/page.htm", "c drive: no free disk space\n"},
    };
    for (const auto& c : cases) {
        int fd = open("/proc/version", O_RDONLY);
        ASSERT_GE(fd, 0);
        testing::internal::CaptureStderr();
        int result = Fclose(fd, c.name);
        EXPECT_EQ(c.err, testing::internal::GetCapturedStderr()) << c.name;
        EXPECT_EQ(-1, result) << c.name;
    }
}

}  // namespace
}  // namespace tagpolish

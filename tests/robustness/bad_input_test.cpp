// Hostile and broken inputs through the executable: each gets its exact
// message or its exact output, and never a crash.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "lib/diag.h"
#include "support/markup_messages.h"
#include "support/option_sets.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

const std::vector<std::string> every_option = words(every_walk_option());

std::string bytes_from(int first, int last) {
    std::string s;
    for (int b = first; b <= last; ++b) s.push_back(static_cast<char>(b));
    return s;
}

std::string failed(const std::string& path) {
    return path + ": failed to convert\n";
}

std::string nul_refused(const std::string& path, int line) {
    return path + ":" + std::to_string(line) + ": NUL byte in the text\n" + failed(path);
}

// A markup error at line n, column col, whose line (without its line end)
// the message quotes, cut short when the whole message would be too long;
// then the failure of a run to standard output.
std::string markup_message(const std::string& path, int n, int col, const std::string& line,
                           const std::string& lines) {
    std::string head = path + ":" + std::to_string(n) + ":" + std::to_string(col) + ": ";
    std::string quoted =
        head.size() + line.size() <= msg_len_max ? line : line.substr(0, msg_cut_len - head.size());
    return head + quoted + "\n" + lines + failed(path);
}

// Status 0 with nothing on standard error, or 1 closing with the failure.
void expect_ended_cleanly(const RunResult& r, const std::string& path) {
    EXPECT_TRUE(r.status == 0 || r.status == 1) << "status " << r.status;
    if (r.status == 0) {
        EXPECT_EQ("", r.err);
    }
    if (r.status == 1) {
        EXPECT_TRUE(r.err.ends_with(failed(path))) << r.err;
    }
}

// One input written to a file and edited with the given options.
struct Case {
    const char* name;
    std::string input;
    std::vector<std::string> options;
    std::string out;  // exact standard output
    int status;
};

void expect_case(const Case& c) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::string path = dir.write("page.htm", c.input);
    std::vector<std::string> args = c.options;
    args.push_back(path);
    RunResult r = run_tool(args);
    EXPECT_EQ(c.status, r.status);
    EXPECT_TRUE(c.out == r.out) << "output of " << r.out.size() << " bytes differs";
    if (c.status == 0) {
        EXPECT_EQ("", r.err);
    }
}

TEST(BadInput, AllByteValues) {
    TempDir dir;
    std::string all = dir.write("all.bin", bytes_from(0, 255));
    RunResult r = run_tool({all});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(nul_refused(all, 1), r.err);

    // Without the NUL the text ends at 0x1A; what precedes it is plain text.
    expect_case({"1 to 255", bytes_from(1, 255), {}, bytes_from(1, 25), 0});
    // Past 0x1A: "<=" is text, as a browser reads it, so the ">" after it
    // is a bracket without its "<"; 0x81 to 0xA0 are sixteen double-byte
    // pairs, 0xA1 to 0xDF single half-width katakana, 0xE0 to 0xFD pairs
    // again.
    std::string tail = bytes_from(27, 255);
    expect_case({"27 to 255", tail, {}, "", 1});
    expect_case({"27 to 255 with -i", tail, {"-i"}, tail, 0});
    std::string kana_full = sjis(
        "。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノ"
        "ハヒフヘホマミムメモヤユヨラリルレロワン゛゜");
    expect_case({"27 to 255 with -ik",
                 tail,
                 {"-ik"},
                 bytes_from(27, 0xA0) + kana_full + bytes_from(0xE0, 255),
                 0});
    RunResult every = run_tool(words(every_walk_option(), {dir.write("tail", tail)}));
    EXPECT_EQ(0, every.status);
    EXPECT_EQ("", every.err);
}

// Random bytes without NUL, 0x1A and CR, so that the whole text is edited
// and written back as it was read, and without ESC, which may begin an
// escape of ISO-2022-JP.
std::string random_text(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) {
        int b = static_cast<int>(gen() & 0xFF);
        if (b == 0 || b == 0x1A || b == '\r' || b == 0x1B) b = 'x';
        c = static_cast<char>(b);
    }
    return s;
}

TEST(BadInput, RandomBinary) {
    TempDir dir;
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        std::string text = random_text(300000, seed);
        std::string path = dir.write("random.bin", text);

        RunResult plain = run_tool({path});
        expect_ended_cleanly(plain, path);
        EXPECT_TRUE(text.starts_with(plain.out)) << "output is not a prefix of the input";

        RunResult ignoring = run_tool({"-i", path});
        EXPECT_EQ(0, ignoring.status);
        EXPECT_TRUE(ignoring.out == text) << "-i changed the text";

        expect_ended_cleanly(run_tool(words(every_walk_option(), {path})), path);

        // One NUL in it: refused, naming the line that holds it.
        std::size_t at = 200000 + seed;
        text[at] = '\0';
        int line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + at, '\n'));
        dir.write("random.bin", text);
        RunResult refused = run_tool({path});
        EXPECT_EQ(1, refused.status);
        EXPECT_EQ("", refused.out);
        EXPECT_EQ(nul_refused(path, line), refused.err);
    }
}

TEST(BadInput, OneLineOfTenMegabytes) {
    std::size_t times = 10 * 1024 * 1024 / 14 + 1;
    std::string line = repeat(sjis("<b>ﾃｽﾄ１２</b>"), times) + "\n";
    ASSERT_EQ(14 * times + 1, line.size());
    expect_case({"unchanged", line, {}, line, 0});
    expect_case({"-akn", line, {"-akn"}, repeat(sjis("<b>テスト12</b>"), times) + "\n", 0});
}

TEST(BadInput, HundredThousandNestedBrackets) {
    std::string nested = repeat("<", 100000) + repeat(">", 100000) + "\n";
    expect_case({"-i", nested, {"-i"}, nested, 0});
    expect_case({"every option", nested, every_option, nested, 0});
    // Links nested: each link that another opens inside stays as it
    // stands under -i; the last closes at the first ">" and goes.
    std::string links = repeat("<a ", 100000) + repeat(">", 100000) + "\n";
    expect_case(
        {"-i -d:a", links, {"-i", "-d:a"}, repeat("<a ", 99999) + repeat(">", 99999) + "\n", 0});

    TempDir dir;
    std::string path = dir.write("nested.htm", nested);
    RunResult r = run_tool({path});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    // Every "<" stands before another "<" or a ">": none opens a tag.
    EXPECT_EQ(markup_message(path, 1, 100001, nested.substr(0, nested.size() - 1), gt_alone_lines),
              r.err);
}

TEST(BadInput, LeadByteAsTheLastByte) {
    std::string text = sjis("<b>あ") + "\x82";
    expect_case({"no options", text, {}, text, 0});
    expect_case({"every option", text, every_option, text, 0});
    expect_case({"-n", sjis("１") + "\x82", {"-n"}, "1\x82", 0});

    TempDir dir;
    std::string path = dir.write("open.htm", "<p title=x\x82");
    RunResult r = run_tool({path});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("<p title=x\x82", r.out);
    EXPECT_EQ(markup_message(path, 1, 1, "<p title=x\x82", lt_unmatch_lines), r.err);
}

TEST(BadInput, CarriageReturns) {
    const Case cases[] = {
        {"lone CR", "\r", {}, "\r", 0},
        {"CR at the end of a page", "<p>\r", {}, "<p>\r", 0},
        {"CR inside a line", "a\rb\n", {"-k"}, "a\rb\n", 0},
        {"CR CR LF", "a\r\r\nb\r\n", {}, "a\r\r\nb\r\n", 0},
        // Each line keeps its own line end, a bare LF in a CR LF page too.
        {"bare LF in a CR LF page", "x\r\ny\n", {}, "x\r\ny\n", 0},
    };
    for (const Case& c : cases) expect_case(c);
}

TEST(BadInput, Utf16IsRefusedForItsNulBytes) {
    TempDir dir;
    std::string le("\xFF\xFE<\0p\0>\0\n\0", 10), be("\0<\0p\0>\0\n", 8);
    for (const std::string& text : {le, be}) {
        std::string path = dir.write("utf16.htm", text);
        for (const char* option : {"-k", "-w"}) {
            RunResult r = run_tool({option, path});
            EXPECT_EQ(1, r.status);
            EXPECT_EQ("", r.out);
            EXPECT_EQ(nul_refused(path, 1), r.err);
            EXPECT_EQ(text, read_file(path));
        }
    }
}

TEST(BadInput, EndlessNulSourceIsRefusedWithoutReadingItAll) {
    RunResult r = run_tool({"/dev/zero"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(nul_refused("/dev/zero", 1), r.err);
}

TEST(BadInput, TextAfterTheEndOfFileMark) {
    TempDir dir;
    std::string text = "<p>a</p>\n\x1A<p>b</p>\n";
    std::string path = dir.write("mark.htm", text);
    RunResult w = run_tool({"-w", path});
    EXPECT_EQ(1, w.status);
    EXPECT_EQ(path + ": text after end-of-file mark (0x1A)\n" + failed(path), w.err);
    EXPECT_EQ(text, read_file(path));
    EXPECT_EQ(std::vector<std::string>{"mark.htm"}, dir.entries());

    RunResult out = run_tool({path});
    EXPECT_EQ(0, out.status);
    EXPECT_EQ("<p>a</p>\n", out.out);
}

TEST(BadInput, DirectoryAsAFileName) {
    TempDir dir;
    std::string sub = dir.path() + "/sub.htm";
    ASSERT_TRUE(std::filesystem::create_directory(fs_path(sub)));
    std::string next = dir.write("next.htm", "<p>ok</p>\n");
#ifdef _WIN32
    // Windows opens no folder as a file.
    const std::string unread = sub + ": cannot open\n  Is a directory\n";
#else
    const std::string unread = sub + ": cannot read\n  Is a directory\n" + failed(sub);
#endif
    for (const char* option : {"-k", "-w"}) {
        RunResult r = run_tool({option, sub, next});
        EXPECT_EQ(1, r.status);
        EXPECT_EQ(std::string(option) == "-w" ? "" : "<p>ok</p>\n", r.out);
        EXPECT_EQ(
            std::string(option) == "-w" ? sub + ": not a regular file\n" + failed(sub) : unread,
            r.err);
    }
    EXPECT_EQ((std::vector<std::string>{"next.htm", "sub.htm"}), dir.entries());
}

// As root, the program runs as an unprivileged user, who may not read it.
TEST(BadInput, UnreadableFile) {
    if (std::string why = unprivileged_cannot_run(); !why.empty()) GTEST_SKIP() << why;
    TempDir dir;
    std::string path = dir.write("secret.htm", "<p>x</p>\n");
    give_to_child(path);
    give_to_child(dir.path());
    ASSERT_EQ(0, chmod(path.c_str(), 0));
    ChildSetup unprivileged;
    unprivileged.unprivileged = true;
    RunResult r = run_tool_in("/", {"-w", path}, unprivileged);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(path + ": cannot open\n  Permission denied\n", r.err);
    chmod(path.c_str(), 0600);
    EXPECT_EQ("<p>x</p>\n", read_file(path));
}

TEST(BadInput, NamesWithSpacesAndJapanese) {
    TempDir dir;
    // The second name is in Shift_JIS, where 表, ソ and 能 end in a backslash byte.
    for (const std::string& name : {std::string("ページ 一覧 (1).htm"), sjis("表 ソ能.htm")}) {
        SCOPED_TRACE(name.size());
        std::string broken = dir.write(name, "<p>>\n");
        RunResult r = run_tool({broken});
        EXPECT_EQ(1, r.status);
        EXPECT_EQ(markup_message(broken, 1, 4, "<p>>", gt_alone_lines), r.err);

        std::string page = dir.write(name, sjis("<p>１２</p>\n"));
        RunResult w = run_tool({"-wn", page});
        EXPECT_EQ(0, w.status);
        EXPECT_EQ("", w.err);
        EXPECT_EQ("<p>12</p>\n", read_file(page));
        EXPECT_EQ(std::vector<std::string>{name}, dir.entries());
        std::remove(page.c_str());
    }
}

// A tag value made of reference names: each name inside the value is met by
// the walk and must not search the whole value again.
TEST(BadInput, ValueOfManyReferenceNames) {
    std::string line = "<a href=" + repeat("href=", 50000) + ">\n";
    std::string text = repeat(line, 4);
    auto start = std::chrono::steady_clock::now();
    expect_case({"-u", text, {"-u"}, text, 0});
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took.count(), 10.0);

    const Case cases[] = {
        {"names inside a value", "<a href=x/src=y/z>\n", {"-u"}, "<a href=./z>\n", 0},
        // A name inside a value is no attribute of the tag.
        {"name inside another value", "<img title=src=a/b>\n", {"-u"}, "<img title=src=a/b>\n", 0},
        {"value ended by ';'", "<a href=ab;src=x/y>\n", {"-u"}, "<a href=ab;src=x/y>\n", 0},
    };
    for (const Case& c : cases) expect_case(c);
}

}  // namespace
}  // namespace tagpolish::test

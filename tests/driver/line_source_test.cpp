#include "driver/line_source.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace tagpolish {
namespace {

// Every stored entry, in order.
std::vector<std::string> stored() {
    std::vector<std::string> lines;
    for (int n = 0; get_line(2, n) != nullptr; ++n) lines.emplace_back(get_line_view(n));
    return lines;
}

// The entries' sizes, so that a failure with huge lines stays readable.
std::vector<std::size_t> sizes(const std::vector<std::string>& lines) {
    std::vector<std::size_t> n;
    for (const std::string& l : lines) n.push_back(l.size());
    return n;
}

std::string repeat(std::string_view unit, std::size_t times) {
    std::string s;
    s.reserve(unit.size() * times);
    for (std::size_t i = 0; i < times; ++i) s.append(unit);
    return s;
}

class LineSource : public testing::Test {
  protected:
    void TearDown() override { get_line(-1, 0); }
};

TEST_F(LineSource, StoresEveryLineWholeWhateverItsLength) {
    const std::string a = "a";
    const std::string hiragana = "\x82\xA0";  // a double-byte character
    const struct {
        const char* name;
        std::string raw;
        std::vector<std::string> lines;
    } cases[] = {
        {"empty input", "", {}},
        {"no final newline", "ab\ncd", {"ab\n", "cd"}},
        {"empty lines", "\n\n", {"\n", "\n"}},
        {"600000 bytes and newline", repeat(a, 600000) + "\n", {repeat(a, 600000) + "\n"}},
        {"double-byte text",
         repeat(hiragana, 200000) + "\n" + a,
         {repeat(hiragana, 200000) + "\n", a}},
        {"lead byte before the newline",
         repeat(a, 255998) + "\x82\n",
         {repeat(a, 255998) + "\x82\n"}},
        {"long line after short ones", "x\n" + repeat(a, 3000000), {"x\n", repeat(a, 3000000)}},
    };
    for (const auto& c : cases) {
        load_text(c.raw);
        std::vector<std::string> got = stored();
        EXPECT_EQ(sizes(c.lines), sizes(got)) << c.name;
        EXPECT_TRUE(c.lines == got) << c.name;
        get_line(-1, 0);
    }
}

struct LineEndCase {
    const char* name;
    std::string raw;
    std::vector<std::string> lines;
    LineEnd line_end;
    bool lossless;
};

TEST_F(LineSource, FirstNewlineDecidesTheLineEnds) {
    const LineEndCase cases[] = {
        {"CR LF input", "a\r\nb\r\n", {"a\n", "b\n"}, LineEnd::crlf, true},
        {"CR LF without final newline", "a\r\nb", {"a\n", "b"}, LineEnd::crlf, true},
        {"LF input keeps a later CR LF", "a\nb\r\n", {"a\n", "b\r\n"}, LineEnd::lf, true},
        {"lone CR stays in a CR LF input", "a\rb\r\nc\r\n", {"a\rb\n", "c\n"}, LineEnd::crlf, true},
        {"CR before CR LF", "\r\r\n", {"\r\n"}, LineEnd::crlf, true},
        {"CR at the very end", "a\r\n\r", {"a\n", "\r"}, LineEnd::crlf, true},
        {"bare LF in a CR LF input", "a\r\nb\nc\r\n", {"a\n", "b\n", "c\n"}, LineEnd::crlf, false},
        // No "\n" at all: each "\r" ends a line.
        {"CR input", "a\rb\r", {"a\n", "b\n"}, LineEnd::cr, true},
        {"CR input without final CR", "a\r\rb", {"a\n", "\n", "b"}, LineEnd::cr, true},
        {"lone CR", "\r", {"\n"}, LineEnd::cr, true},
        {"CR input up to the end-of-file mark", "a\rb\x1A\n", {"a\n", "b"}, LineEnd::cr, false},
        {"neither", "ab", {"ab"}, LineEnd::lf, true},
    };
    for (const LineEndCase& c : cases) {
        InputInfo info = load_text(c.raw);
        EXPECT_TRUE(c.lines == stored()) << c.name;
        EXPECT_EQ(c.line_end, info.line_end) << c.name;
        EXPECT_EQ(c.lossless, info.lossless) << c.name;
        get_line(-1, 0);
    }
}

struct EofCase {
    const char* name;
    std::string raw;
    std::vector<std::string> lines;
    bool text_after_eof;
};

TEST_F(LineSource, EndOfFileMarkEndsTheText) {
    const EofCase cases[] = {
        {"mark at the end", "ab\ncd\x1A", {"ab\n", "cd"}, false},
        {"mark alone", "\x1A", {}, false},
        {"newline after the mark", "ab\x1A\n", {"ab"}, true},
        {"text after the mark",
         "ab\n\x1A"
         "cd\n",
         {"ab\n"},
         true},
        {"two marks", "ab\x1A\x1A", {"ab"}, true},
        {"CR before the mark", "a\r\nb\r\x1A", {"a\n", "b\r"}, false},
    };
    for (const EofCase& c : cases) {
        InputInfo info = load_text(c.raw);
        EXPECT_TRUE(c.lines == stored()) << c.name;
        EXPECT_EQ(c.text_after_eof, info.text_after_eof) << c.name;
        EXPECT_FALSE(info.lossless) << c.name;
        get_line(-1, 0);
    }
}

TEST_F(LineSource, ReportsTheLineOfTheFirstNulByte) {
    const struct {
        const char* name;
        std::string raw;
        int nul_line;
    } cases[] = {
        {"no NUL", "a\nb\n", 0},
        {"NUL alone", std::string(1, '\0'), 1},
        {"second line", std::string("a\nb\0c\nd\0\n", 9), 2},
        {"CR LF input", std::string("a\r\nb\r\n\0", 7), 3},
        {"after a long line", repeat("a", 600000) + std::string("\n\0\n", 3), 2},
        {"third line of a CR input", std::string("a\rb\rc\0\r", 8), 3},
        {"after the end-of-file mark", std::string("a\n\x1A\0", 4), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.nul_line, load_text(c.raw).nul_line) << c.name;
        get_line(-1, 0);
    }
}

TEST_F(LineSource, FetchEndsOutsideTheStoreAndAfterRelease) {
    load_text("one\ntwo\n");
    EXPECT_EQ(nullptr, get_line(2, -1));
    EXPECT_EQ(nullptr, get_line(2, 2));
    EXPECT_STREQ("two\n", get_line(2, 1));
    EXPECT_EQ(get_line(2, 1), get_line(2, 1)) << "the store's own copy, every time";
    EXPECT_STREQ("one\n", get_line(2, 0));
    EXPECT_EQ(nullptr, get_line(1, 0)) << "only mode 2 fetches";
    EXPECT_EQ(nullptr, get_line(-1, 0));
    EXPECT_EQ(nullptr, get_line(2, 0));
    EXPECT_EQ(nullptr, get_line_view(0).data());
}

// Reads a file through load_lines.
InputInfo load_file(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0) << path;
    InputInfo info = load_lines(fd);
    close(fd);
    return info;
}

TEST_F(LineSource, ReadingAFileInChunksCutsAsFromMemory) {
    // The file is read in blocks of 1 MiB: put a CR LF, a double-byte
    // character and the end-of-file mark on block ends.
    const std::size_t block = 1 << 20;
    std::string raw = "x\r\n" + repeat("\x82\xA0", 300000);
    raw += repeat("b", block - 1 - raw.size()) + "\r\n" + repeat("c", 300000);
    raw += repeat("\x82\xA0", 400000) + "\r\n";
    raw.resize(3 * block - 1, 'd');
    raw +=
        "\x1A"
        "after";
    test::TempDir dir;
    std::string path = dir.write("page.htm", raw);

    load_text(raw);
    std::vector<std::string> expected = stored();
    get_line(-1, 0);
    InputInfo info = load_file(path);

    EXPECT_EQ(LineEnd::crlf, info.line_end);
    EXPECT_TRUE(info.text_after_eof);
    EXPECT_FALSE(info.read_error);
    EXPECT_EQ(sizes(expected), sizes(stored()));
    EXPECT_TRUE(expected == stored());
}

TEST_F(LineSource, DirectoryIsAReadError) {
    test::TempDir dir;
    InputInfo info = load_file(dir.path());
    EXPECT_TRUE(info.read_error);
    EXPECT_EQ(nullptr, get_line(2, 0));
}

}  // namespace
}  // namespace tagpolish

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

struct PieceCase {
    const char* name;
    std::string raw;
    std::vector<std::string> pieces;
};

TEST_F(LineSource, CutsLongLinesIntoPiecesThatKeepCharactersWhole) {
    const std::string a = "a";
    const std::string hiragana = "\x82\xA0";  // a double-byte character
    const std::string small_a = "\x82\x9F";   // its second byte is in the lead range
    const PieceCase cases[] = {
        {"empty input", "", {}},
        {"no final newline", "ab\ncd", {"ab\n", "cd"}},
        {"empty lines", "\n\n", {"\n", "\n"}},
        {"255998 bytes and newline", repeat(a, 255998) + "\n", {repeat(a, 255998) + "\n"}},
        {"255999 bytes and newline", repeat(a, 255999) + "\n", {repeat(a, 255999), "\n"}},
        {"600000 bytes and newline",
         repeat(a, 600000) + "\n",
         {repeat(a, 255999), repeat(a, 255999), repeat(a, 88002) + "\n"}},
        {"character across the piece end",
         repeat(a, 255998) + hiragana + "b\n",
         {repeat(a, 255998), hiragana + "b\n"}},
        {"character ending on the piece end",
         repeat(a, 255997) + small_a + small_a + "\n",
         {repeat(a, 255997) + small_a, small_a + "\n"}},
        {"lead byte before the newline on the piece end",
         repeat(a, 255998) + "\x82\n",
         {repeat(a, 255998), "\x82\n"}},
        {"double-byte text only",
         repeat(hiragana, 200000) + "\n",
         {repeat(hiragana, 127999), repeat(hiragana, 72001) + "\n"}},
    };
    for (const PieceCase& c : cases) {
        load_text(c.raw);
        std::vector<std::string> got = stored();
        EXPECT_EQ(sizes(c.pieces), sizes(got)) << c.name;
        EXPECT_TRUE(c.pieces == got) << c.name;
        get_line(-1, 0);
    }
}

struct LineEndCase {
    const char* name;
    std::string raw;
    std::vector<std::string> lines;
    bool crlf;
    bool lossless;
};

TEST_F(LineSource, FirstNewlineDecidesTheLineEnds) {
    const LineEndCase cases[] = {
        {"CR LF input", "a\r\nb\r\n", {"a\n", "b\n"}, true, true},
        {"CR LF without final newline", "a\r\nb", {"a\n", "b"}, true, true},
        {"LF input keeps a later CR LF", "a\nb\r\n", {"a\n", "b\r\n"}, false, true},
        {"lone CR stays in a CR LF input", "a\rb\r\nc\r\n", {"a\rb\n", "c\n"}, true, true},
        {"CR before CR LF", "\r\r\n", {"\r\n"}, true, true},
        {"CR at the very end", "a\r\n\r", {"a\n", "\r"}, true, true},
        {"no newline at all", "a\rb\r", {"a\rb\r"}, false, true},
        {"bare LF in a CR LF input", "a\r\nb\nc\r\n", {"a\n", "b\n", "c\n"}, true, false},
    };
    for (const LineEndCase& c : cases) {
        InputInfo info = load_text(c.raw);
        EXPECT_TRUE(c.lines == stored()) << c.name;
        EXPECT_EQ(c.crlf, info.crlf) << c.name;
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
        {"second piece of a long line", repeat("a", 256000) + std::string("\0\n", 2), 2},
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

    EXPECT_TRUE(info.crlf);
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

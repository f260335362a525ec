#include "driver/input/line_source.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace tagpolish {
namespace {

using test::repeat;

// The line sizes, so that a failure with huge lines stays readable.
std::vector<std::size_t> sizes(const std::vector<std::string>& lines) {
    std::vector<std::size_t> n;
    for (const std::string& l : lines) n.push_back(l.size());
    return n;
}

// An input as the program reads it: a file written with raw, or raw held
// as standard input is.
class Input {
  public:
    Input(const std::string& raw, bool from_file) {
        if (!from_file) {
            info = load_text(raw, buf);
            return;
        }
        path = dir.write("page.htm", raw);
        fd = open(path.c_str(), O_RDONLY);
        EXPECT_GE(fd, 0);
        FileStat st{};
        system_file_ops().fstat(fd, &st);
        info = load_input(system_file_ops(), fd, st, buf);
    }
    ~Input() {
        if (fd >= 0) close(fd);
    }
    test::TempDir dir;
    std::string path;
    int fd = -1;
    InputBuffer buf;
    InputInfo info;
};

// A line handed out, and where it came from.
struct Handed {
    std::string_view view;
    std::uint64_t offset;
    std::size_t raw_size;  // its bytes in the input, line end included
};

// Every line of raw as the walk gets it, read from a file block by block
// or held. On the way it checks what the walk and the output rely on:
// each line is followed by a NUL byte and stands at its offset in the
// input; when the source is about to reuse its buffer, every line handed
// out before the current one still holds the input's own bytes, line end
// included, right where it was handed out.
std::vector<std::string> lines_of(const std::string& raw, bool from_file) {
    Input in(raw, from_file);
    BlockLines lines(in.fd, in.buf, in.info);
    std::vector<Handed> since_reuse;
    int reuses = 0;
    lines.before_reuse = [&] {
        ++reuses;
        for (std::size_t i = 0; i + 1 < since_reuse.size(); ++i) {
            const Handed& h = since_reuse[i];
            EXPECT_EQ(0, std::memcmp(h.view.data(), raw.data() + h.offset, h.raw_size))
                << "line at " << h.offset << " overwritten before the buffer is reused";
        }
        since_reuse.clear();
    };
    std::vector<std::string> got;
    std::uint64_t offset = 0;
    for (std::string_view line; (line = lines.next_line()).data();) {
        EXPECT_EQ('\0', line.data()[line.size()]) << "after line " << got.size();
        EXPECT_EQ(offset, lines.offset_of(line.data())) << "line " << got.size();
        const std::size_t raw_size =
            line.size() - (lines.raw_end().empty() ? 0 : 1) + lines.raw_end().size();
        since_reuse.push_back({line, offset, raw_size});
        offset += raw_size;
        got.emplace_back(line);
    }
    EXPECT_FALSE(lines.changed());
    EXPECT_EQ(0, lines.read_errno());
    EXPECT_TRUE(lines.next_line().data() == nullptr) << "the end stays the end";
    if (!from_file) {
        EXPECT_EQ(0, reuses) << "a held text is never read again";
    }
    return got;
}

void expect_lines(const std::vector<std::string>& expected, const std::string& raw,
                  const char* name) {
    for (bool from_file : {false, true}) {
        const std::vector<std::string> got = lines_of(raw, from_file);
        EXPECT_EQ(sizes(expected), sizes(got)) << name << (from_file ? ", file" : ", held");
        EXPECT_TRUE(expected == got) << name << (from_file ? ", file" : ", held");
    }
}

TEST(BlockLines, HandsOutEachLineWithItsLineEndAsNewline) {
    const struct {
        const char* name;
        std::string raw;
        std::vector<std::string> lines;
    } cases[] = {
        {"empty input", "", {}},
        {"no final newline", "ab\ncd", {"ab\n", "cd"}},
        {"empty lines", "\n\n", {"\n", "\n"}},
        {"CR LF input", "a\r\nb\r\n", {"a\n", "b\n"}},
        {"CR LF without final newline", "a\r\nb", {"a\n", "b"}},
        {"CR LF in an LF input", "a\nb\r\n", {"a\n", "b\n"}},
        {"lone CR stays in an LF input", "a\rb\nc\r\r\n", {"a\rb\n", "c\r\n"}},
        {"lone CR stays in a CR LF input", "a\rb\r\nc\r\n", {"a\rb\n", "c\n"}},
        {"CR before CR LF", "\r\r\n", {"\r\n"}},
        {"CR at the very end", "a\r\n\r", {"a\n", "\r"}},
        {"bare LF in a CR LF input", "a\r\nb\nc\r\n", {"a\n", "b\n", "c\n"}},
        {"CR input", "a\rb\r", {"a\n", "b\n"}},
        {"CR input without final CR", "a\r\rb", {"a\n", "\n", "b"}},
        {"lone CR", "\r", {"\n"}},
        {"up to the end-of-file mark", "ab\ncd\x1A", {"ab\n", "cd"}},
        {"mark alone", "\x1A", {}},
        {"CR input up to the mark", "a\rb\x1A\n", {"a\n", "b"}},
        {"CR before the mark", "a\r\nb\r\x1A", {"a\n", "b\r"}},
    };
    for (const auto& c : cases) expect_lines(c.lines, c.raw, c.name);
}

// A file is read in blocks of InputBuffer::block_size: lines, line ends and
// double-byte characters fall across block ends, and a line longer than the
// buffer grows it.
TEST(BlockLines, LinesOfAnyLengthAcrossBlocks) {
    const std::size_t block = InputBuffer::block_size;
    const std::string kana = "\x82\xA0";
    std::string crlf = "x\r\n" + repeat(kana, block / 4);
    crlf += repeat("b", block - 1 - crlf.size() % block) + "\r\n";  // CR LF across a block end
    crlf += repeat(kana, 300000) + "\r\n" + repeat("<p>line\r\n", 40000) + "end";
    std::string cr = repeat("short\r", 30000) + repeat("c", 700000) + "\r" + repeat("\r", 5);
    std::string lf = repeat(repeat("a", 99) + "\n", 3000) + repeat("z", 3 << 20) + "\nlast";

    for (const std::string* raw : {&crlf, &cr, &lf}) {
        const std::vector<std::string> held = lines_of(*raw, false);
        const std::vector<std::string> file = lines_of(*raw, true);
        EXPECT_EQ(sizes(held), sizes(file));
        EXPECT_TRUE(held == file);
    }
    const std::vector<std::string> long_line = lines_of(lf, true);
    ASSERT_EQ(3002u, long_line.size());
    EXPECT_EQ((3u << 20) + 1, long_line[3000].size());
    EXPECT_EQ(repeat(kana, 300000) + "\n", lines_of(crlf, true)[2]);
    EXPECT_EQ(30006u, lines_of(cr, true).size());
}

// After a rewind to a line's mark, that line and those after it are handed
// out again as they were, each with its line end, whether the buffer still
// holds them or they are read again from the file, and whatever the walk
// wrote into them (a file's lines may be written, a held input's not);
// then the rest.
TEST(BlockLines, RewindHandsTheMarkedLinesOutAgain) {
    std::string raw;
    for (int k = 0; k < 60000; ++k) raw += "line " + std::to_string(k) + (k % 3 ? "\r\n" : "\n");
    for (bool from_file : {false, true}) {
        for (int past : {0, 20, 50000}) {
            for (bool write : {false, true}) {
                SCOPED_TRACE(std::to_string(past) +
                             (from_file ? " lines on, file" : " lines on, held") +
                             (write ? ", written into" : ""));
                Input in(raw, from_file);
                BlockLines lines(in.fd, in.buf, in.info);
                for (int k = 0; k < 100; ++k) lines.next_line();
                const LineMark mark = lines.mark();
                // The current line and its line end.
                auto line = [&lines] {
                    return std::string(lines.line()) + "|" + std::string(lines.raw_end());
                };
                auto scribble = [&] {
                    char* p = write ? lines.writable(lines.line()) : nullptr;
                    EXPECT_EQ(write && from_file, p != nullptr);
                    if (p != nullptr) p[0] = '#';
                };
                std::vector<std::string> first{line()};
                scribble();
                for (int k = 0; k < past; ++k) {
                    lines.next_line();
                    first.push_back(line());
                    scribble();
                }
                lines.rewind(mark);
                std::vector<std::string> again;
                for (int k = 0; k <= past; ++k) {
                    lines.next_line();
                    again.push_back(line());
                }
                EXPECT_TRUE(first == again);
                int rest = 0;
                while (lines.next_line().data()) ++rest;
                EXPECT_EQ(60000 - 100 - past, rest);
                EXPECT_FALSE(lines.changed());
            }
        }
    }
}

TEST(LoadInput, ReportsTheLineOfTheFirstNulByte) {
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
        {"after many blocks", repeat("a\n", 300000) + std::string("\0", 1), 300001},
        {"third line of a CR input", std::string("a\rb\rc\0\r", 8), 3},
        {"after the end-of-file mark", std::string("a\n\x1A\0", 4), 0},
    };
    for (const auto& c : cases) {
        for (bool from_file : {false, true})
            EXPECT_EQ(c.nul_line, Input(c.raw, from_file).info.nul_line) << c.name << from_file;
    }
}

TEST(LoadInput, DirectoryIsAReadError) {
    test::TempDir dir;
    const int fd = open(dir.path().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    FileStat st{};
    system_file_ops().fstat(fd, &st);
    InputBuffer buf;
    const InputInfo info = load_input(system_file_ops(), fd, st, buf);
    close(fd);
    EXPECT_TRUE(info.read_error);
    EXPECT_EQ(EISDIR, info.read_errno);
}

// A file read twice must hold the same text the second time: where it no
// longer does, the lines end before any byte that the first reading would
// have refused, and the source says the file changed.
TEST(BlockLines, FileThatChangedAfterItsChecksEndsItsLines) {
    const std::string raw = repeat("<p>line</p>\n", 30000);  // 360000 bytes
    const struct {
        const char* name;
        std::string raw;
        std::uint64_t at;   // where the bytes are written, or the new size
        std::string bytes;  // written over the file; "" to cut it at `at`
    } cases[] = {
        {"shorter", raw, 250000, ""},
        {"NUL byte", raw, 250000, std::string(1, '\0')},
        {"end-of-file mark", raw, 250000, "\x1A"},
        {"LF in a CR input", repeat("<p>line</p>\r", 30000), 250000, "\n"},
    };
    for (const auto& c : cases) {
        Input in(c.raw, true);
        const int w = open(in.path.c_str(), O_WRONLY);
        ASSERT_GE(w, 0);
        if (c.bytes.empty())
            ASSERT_EQ(0, ftruncate(w, static_cast<off_t>(c.at)));
        else
            ASSERT_EQ(1, pwrite(w, c.bytes.data(), 1, static_cast<off_t>(c.at)));
        close(w);

        BlockLines lines(in.fd, in.buf, in.info);
        std::string walked;
        for (std::string_view line; (line = lines.next_line()).data();) walked += line;
        EXPECT_TRUE(lines.changed()) << c.name;
        EXPECT_LE(walked.size(), c.at) << c.name;
        EXPECT_EQ(std::string::npos, walked.find_first_of(std::string("\0\x1A", 2))) << c.name;
    }
}

}  // namespace
}  // namespace tagpolish

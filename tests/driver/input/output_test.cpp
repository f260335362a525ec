#include "driver/input/output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/scanner.h"
#include "support/engine_run.h"
#include "support/fake_file_ops.h"
#include "support/test_support.h"

namespace tagpolish {
namespace {

// What a sink that follows its lines wrote for a page read from a file.
struct Written {
    std::string out;
    bool unchanged = false;
    int writes = 0;  // calls of write and writev
};

// Edits the page raw with options as the program does: read from a file
// through BlockLines, written through an FdSink that compares its text
// with the file.
Written through_sink(const std::string& raw, const std::vector<std::string>& options) {
    test::TempDir dir;
    const std::string path = dir.write("page.htm", raw);
    const int fd = open(path.c_str(), O_RDONLY);
    const int out = open((dir.path() + "/out").c_str(), O_WRONLY | O_CREAT, 0600);
    FileStat st{};
    system_file_ops().fstat(fd, &st);
    InputBuffer buf;
    const InputInfo info = load_input(system_file_ops(), fd, st, buf);
    test::FakeFileOps ops;
    Written written;
    {
        BlockLines lines(fd, buf, info);
        FdSink sink(out, info.line_end, ops);
        sink.follow(lines);
        sink.compare_with(fd, info);
        EXPECT_EQ(0, edit_html(test::walk_options_of(options), "page.htm", lines, sink));
        EXPECT_TRUE(sink.flush());
        written.unchanged = sink.unchanged();
    }
    close(out);
    close(fd);
    written.out = test::read_file(dir.path() + "/out");
    written.writes = ops.count(test::Call::write);
    return written;
}

// The sink writes each line with the line end it came in with, whatever
// the mix of line ends, and knows exactly whether its text is the page's,
// however the bytes came to it: a page with nothing to edit comes back
// byte for byte, and an edited one differs only where an edit acted.
TEST(FdSink, WritesEachLineWithItsOwnLineEndAndKnowsWhetherTheTextChanged) {
    const std::string zen_12 = "\x82\x50\x82\x51";  // full-width "12"
    const struct {
        const char* name;
        std::string raw;
        std::vector<std::string> options;
        std::string out;
        bool unchanged;
    } cases[] = {
        {"LF page", "<p>a</p>\nb\n", {}, "<p>a</p>\nb\n", true},
        {"CR LF page", "<p>a</p>\r\nb\r\n", {}, "<p>a</p>\r\nb\r\n", true},
        {"CR page", "<p>a</p>\rb\r", {}, "<p>a</p>\rb\r", true},
        {"CR CR LF", "a\r\r\nb\r\n", {}, "a\r\r\nb\r\n", true},
        {"empty", "", {}, "", true},
        {"mixed, the first line CR LF", "a\r\nb\nc\r\n\nd", {}, "a\r\nb\nc\r\n\nd", true},
        {"mixed, the first line LF", "a\nb\r\n\r\nc\n", {}, "a\nb\r\n\r\nc\n", true},
        {"lone CRs inside lines", "a\rb\r\nc\r\rd\n", {}, "a\rb\r\nc\r\rd\n", true},
        {"end-of-file mark dropped", "a\n\x1A", {}, "a\n", false},
        {"an edit", zen_12 + "\r\n<p>\r\n", {"-n"}, "12\r\n<p>\r\n", false},
        {"edits in a mixed page",
         "<p>\n" + zen_12 + "\r\nx\n" + zen_12 + "\ny\r\n",
         {"-n"},
         "<p>\n12\r\nx\n12\ny\r\n",
         false},
        {"edit on the last line", "a\r\nb" + zen_12, {"-n"}, "a\r\nb12", false},
        // A line made of several input lines ends as the last of them.
        {"tag removed across lines", "<font\r\ncolor=red>a\nb\r\n", {"-d:f"}, "a\nb\r\n", false},
        {"the other way round", "<font\ncolor=red>a\r\nb\n", {"-d:f"}, "a\r\nb\n", false},
        {"comment removed across lines", "x<!-- a\r\nb -->y\nz\r\n", {"-d:c"}, "xy\nz\r\n", false},
        // A tag to remove in which another tag opens stays as it stands
        // under -i, its lines with their own line ends, also when the
        // source has to read them again.
        {"tag kept across lines",
         "a<font color=red\r\nsize=3\nx <b>y</b>\r\n</font>z\n",
         {"-i", "-d:f"},
         "a<font color=red\r\nsize=3\nx <b>y</b>\r\nz\n",
         false},
        {"tag kept across more lines than a block",
         "<font color=red\r\n" + test::repeat("text\r\n", 30000) + test::repeat("more\n", 30000) +
             "<b>x</b>\r\n",
         {"-i", "-d:f"},
         "<font color=red\r\n" + test::repeat("text\r\n", 30000) + test::repeat("more\n", 30000) +
             "<b>x</b>\r\n",
         true},
        // Joining takes the newline off the first line and puts one before
        // the paragraph: the same bytes again, from other places.
        {"edits that give the same bytes", "text\n<p>x<br>\n", {"-j"}, "text\n<p>x<br>\n", true},
        {"the same in a CR LF page", "a\r\n<p>x<br>\r\n", {"-j"}, "a\r\n<p>x<br>\r\n", true},
        {"joined CR page", "a\rb\r<p>c<br>\r", {"-j"}, "a b\r<p>c<br>\r", false},
        // The newline before a paragraph is the page's first line end.
        {"paragraph in a page that begins CR LF",
         "a\r\nb\n<p>c<br>\n",
         {"-j"},
         "a b\r\n<p>c<br>\n",
         false},
        {"paragraph in a page that begins LF",
         "a\nb\r\n<p>c<br>\r\n",
         {"-j"},
         "a b\n<p>c<br>\r\n",
         false},
        {"paragraph in a page without a line end", "<p>c", {"-j"}, "\n<p>c", false},
    };
    for (const auto& c : cases) {
        const Written w = through_sink(c.raw, c.options);
        EXPECT_TRUE(c.out == w.out) << c.name << ": " << w.out.substr(0, 200);
        EXPECT_EQ(c.unchanged, w.unchanged) << c.name;
    }
}

// However the pieces to write fall, none is refused: here a CR LF page
// whose lines are each cut in two by -d:f brings the queue to its limit
// with a line end still pending, one line count or another.
TEST(FdSink, WritesAsManyPiecesAsTheLinesMake) {
    for (int lines = 500; lines < 520; ++lines) {
        std::string raw = "\xB1x\r\n", out = "\x83\x41x\r\n";
        for (int i = 0; i < lines; ++i) raw += "<font>x\r\n", out += "x\r\n";
        EXPECT_TRUE(out == through_sink(raw, {"-k", "-d:f"}).out) << lines << " lines";
    }
}

// Unedited lines go out from the input's buffer in large writes, with the
// line ends of a CR LF, CR or mixed page among them; edited pages come out
// as the engine made them, each line with its own line end, whichever
// block each line fell in.
TEST(FdSink, LargePagesGoOutInFewWrites) {
    const std::string body = "<p><font color=red>\xB1\xB2</font> text, text, text.<br>";
    const std::vector<std::string> kinds[] = {{"\n"}, {"\r\n"}, {"\r"}, {"\r\n", "\n", "\n"}};
    for (const std::vector<std::string>& ends : kinds) {
        SCOPED_TRACE(ends.size() > 1 ? "mixed" : "line end " + std::to_string(ends[0].size()));
        std::string raw;  // 2.2 MB
        for (std::size_t i = 0; i < 40000; ++i) raw += body + ends[i % ends.size()];
        const Written same = through_sink(raw, {});
        EXPECT_TRUE(same.out == raw);
        EXPECT_TRUE(same.unchanged);
        EXPECT_LE(same.writes, static_cast<int>(raw.size() / (InputBuffer::block_size / 2) + 1));

        const Written edited = through_sink(raw, {"-k", "-d:f"});
        std::string expected;
        std::size_t line = 0;
        for (char c : test::edit(raw, {"-k", "-d:f"}).out)
            c == '\n' ? expected += ends[line++ % ends.size()] : expected += c;
        EXPECT_TRUE(expected == edited.out);
        EXPECT_FALSE(edited.unchanged);
    }
}

}  // namespace
}  // namespace tagpolish

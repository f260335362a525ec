#include "engine/scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/engine_run.h"
#include "support/markup_messages.h"
#include "support/test_support.h"

namespace tagpolish {
namespace {

using test::edit;
using test::EditRun;
using test::repeat;

struct ErrorCase {
    const char* name;
    std::string text;
    std::vector<std::string> options;
    std::string out;  // the lines finished before the error
    std::string err;
    int error_line;
};

// Every bracket error stops the input with its message: the place (line
// and byte column), the line quoted as the file has it (not as edited up
// to the cursor, without its line end), the reason, and what to do. The
// lines before it have already gone out.
TEST(ScannerErrors, ReportThePlaceQuoteTheLineAndStopTheInput) {
    using test::gt_alone_lines, test::lt_open_lines, test::lt_unmatch_lines, test::markup_text;
    const ErrorCase cases[] = {
        {"'<' inside an open tag",
         "<p>\nok\nx <b <c>\nnext\n",
         {},
         "<p>\nok\n",
         markup_text("page.htm", 3, 6, "x <b <c>", lt_open_lines),
         3},
        {"'>' outside a tag",
         "a > b\n<p>\n",
         {},
         "",
         markup_text("page.htm", 1, 3, "a > b", gt_alone_lines),
         1},
        {"digits converted before the cursor are quoted as the file has them",
         "\x82\x50\x82\x51 > \x82\x53\n",
         {"-n"},
         "",
         markup_text("page.htm", 1, 6, "\x82\x50\x82\x51 > \x82\x53", gt_alone_lines),
         1},
        {"letters changed before the cursor too",
         "<b>x</b> > y\n",
         {"-c"},
         "",
         markup_text("page.htm", 1, 10, "<b>x</b> > y", gt_alone_lines),
         1},
        {"a CR LF line end is not quoted",
         "a\r\nb > c\r\n",
         {},
         "a\n",
         markup_text("page.htm", 2, 3, "b > c", gt_alone_lines),
         2},
        {"last line without newline",
         "a\nb>",
         {},
         "a\n",
         markup_text("page.htm", 2, 2, "b>", gt_alone_lines),
         2},
        {"input ends inside a tag: the place where it began",
         "<a\nhref=x\n",
         {},
         "<a\nhref=x\n",
         markup_text("page.htm", 1, 1, "<a", lt_unmatch_lines),
         1},
        {"a tag left open further into a later line",
         "x\n ab <p title=x\nmore\n",
         {},
         "x\n ab <p title=x\nmore\n",
         markup_text("page.htm", 2, 5, " ab <p title=x", lt_unmatch_lines),
         2},
        {"after a multi-line removal, the file's line where the error stands",
         "a<font\ncolor=red\n>b<p <q>\n",
         {"-d:f"},
         "",
         markup_text("page.htm", 3, 6, ">b<p <q>", lt_open_lines),
         3},
        {"after a multi-line comment removal",
         "t<!-- a\nb -->c > d\n",
         {"-d:c"},
         "",
         markup_text("page.htm", 2, 8, "b -->c > d", gt_alone_lines),
         2},
        {"'<' before a letter in running text opens a tag",
         "if a<b then\nc <i>d</i>\n",
         {},
         "if a<b then\n",
         markup_text("page.htm", 2, 3, "c <i>d</i>", lt_open_lines),
         2},
        {"a script block ends only at \"</script>\"",
         "<script type=\"t\">x</script >\n</script>a > b\n",
         {},
         "<script type=\"t\">x</script >\n",
         markup_text("page.htm", 2, 12, "</script>a > b", gt_alone_lines),
         2},
        {"a style block ends where \"</style\" begins",
         "<style>a > b</style>c > d\n",
         {},
         "",
         markup_text("page.htm", 1, 23, "<style>a > b</style>c > d", gt_alone_lines),
         1},
        {"a tag whose name only begins with style opens no block",
         "<stylesheet>a > b\n",
         {},
         "",
         markup_text("page.htm", 1, 15, "<stylesheet>a > b", gt_alone_lines),
         1},
        {"'<!--' in a quoted value swallows the tag's '>'",
         "<a title=\"<!--\">x</a>\n",
         {},
         "<a title=\"<!--\">x</a>\n",
         markup_text("page.htm", 1, 1, "<a title=\"<!--\">x</a>", lt_unmatch_lines),
         1},
        {"lead byte hides the '>' after it",
         "<b\x81>x\n",
         {},
         "<b\x81>x\n",
         markup_text("page.htm", 1, 1, "<b\x81>x", lt_unmatch_lines),
         1},
    };
    for (const ErrorCase& c : cases) {
        EditRun r = edit(c.text, c.options);
        EXPECT_EQ(-2, r.result) << c.name;
        EXPECT_EQ(c.out, r.out) << c.name;
        EXPECT_EQ(c.err, r.err) << c.name;
        EXPECT_EQ(c.error_line, r.error_line) << c.name;
    }
}

// Line numbers are 64-bit: past 2^31 lines a page still names its line.
TEST(ScannerErrors, LineNumberPastTwoToThe32) {
    EditState st;
    st.path = "page.htm";
    const std::string line = "a > b\n";
    st.line_buf.load(line);
    testing::internal::CaptureStderr();
    markup_error(st, msg_gt_alone, {(std::int64_t{1} << 32) + 1, 3});
    EXPECT_TRUE(testing::internal::GetCapturedStderr().starts_with(
        "page.htm:4294967297:3: a > b\n ... '>' does not correspond with '<'.\n"));
}

// -i lets the three bracket checks pass: the text goes through unchanged.
TEST(ScannerErrors, IgnoreOptionPassesBracketErrors) {
    const char* const texts[] = {
        "<p>\nok\nx <b <c>\nnext\n",
        "a > b\n<p>\n",
        "<a\nhref=x\n",
        "<script type=\"t\">if (a < b) x();</script>\n<p>\n",
    };
    for (const char* text : texts) {
        EditRun r = edit(text, {"-i"});
        EXPECT_EQ(0, r.result) << text;
        EXPECT_EQ(text, r.out);
        EXPECT_EQ("", r.err) << text;
    }
}

// -i does not cover a removal that runs off the end of the input.
TEST(ScannerErrors, IgnoreOptionKeepsRemovalErrors) {
    const struct {
        std::string text;
        std::vector<std::string> options;
        std::string err_end;
        int error_line;
    } cases[] = {
        {"<font size=2>a\n<font\n", {"-i", "-d:f"}, "\n" + test::removed_open_lines, 2},
        {"x\n<!-- a\nb\n", {"-i", "-d:c"}, "\n" + test::comment_open_lines, 2},
    };
    for (const auto& c : cases) {
        EditRun r = edit(c.text, c.options);
        EXPECT_EQ(-2, r.result) << c.text;
        EXPECT_EQ(c.error_line, r.error_line) << c.text;
        ASSERT_GE(r.err.size(), c.err_end.size()) << c.text;
        EXPECT_EQ(c.err_end, r.err.substr(r.err.size() - c.err_end.size())) << c.text;
    }
}

// Texts that walk through without an error and come out as they went in.
TEST(ScannerWalk, PassesMarkupThatPairsUp) {
    const char* const texts[] = {
        "",
        "plain text\n",
        "no final newline",
        "<a\nhref=x>y</a>\n",
        "<a title=\"a>b\">x</a>\n",
        "<a title='a>b' alt=\"'\">x</a>\n",
        "<a title=\"x\ny>z\">w</a>\n",
        "it's a \"quote\" <i>c</i>\n",
        "<!-- a < b > c -->\n",
        "<!--\n<<>>\n-->\n",
        "<!-- \x81-->\n",
        "<script>if (a < b && c > d) x();</script>\n",
        "<SCRIPT>\nif (a<b) {}\n</Script>\n<p>\n",
        "text -->\n",
        "<a title=\"<!--\">x-->\">y</a>\n",
        "\x81>\n",
        "\x83\x41<b>\x82\xA0</b>\n",
        "<b\x81\n>\n",
    };
    for (const char* text : texts) {
        EditRun r = edit(text);
        EXPECT_EQ(0, r.result) << text;
        EXPECT_EQ(text, r.out);
        EXPECT_EQ("", r.err) << text;
    }
}

// A line of any length is one line of the walk: its double-byte characters
// stay in step to its end, and later lines keep their own numbers.
TEST(ScannerWalk, LongLineIsOneLine) {
    // Every second byte of the small a is in the lead-byte range: walked out
    // of step, the last character would hide the closing '>'.
    const std::string small_a = "\x82\x9F";
    const std::string text = "<b" + repeat(small_a, 300000) + ">\n";
    EditRun r = edit(text);
    EXPECT_EQ(0, r.result);
    EXPECT_EQ("", r.err.substr(0, 200));
    EXPECT_TRUE(text == r.out);

    r = edit("<p>" + repeat("x", 700000) + "\n" + "a > b\n");
    EXPECT_EQ(-2, r.result);
    EXPECT_EQ(2, r.error_line);
    EXPECT_EQ(test::markup_text("page.htm", 2, 3, "a > b", test::gt_alone_lines), r.err);
}

// A page of 5 MB on one line, with a tag across every multiple of 256 KB and
// of the 255,999 bytes that the program once cut lines into, is edited as
// the same page cut into lines between its tags and texts.
TEST(ScannerWalk, FiveMegabyteLineEditsAsThePageInLines) {
    const std::size_t size = 5 << 20;
    std::vector<std::size_t> bounds;
    for (std::size_t b = 262144; b < size; b += 262144) bounds.push_back(b);
    for (std::size_t b = 255999; b < size; b += 255999) bounds.push_back(b);
    std::sort(bounds.begin(), bounds.end());
    const std::string tags[] = {"<font color=red>",    "<a href=\"dir/p.html\">", "</font>",
                                "<img src=img/x.gif>", "<FONT SIZE=2>",           "</a>"};
    const std::string words = test::sjis("本日は晴天なり。") + "text ";
    std::vector<std::string> parts;  // text and tags, in turn
    std::size_t length = 0, t = 0;
    for (std::size_t b : bounds) {
        // The text runs up to 5 bytes before the boundary, and a tag from there.
        ASSERT_LE(length + 5, b);
        std::string text;
        while (length + text.size() + words.size() + 5 < b) text += words;
        text.append(b - 5 - length - text.size(), 'x');
        length += text.size() + tags[t % 6].size();
        parts.push_back(text);
        parts.push_back(tags[t++ % 6]);
    }
    std::string line, lines;
    for (const std::string& part : parts) {
        line += part;
        lines += part + "\n";
    }
    line += "\n";
    auto unbroken = [](std::string out) {
        out.erase(std::remove(out.begin(), out.end(), '\n'), out.end());
        return out;
    };
    for (const char* option : {"-d:f", "-u", "-c"}) {
        SCOPED_TRACE(option);
        EditRun one = edit(line, {option}), many = edit(lines, {option});
        EXPECT_EQ(0, one.result);
        EXPECT_EQ("", one.err);
        EXPECT_TRUE(unbroken(many.out) + "\n" == one.out);
        EXPECT_NE(line, one.out);
    }
    EXPECT_EQ(std::string::npos, edit(line, {"-d:f"}).out.find("font"));
    EXPECT_EQ(std::string::npos, edit(line, {"-u"}).out.find("dir/"));
    EXPECT_EQ(std::string::npos, edit(line, {"-c"}).out.find("<a "));
}

// Script and raw blocks (style, textarea, xmp, plaintext): the tag that
// opens one is walked and edited as a tag, and nothing inside is edited
// or checked until the block ends.
TEST(ScannerWalk, ScriptAndRawBlocksAreLeftAsTheyAre) {
    const std::string code = "<!--\nif (a < b && c > d) document.write('\x82\x50');\n// -->\n";
    const std::string css = "<!--\nul > li { color: red }\n-->\n";
    test::expect_edits({
        // The usual forms open a block at their '>'; the tag itself is
        // edited, and so is the end tag after the block.
        {{"-c"},
         "<script type=\"text/javascript\">\n" + code + "</script><b>\n",
         "<SCRIPT TYPE=\"text/javascript\">\n" + code + "</script><B>\n"},
        {{"-c"},
         "<script language=JavaScript\n>" + code + "</SCRIPT>\n",
         "<SCRIPT LANGUAGE=JAVASCRIPT\n>" + code + "</SCRIPT>\n"},
        {{"-c"},
         "<style type=\"text/css\">\n" + css + "</style><b>\n",
         "<STYLE TYPE=\"text/css\">\n" + css + "</STYLE><B>\n"},
        {{"-c"}, "<STYLE>" + css + "</style\t>x<b>\n", "<STYLE>" + css + "</STYLE\t>x<B>\n"},
        {{"-c"}, "<style/>a{}</style/><b>\n", "<STYLE/>a{}</STYLE/><B>\n"},
        {{"-c"}, "<script\tsrc=x.js></script><b>\n", "<SCRIPT\tSRC=x.js></script><B>\n"},
        // The exact "<script>" works as before.
        {{"-c"}, "<script>" + code + "</script><b>\n", "<script>" + code + "</script><B>\n"},
        // "<!--" is no comment inside a block: -d:c leaves it, and the
        // "</script>" after it ends the block.
        {{"-d:c"},
         "<!--a--><script type=\"t\">\n" + code + "</script><!--b-->\n",
         "<script type=\"t\">\n" + code + "</script>\n"},
        {{"-d:c"}, "<script><!-- x() // --></script>\n", "<script><!-- x() // --></script>\n"},
        {{"-d:c"}, "<style>\n" + css + "</style>\n", "<style>\n" + css + "</style>\n"},
        {{"-d:c"},
         "<script type=t><!-- a </script>b<!-- c -->\n",
         "<script type=t><!-- a </script>b\n"},
        // Nothing inside is edited: not letters, digits, kana or tags.
        {{"-knc", "-d:afi"},
         "<style>\n<a href=x><font>\xB1\x82\x50 ab</style>\xB1\x82\x50\n",
         "<STYLE>\n<a href=x><font>\xB1\x82\x50 ab</STYLE>\x83\x41"
         "1\n"},
        {{"-u"},
         "<script type=t>document.write('<a href=\"d/x.html\">')</script><a href=\"d/y.html\">\n",
         "<script type=t>document.write('<a href=\"d/x.html\">')</script><a href=\"y.html\">\n"},
        // -j keeps the line ends inside both kinds of block.
        {{"-j"},
         "a\n<script type=t>\nf() // note\ng()\n</script>\nb\nc\n",
         "a <script type=t>\nf() // note\ng()\n</script>\nb c"},
        {{"-j"}, "a\n<style>\np {\n}\n</style>\nb\n", "a <style>\np {\n}\n</style>\nb"},
        // Textarea, xmp and plaintext blocks are read as style blocks are;
        // a block ends only at the end tag of its own kind, and a
        // plaintext block not at all.
        {{"-c", "-d:c"},
         "<textarea name=t>\n<b>a > b</b><!-- x --></textarea><b>\n",
         "<TEXTAREA NAME=t>\n<b>a > b</b><!-- x --></TEXTAREA><B>\n"},
        {{"-c"}, "<xmp>\n<a href=x>\n</xmp\n><b>\n", "<XMP>\n<a href=x>\n</XMP\n><B>\n"},
        {{"-c"}, "<textarea>a</xmp>b</textarea><b>\n", "<TEXTAREA>a</xmp>b</TEXTAREA><B>\n"},
        {{"-kc"},
         "<plaintext>\n<b>\xB1 > </plaintext>\n\xB1",
         "<PLAINTEXT>\n<b>\xB1 > </plaintext>\n\xB1"},
        {{"-j"},
         "a\n<textarea>\nx\ny\n</textarea>\nb\nc\n",
         "a <textarea>\nx\ny\n</textarea>\nb c"},
        // Only the names themselves open blocks.
        {{"-c"}, "<scripts>a<styles>b<xmpl>c<b>\n", "<SCRIPTS>a<STYLES>b<XMPL>c<B>\n"},
        // A '<' that starts the tag afresh (-i) forgets the block.
        {{"-i", "-c"}, "<style <b>x<b>\n", "<STYLE <B>x<B>\n"},
    });
}

// The walk tracks tables across tags and lines.
TEST(ScannerWalk, TracksTablesAndPreformattedText) {
    const struct {
        const char* name;
        std::vector<std::string> options;
        std::string text;
        std::string out;
    } cases[] = {
        {"align only inside a table",
         {"-d:l"},
         "<td align=x><table><td align=y></table><td align=z>\n",
         "<td align=x><table><td></table><td align=z>\n"},
        {"closing tags in capitals and with a blank",
         {"-d:l"},
         "<table><table></TABLE></table ><td valign=top>\n",
         "<table><table></TABLE></table ><td valign=top>\n"},
        {"closing tag without a table stays at zero",
         {"-d:l"},
         "</table></table><table>\n<td align=x>\n",
         "</table></table><table>\n<td>\n"},
        {"table tag in a comment is not counted",
         {"-d:l"},
         "<!-- <table> -->\n<td align=x>\n",
         "<!-- <table> -->\n<td align=x>\n"},
    };
    for (const auto& c : cases) {
        EditRun r = edit(c.text, c.options);
        EXPECT_EQ(0, r.result) << c.name;
        EXPECT_EQ(c.out, r.out) << c.name;
        EXPECT_EQ("", r.err) << c.name;
    }
}

// Each input starts from a fresh state: nothing carries over from an input
// that stopped inside a tag, a comment or a script block.
TEST(ScannerWalk, EachInputStartsAfresh) {
    for (const char* first : {"<a href=\"x\n", "<!-- open\n", "<script>\n", "<table>\n"}) {
        edit(first, {"-i"});
        EditRun r = edit("<td align=x>\na > b\n", {"-d:l"});
        EXPECT_EQ(-2, r.result) << first;
        EXPECT_EQ(2, r.error_line) << first;
        EXPECT_EQ("<td align=x>\n", r.out) << first;
    }
}

}  // namespace
}  // namespace tagpolish

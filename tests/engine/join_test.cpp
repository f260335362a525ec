#include "engine/join.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/engine_run.h"
#include "support/test_support.h"

namespace tagpolish {
namespace {

using test::edit;

// One joining case: input and expected output, in ASCII unless noted.
struct Case {
    const char* note;
    std::string input;
    std::string expected;
};

void expect_joined(const std::vector<Case>& cases, const std::vector<std::string>& options) {
    for (const Case& c : cases) {
        test::EditRun run = edit(c.input, options);
        EXPECT_EQ(0, run.result) << c.note;
        EXPECT_EQ(c.expected, run.out) << c.note;
    }
}

TEST(JoinNewlineRule, TextLinesRunOnUntilALineEndsInATag) {
    expect_joined(
        {
            {"run of text lines", "aa\nbb\ncc<br>\ndd<br>\n", "aa bb cc<br>\ndd<br>\n"},
            {"a blank after the tag", "aa<br> \nbb<br>\n", "aa<br> bb<br>\n"},
            {"last line without newline", "aa\nbb", "aa bb"},
            {"last line after a tag line", "<br>\nbb", "<br>\nbb"},
            {"last text line loses its newline", "<br>\nbb\n", "<br>\nbb"},
            {"empty lines stay", "aa\n\n\nbb\n", "aa\n\nbb"},
            // The lead byte takes the newline as its second byte.
            {"lead byte before newline", "ab\x83\ncd\n", "ab\x83\ncd"},
        },
        {"-j"});
}

// A line end between two ASCII words shows as a blank, which the join
// keeps; between Japanese text, or next to a blank, nothing goes in its
// place. Both lines are judged as edited.
TEST(JoinNewlineRule, AsciiWordsOnJoinedLinesKeepABlankBetweenThem) {
    const std::vector<std::string> j{"-j"};
    using test::sjis;
    test::expect_edits({
        {j, "Deep\nPurple\n", "Deep Purple"},
        {j, "Deep\n<b>Purple</b>\n", "Deep <b>Purple</b>\n"},
        {j, "&amp;\nco.\n", "&amp; co."},
        {j, sjis("深い\n紫\n"), sjis("深い紫")},
        {j, sjis("Deep\n紫\n"), sjis("Deep紫")},
        {j, sjis("紫\nPurple\n"), sjis("紫Purple")},
        {j, "Deep \nPurple\n", "Deep Purple"},
        {j, "Deep\n\tPurple\n", "Deep\tPurple"},
        {j, "Deep\n\nPurple\n", "Deep\nPurple"},
        {j, "Deep\r\r\nPurple\n", "Deep Purple"},
        // A paragraph's line break stands in the blank's place; after the
        // last line there is nothing to keep apart.
        {j, "Deep\n<p>Purple\n", "Deep\n<p>Purple"},
        {j, "Deep\n", "Deep"},
        // The second byte of ソ is "\\"; after two lead bytes a "\\" stands alone.
        {j, sjis("ソ\nx\n"), sjis("ソx")},
        {j, "\x83\x83\\\nx\n", "\x83\x83\\ x"},
        // What the edits leave counts, not what the page had.
        {{"-j", "-d:c"}, "Deep<!-- a -->\n<!-- b -->Purple\n", "Deep Purple"},
        {{"-j", "-d:c"}, "Deep\n<!-- b --> Purple\n", "Deep Purple"},
        {{"-ja"}, sjis("Deep\nＰurple\n"), "Deep Purple"},
    });
}

// A pre or listing tag, with or without attributes, opens a block that
// only the end tag of its kind closes; its tags are still edited.
TEST(JoinNewlineRule, PreformattedLinesKeepTheirNewlines) {
    expect_joined(
        {
            {"block", "<pre>\na\nb\n</pre>\nc\nd<br>\n", "<pre>\na\nb\n</pre>\nc d<br>\n"},
            {"with attributes",
             "a\n<pre class=\"macro-example\">\n[Font]\nSize1 = -15\nSize2 = -19\n</pre>\nb\n",
             "a <pre class=\"macro-example\">\n[Font]\nSize1 = -15\nSize2 = -19\n</pre>\nb"},
            {"listing", "<LISTING>\na\nb\n</listing>\nc\nd\n", "<LISTING>\na\nb\n</listing>\nc d"},
            {"only its own end tag", "<pre>\na\n</listing>\nb\n</pre\t>\nc\n",
             "<pre>\na\n</listing>\nb\n</pre\t>\nc"},
            {"no tag in a comment", "<!-- <pre> -->\na\nb\n", "<!-- <pre> -->\na b"},
            {"closing line without tag end", "<PRE>\na\n</Pre>x\ny<br>\n",
             "<PRE>\na\n</Pre>x y<br>\n"},
            {"opened and closed on one line", "<pre>x</pre>y\nz\n", "<pre>x</pre>y z"},
            {"opened after text", "x<pre>y\nz\n</pre>\n", "x<pre>y\nz\n</pre>\n"},
            {"not a pre tag", "<pref>\na\nb<br>\n", "<pref>\na b<br>\n"},
        },
        {"-j"});
    expect_joined({{"tags inside", "<pre>\n<b>x</b>\ny\n</pre>\n", "<PRE>\n<B>x</B>\ny\n</PRE>\n"}},
                  {"-jc"});
}

// Joining there would glue attributes together or comment out script code
// that follows a "//" comment.
TEST(JoinNewlineRule, LinesEndingInsideTagsCommentsAndScriptsKeepTheirNewlines) {
    expect_joined(
        {
            {"tag name and attribute", "a\n<img\nsrc=x.gif\nalt=y>\nb\n",
             "a <img\nsrc=x.gif\nalt=y>\nb"},
            {"quoted value", "<a title=\"x\ny\">z\nw\n", "<a title=\"x\ny\">z w"},
            {"script block", "<script>\nf(); // note\ng()\n</script>\na\nb\n",
             "<script>\nf(); // note\ng()\n</script>\na b"},
            {"comment hiding a script",
             "<script language=\"JavaScript\">\n<!--\nf(); // note\ng()\n//-->\n</script>\n",
             "<script language=\"JavaScript\">\n<!--\nf(); // note\ng()\n//-->\n</script>\n"},
            {"text after a closed comment", "<!-- x\n-->a\nb\n", "<!-- x\n-->a b"},
        },
        {"-j"});
}

// The walk sees a "\r\n" line end as "\n"; a "\r" before it (CR CR LF, as
// line ends converted twice leave them) goes with the newline, unless it
// is the second byte of a double-byte character.
TEST(JoinNewlineRule, CarriageReturnBeforeTheNewlineBelongsToTheLineEnd) {
    expect_joined(
        {
            {"CR LF lines of an LF page", "x\nab\r\ncd<br>\r\n", "x ab cd<br>\n"},
            {"joined line loses the CR too", "x\nab\r\r\ncd<br>\n", "x ab cd<br>\n"},
            {"the byte before the CR decides", "x\n<br>\r\r\nab\n", "x <br>\r\nab"},
            {"CR alone is an empty line", "x\nab\n\r\r\ncd\n", "x ab\r\ncd"},
            {"paragraph after an empty line", "x\n\r\r\n<p>cd\n", "x\r\n\n<p>cd"},
            {"CR CR LF in a CR LF page", "ab\r\r\ncd<br>\r\r\nef\r\r\n", "ab cd<br>\r\nef"},
            {"second bytes in the lead range", "x\n\x88\x9F\r\r\ncd\n",
             "x\x88\x9F"
             "cd"},
            {"a lead byte takes the CR", "x\nab\x83\r\r\ncd\n", "x ab\x83\rcd"},
            {"lead bytes pair up before it", "x\n\x83\x88\x9F\r\r\ncd\n", "x\x83\x88\x9F\rcd"},
            {"a CR alone in the line stays", "x\na\rb\n<br>\n", "x a\rb <br>\n"},
            {"preformatted", "x\n<pre>\na\r\r\n</pre>\r\n", "x <pre>\na\r\n</pre>\n"},
        },
        {"-j"});
}

TEST(JoinParagraphRule, NewlineGoesOutBeforeAParagraphAfterJoinedText) {
    expect_joined(
        {
            {"after joined text", "aa\nbb\n<p>cc<br>\n", "aa bb\n<p>cc<br>\n"},
            {"after a tag line", "<br>\n<p>cc<br>\n", "<br>\n<p>cc<br>\n"},
            {"after a tag line and a blank", "<br> \n<p>cc<br>\n", "<br> \n<p>cc<br>\n"},
            {"empty line after text", "aa\n\n<p>cc<br>\n", "aa\n\n<p>cc<br>\n"},
            {"empty line after a tag line", "<br>\n\n<p>cc<br>\n", "<br>\n\n<p>cc<br>\n"},
            {"first line of the input", "<p>cc<br>\n", "\n<p>cc<br>\n"},
            {"capitals and attributes", "a\n<P class=x>b\nc\n<p\tid=y>d\n",
             "a\n<P class=x>b c\n<p\tid=y>d"},
            {"only a paragraph tag", "aa\n<p>\nbb\n<p>cc\n", "aa\n<p>\nbb\n<p>cc"},
            {"tag and blanks only", "aa\n<p>  \nbb\n", "aa\n<p>  bb"},
            {"last line only a tag", "aa\n<p>", "aa <p>"},
            {"last line a tag and blanks", "aa\n<p> \t\x81\x40", "aa <p> \t\x81\x40"},
            {"not at the line start", "aa\nb<p>c\n", "aa b<p>c"},
            {"other tags beginning p", "aa\n<pre>\n</pre>\nb\n<param>\n",
             "aa <pre>\n</pre>\nb <param>\n"},
            {"inside a pre block", "<pre>\n<p>x\n</pre>\n", "<pre>\n<p>x\n</pre>\n"},
        },
        {"-j"});
}

TEST(JoinParagraphRule, BlanksAfterTheTagStay) {
    std::string input = test::sjis("あ\n<p> \t　　い\n");
    test::EditRun run = edit(input, {"-j"});
    EXPECT_EQ(test::sjis("あ\n<p> \t　　い"), run.out);
}

TEST(JoinParagraphRule, TagRunningOnToTheNextLineIsWalkedAsATag) {
    test::EditRun run = edit("aa\n<p class=x\nid=y>bb\n", {"-jc"});
    EXPECT_EQ("aa <P CLASS=x\nID=y>bb", run.out);
}

// The paragraph rule only puts out the line break: every edit acts on the
// tag as without -j.
TEST(JoinParagraphRule, ParagraphTagIsEditedAsAnyOtherTag) {
    test::expect_edits({
        {{"-jc"}, "a\n<p class=x>b<br>\n<P>c<Br>\n", "a\n<P CLASS=x>b<BR>\n<P>c<BR>\n"},
        {{"-js"}, "a\n<P ALIGN=CENTER>b<BR>\n", "a\n<p align=center>b<br>\n"},
        {{"-j", "-d:l"},
         "<table><tr><td>\n<P ALIGN=\"CENTER\">x</td></tr></table>\n",
         "<table><tr><td>\n<P>x</td></tr></table>\n"},
        {{"-j", "-d:b"}, "a\n<p bgcolor=red>b\n", "a\n<p>b"},
        {{"-jn"}, test::sjis("a\n<p width=１２>b\n"), "a\n<p width=12>b"},
    });
}

// A paragraph tag inside a tag left open is a bracket error, with -j as
// without it.
TEST(JoinParagraphRule, ParagraphTagTakesPartInTheBracketChecks) {
    const std::string input = "a\n<img src=x\n<p>b\n";
    const test::EditRun plain = edit(input), joined = edit(input, {"-j"});
    EXPECT_EQ(-2, joined.result);
    EXPECT_NE("", joined.err);
    EXPECT_EQ(plain.err, joined.err);
    EXPECT_EQ(plain.error_line, joined.error_line);
}

TEST(JoinOutput, RewrittenFileHoldsTheExtraNewlineInPlace) {
    test::TempDir dir;
    std::string path = dir.write("page.htm", "aa\nbb\n<p>cc\ndd<br>\n\n<p>ee<br>\n");
    test::RunResult r = test::run_tool({"-jw", path});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("aa bb\n<p>cc dd<br>\n\n<p>ee<br>\n", test::read_file(path));
}

TEST(JoinOutput, CrLfPageKeepsCrLfWhereNewlinesStay) {
    std::string page = "aa\r\nbb\r\n<p>cc<br>\r\n\r\ndd\r\n<pre>\r\nx\r\n</pre>\r\nee";
    std::string joined = "aa bb\r\n<p>cc<br>\r\n\r\ndd <pre>\r\nx\r\n</pre>\r\nee";
    test::RunResult r = test::run_tool({"-j"}, page);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(joined, r.out);

    test::TempDir dir;
    std::string path = dir.write("page.htm", page);
    r = test::run_tool({"-jw", path});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(joined, test::read_file(path));
}

}  // namespace
}  // namespace tagpolish

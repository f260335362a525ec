// Tags read as browsers read them: where a tag begins, and how its bytes
// split into names, values and quoted values. Each case runs through the
// plain walk and the fast walk (expect_edits).
#include "engine/tag_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/engine_run.h"
#include "support/markup_messages.h"
#include "support/test_support.h"

namespace tagpolish {
namespace {

using test::expect_edits;
using test::sjis;

// A "<" opens a tag only before a letter, "/", "!" or "?": any other is
// text, with or without -i, and inside an open tag an ordinary byte of it.
TEST(TagReader, LessThanBeforeALetterSlashBangOrQuestionMarkOpensATag) {
    const std::vector<std::string> c{"-c"}, ic{"-ic"};
    const std::string listing = "for (i = 0 ; i < comports ; i++)\n";
    expect_edits({
        {c, listing, listing},
        {ic, listing, listing},
        {c, "a <1 b <= c <\tx <<\n", "a <1 b <= c <\tx <<\n"},
        {c, sjis("x <あ <\n<"), sjis("x <あ <\n<")},
        {c, "<b>x</b><!DOCTYPE html><?xml version=1?>\n",
         "<B>x</B><!DOCTYPE HTML><?XML VERSION=1?>\n"},
        // Inside a tag: part of a value, or of a name.
        {c, "<a title=x<1 <=y>z\n", "<A TITLE=x<1 <=y>z\n"},
        // A letter after it: a tag inside the tag, which -i starts afresh.
        {ic, "<a title=x<b>y\n", "<A TITLE=x<B>y\n"},
    });
    // The ">" after such a "<" stands outside a tag: the page is refused.
    for (const std::string text : {"a <> b", "if (a < b && c > d) x();"}) {
        test::EditRun run = test::edit(text + "\n", {"-c"});
        EXPECT_EQ(-2, run.result) << text;
        EXPECT_EQ(test::markup_text("page.htm", 1, static_cast<std::int64_t>(text.find('>')) + 1,
                                    text, test::gt_alone_lines),
                  run.err);
    }
}

// Inside a tag a quote opens a value only where a value begins: right
// after "=" and its blanks. Anywhere else it is a byte of a name or of an
// unquoted value, and a ">" after it closes the tag.
TEST(TagReader, AQuoteOpensAValueOnlyWhereAValueBegins) {
    const std::vector<std::string> c{"-c"};
    expect_edits({
        {c, "<IMG alt=\"x\" 80\" height=\"80\"><a href=\"Top/hr.gif\">\n",
         "<IMG ALT=\"x\" 80\" HEIGHT=\"80\"><A HREF=\"Top/hr.gif\">\n"},
        // The attribute a with the value b="c, and the attribute d".
        {c, "<p a=b=\"c d\">x</p>\n", "<P A=b=\"c D\">x</P>\n"},
        {c, "<p a = \"x y\" b\t=\n'v w'>\n", "<P A = \"x y\" B\t=\n'v w'>\n"},
        {c, "<a title=it's href=x>y's</a>\n", "<A TITLE=it's HREF=x>y's</A>\n"},
        {c, "<a title='x' 'y'>z\n", "<A TITLE='x' 'Y'>z\n"},
        // "=" that begins a name does not begin a value.
        {c, "<a =\"b c\">x\n", "<A =\"B C\">x\n"},
        // A quoted value hides a ">" and runs on over line ends.
        {c, "<a title=\"a>b\nc\" id=x>\n", "<A TITLE=\"a>b\nc\" ID=x>\n"},
        // Inside a declaration a quote opens and closes anywhere.
        {c, "<!doctype html public \"-//w3c//dtd>\" 'x'>\n",
         "<!DOCTYPE HTML PUBLIC \"-//w3c//dtd>\" 'x'>\n"},
        // A lead byte and its second byte are one character.
        {c, "<a title=\x83\"b>c\n", "<A TITLE=\x83\"b>c\n"},
    });
}

// The removals that search for the end of a tag, across lines, and the
// paragraph rule of -j find it where the walk does.
TEST(TagReader, RemovalsAndParagraphsFindTheTagsEndAsTheWalkDoes) {
    expect_edits({
        {{"-d:i"}, "a<img alt=\"x\" 80\" src=\"y.gif\">b\n", "ab\n"},
        {{"-d:i"}, "a<img alt=it's\nsrc=y.gif>b\n", "ab\n"},
        {{"-d:i"}, "a<img alt='it>s'\nsrc=y.gif>b\n", "ab\n"},
        // A lead byte hides the ">" after it, as in the walk.
        {{"-d:f"}, "<font size=\x83>x>y\n", "y\n"},
        {{"-j"}, "a\n<p title=\"x>y\">b\nc\n", "a\n<p title=\"x>y\">b c"},
        // Nothing follows the tag's real end: no line break before it.
        {{"-j"}, "a\n<p title='x>y'>", "a <p title='x>y'>"},
    });
}

// The attribute edits act on attribute names, not on text in a value.
TEST(TagReader, AttributeEditsActOnNamesOnly) {
    expect_edits({
        {{"-u"}, "<img alt=\"x\" 80\" src=\"a/b.gif\">\n", "<img alt=\"x\" 80\" src=\"b.gif\">\n"},
        {{"-u"}, "<img title=src=a/b lowsrc=c/d>\n", "<img title=src=a/b lowsrc=d>\n"},
        {{"-d:b"}, "<a href=x?bgcolor=red bgcolor=red>\n", "<a href=x?bgcolor=red>\n"},
        {{"-d:l"}, "<table><td title=a align=b>\n", "<table><td title=a>\n"},
        // "charset=" goes wherever it stands in a tag, as before.
        {{"-d:h"}, "<meta content=text/html;charset=x>\n", "<meta content=text/html;>\n"},
    });
}

}  // namespace
}  // namespace tagpolish

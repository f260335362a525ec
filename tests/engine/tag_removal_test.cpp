#include "engine/tag_removal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/engine_run.h"
#include "support/markup_messages.h"
#include "support/test_support.h"

namespace tagpolish {
namespace {

using test::sjis;

using Case = test::EditCase;
using test::expect_edits;

TEST(TagRemoval, OpeningAndClosingTagsGoTheTextBetweenStays) {
    expect_edits({
        {{"-d:a"}, "<p><a href='x.html'>Next</a></p>\n", "<p>Next</p>\n"},
        {{"-d:a"}, sjis("<A HREF=x.html>次へ</A>\n"), sjis("次へ\n")},
        {{"-d:i"}, "<p><IMG SRC=a.gif>x</p>\n", "<p>x</p>\n"},
        {{"-d:f"}, "<font color=red>x</font><FONT SIZE=2>y</FONT>\n", "xy\n"},
        {{"-d:o"}, "<bgsound src=a.mid loop=2>t\n", "t\n"},
        // Each removal resumes on the byte that moved into its place.
        {{"-d:a", "-d:i"}, "<a href='x'><img src='y.gif'></a>\n", "\n"},
        // Blanks around a removed tag stay.
        {{"-d:i"}, " <img src=a.gif> \n", "  \n"},
        // Only the options given remove anything.
        {{"-d:a"}, "<img src=a.gif><font>x</font>\n", "<img src=a.gif><font>x</font>\n"},
        {{"-d:i"}, "<a href=x>y</a>\n", "<a href=x>y</a>\n"},
    });
}

TEST(TagRemoval, OpeningTagsMatchByPrefixClosingTagsExactly) {
    expect_edits({
        {{"-d:i"}, "<imgmap>x\n", "x\n"},
        {{"-d:f"}, "<fontx>x</font ></font>\n", "x</font >\n"},
        {{"-d:o"}, "<BGSOUNDX>x\n", "x\n"},
    });
}

// Link tags are the tags named a: other names that begin with a stay, and
// so do their closing tags and "</a >".
TEST(TagRemoval, LinkTagsAreTheTagsNamedA) {
    const std::vector<std::string> d_a{"-d:a"};
    expect_edits({
        {d_a, "<abbr>x</abbr><address>y</address><area href=z><applet code=q><aside><audio>\n",
         "<abbr>x</abbr><address>y</address><area href=z><applet code=q><aside><audio>\n"},
        {d_a, "<A HREF=x>y</A>z</a >\n", "yz</a >\n"},
        {d_a, "<a\thref=x>y</a><a>z</a>\n", "yz\n"},
        // The name ends at a line end: the tag runs on to the next line.
        {d_a, "<a\nhref=x>y</a>\n", "y\n"},
        {d_a, "<a\r\nhref=x>y</a>\n", "y\n"},
        {{"-d:a", "-i"}, "<a<a href=x>y\n", "<ay\n"},
        {{"-d:a", "-i"}, "<a/>y\n", "<a/>y\n"},
    });
    // "<a" at the very end of the text is a link that never closes.
    test::EditRun run = test::edit("x\n<a", d_a);
    EXPECT_EQ(-2, run.result);
    EXPECT_EQ(test::markup_text("page.htm", 2, 1, "<a", test::removed_open_lines), run.err);
}

TEST(TagRemoval, QuotesAndCommentsInsideATagHideItsBracket) {
    expect_edits({
        {{"-d:i"}, "<img alt='a>b' src='c.gif'>|\n", "|\n"},
        {{"-d:i"}, "<img alt=\"it's >\" src=c.gif>|\n", "|\n"},
        {{"-d:i"}, "<img <!-- > --> src=c.gif>|\n", "|\n"},
        // "-->" outside a comment is ordinary text, and its ">" ends the tag.
        {{"-d:i"}, "<img alt=x-->|\n", "|\n"},
        // The quote and the comment carry over to the next line.
        {{"-d:i"}, "a<img alt='x\n>y' src=c.gif>b\n", "ab\n"},
        {{"-d:i"}, "a<img <!-- x\n> --> src=c.gif>b\n", "ab\n"},
    });
}

TEST(TagRemoval, TagOverSeveralLinesBecomesOneLine) {
    test::EditRun run =
        test::edit("l1\nl2\nl3\nl4\nClick <a\nhref='p.html'>here</a> now\nx>y\n", {"-d:a"});
    EXPECT_EQ("l1\nl2\nl3\nl4\nClick here now\n", run.out);
    // The next line read is line 7, and messages count from there.
    EXPECT_EQ(test::markup_text("page.htm", 7, 2, "x>y", test::gt_alone_lines), run.err);
    EXPECT_EQ(-2, run.result);
    EXPECT_EQ(7, run.error_line);
}

TEST(TagRemoval, ErrorAfterMultiLineRemovalNamesLastConsumedLine) {
    // The font tag runs from line 1 to line 3; the second "<" on line 3
    // opens while "<p" is still open. The line quoted is line 3 as the
    // file has it.
    test::EditRun run = test::edit("a<font\ncolor=red\n>b<p <q>\n", {"-d:f"});
    EXPECT_EQ("", run.out);
    EXPECT_EQ(test::markup_text("page.htm", 3, 6, ">b<p <q>", test::lt_open_lines), run.err);
    EXPECT_EQ(3, run.error_line);
}

TEST(CommentRemoval, CommentGoesWholeFromOpenerThroughCloser) {
    expect_edits({
        {{"-d:c"}, "A<!-- note -->B\n", "AB\n"},
        {{"-d:c"}, "<!-- only -->\n", "\n"},
        {{"-d:c"}, "1\n2\nt3<!-- a\nb\nc -->t5\n", "1\n2\nt3t5\n"},
        // "<!-->" does not close the comment it opens.
        {{"-d:c"}, "a<!-->b-->c\n", "ac\n"},
        // Quotes and further openers mean nothing inside a comment.
        {{"-d:c"}, "<!-- 'x --> y' -->z\n", " y' -->z\n"},
        {{"-d:c"}, "<!-- a <!-- b --> c -->\n", " c -->\n"},
        // Openers inside quoted values count too.
        {{"-d:c"}, "<a title='x<!--y-->z' href=q>t</a>\n", "<a title='xz' href=q>t</a>\n"},
        {{"-d:c"}, sjis("前<!-- 注釈 -->後\n"), sjis("前後\n")},
        // Kept, "<!-->" leaves its comment open: the brackets after it are
        // inside the comment and raise no error.
        {{}, "a<!-->b>c-->d\n", "a<!-->b>c-->d\n"},
    });
}

TEST(CommentRemoval, LinesConsumedCountInLaterMessages) {
    test::EditRun run = test::edit("1\n2\nt3<!-- a\nb\nc -->t5\n6>\n", {"-d:c"});
    EXPECT_EQ("1\n2\nt3t5\n", run.out);
    EXPECT_EQ(test::markup_text("page.htm", 6, 2, "6>", test::gt_alone_lines), run.err);
    EXPECT_EQ(6, run.error_line);
}

// An input edited with options: what comes out, and the message that
// gives up the input (none when it goes through) with its line count.
struct Unclosed {
    std::vector<std::string> options;
    std::string input;
    std::string out;
    std::string err;
    int error_line;
};

// Edits each case with every walk: its output, its message (none: a result
// of 0) and the line count it names.
void expect_outcomes(const std::vector<Unclosed>& cases) {
    for (const test::Walk& walk : test::every_walk()) {
        SCOPED_TRACE(walk.name);
        test::WalkWith with(walk);
        for (const Unclosed& c : cases) {
            SCOPED_TRACE(c.input.substr(0, 60));
            test::EditRun run = test::edit(c.input, c.options);
            EXPECT_EQ(c.err.empty() ? 0 : -2, run.result);
            EXPECT_TRUE(c.out == run.out) << run.out.substr(0, 200);
            EXPECT_EQ(c.err, run.err);
            EXPECT_EQ(c.error_line, run.error_line);
        }
    }
}

// A construct that never closes gives up the input, even under -i.
TEST(TagRemoval, UnclosedConstructFailsEvenWithIgnore) {
    using test::comment_open_lines, test::markup_text, test::removed_open_lines;
    const std::vector<Unclosed> cases = {
        {{"-i", "-d:i"},
         "x\n<img src='a.gif'\n",
         "x\n",
         markup_text("page.htm", 2, 1, "<img src='a.gif'", removed_open_lines),
         2},
        // The place and the line shown are those where the tag began.
        {{"-d:f"},
         "ab<font\ncolor=red\nsize=3\n",
         "",
         markup_text("page.htm", 1, 3, "ab<font", removed_open_lines),
         1},
        {{"-i", "-d:a"}, "<a", "", markup_text("page.htm", 1, 1, "<a", removed_open_lines), 1},
        {{"-i", "-d:c"},
         "one\ntwo<!-- open\nstill\n",
         "one\n",
         markup_text("page.htm", 2, 4, "two<!-- open", comment_open_lines),
         2},
        {{"-d:c"}, "<!-->", "", markup_text("page.htm", 1, 1, "<!-->", comment_open_lines), 1},
    };
    expect_outcomes(cases);
}

// A tag to remove that lacks its ">" where the walk finds it, at a "<"
// that opens another tag inside it, would take the text up to some later
// ">" with it. The page is refused at that "<", as it is without the
// removal; under -i the tag stays as it stands, and the "<" inside it opens
// a tag of its own, which may go in turn. A "<" in a quoted value or a
// comment, or one that opens no tag, is the tag's own.
TEST(TagRemoval, TagThatLacksItsEndIsRefusedOrKeptAsItStands) {
    using test::lt_open_lines, test::markup_text;
    const std::string sale = "<p><font color=blue Sale ends Friday <b>today</b></font></p>";
    const std::string text_line = "Sale <b>now</b> and more text here";
    const std::string big_head = "<html><body>\n<p><font color=red\n";
    const std::string big = big_head + test::repeat(text_line + "\n", 30000);  // 1 MB
    const std::vector<Unclosed> cases = {
        {{"-d:f"}, sale + "\n", "", markup_text("page.htm", 1, 38, sale, lt_open_lines), 1},
        {{"-d:a"},
         "x\n<a href=x <img src=y.gif>z</a>\n",
         "x\n",
         markup_text("page.htm", 2, 11, "<a href=x <img src=y.gif>z</a>", lt_open_lines),
         2},
        {{"-d:i"},
         "<img src=a.gif\nalt=b\n<p>c\n",
         "",
         markup_text("page.htm", 3, 1, "<p>c", lt_open_lines),
         3},
        {{"-d:o"},
         "<bgsound src=a.mid <!-- x --> <b>\n",
         "",
         markup_text("page.htm", 1, 31, "<bgsound src=a.mid <!-- x --> <b>", lt_open_lines),
         1},
        {{"-d:f"},
         big,
         "<html><body>\n",
         markup_text("page.htm", 3, 6, text_line, lt_open_lines),
         3},
        {{"-i", "-d:f"},
         sale + "\n",
         "<p><font color=blue Sale ends Friday <b>today</b></p>\n",
         "",
         0},
        {{"-i", "-d:ai"}, "<a href=x <img src=y.gif>z</a>\n", "<a href=x z\n", "", 0},
        {{"-i", "-d:i"}, "<img src=a.gif\nalt=b\n<p>c\n", "<img src=a.gif\nalt=b\n<p>c\n", "", 0},
        {{"-i", "-d:f"},
         "<font color=red\nsize=3 <font size=2>x</font>\n",
         "<font color=red\nsize=3 x\n",
         "",
         0},
        {{"-i", "-d:o"},
         "<bgsound src=a <!-- x\n--> <b>\n",
         "<bgsound src=a <!-- x\n--> <b>\n",
         "",
         0},
        {{"-i", "-d:f"}, big, big, "", 0},
        {{"-d:f"}, "<font title='<b>' a=1<2>x\n", "x\n", "", 0},
        {{"-d:i"}, "<img alt=\"a\n<b>\" src=c>d\n", "d\n", "", 0},
        {{"-d:f"}, "<font <!-- <b> -->color=red>x\n", "x\n", "", 0},
    };
    expect_outcomes(cases);
}

TEST(TagRemoval, MultiLineRemovalAfterKatakanaGrowthKeepsEveryByte) {
    // Under -k the first line doubles to 400,000 bytes before the font tag
    // begins; the tag's later lines are read in behind it.
    const std::string kana(200000, '\xB1');  // half-width a
    std::string zen;
    for (int k = 0; k < 200000; ++k) zen += "\x83\x41";  // full-width a

    test::EditRun tag =
        test::edit(kana + "<font\nsize=3\ncolor=red\n>after\nnext\n", {"-k", "-d:f"});
    EXPECT_EQ(0, tag.result);
    EXPECT_EQ(zen + "after\nnext\n", tag.out);

    test::EditRun comment = test::edit(kana + "<!-- a\nb\nc -->after\nnext>\n", {"-k", "-d:c"});
    EXPECT_EQ(zen + "after\n", comment.out);
    EXPECT_EQ(test::markup_text("page.htm", 4, 5, "next>", test::gt_alone_lines), comment.err);
}

}  // namespace
}  // namespace tagpolish

#include "engine/attr_removal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/engine_run.h"
#include "support/test_support.h"

namespace tagpolish {
namespace {

using test::sjis;

using Case = test::EditCase;
using test::expect_edits;

TEST(BgcolorRemoval, ValueRulesAndClosingSpace) {
    const std::vector<std::string> b{"-d:b"};
    expect_edits({
        // The blank before a last attribute goes, so ">" closes right away.
        {b, "<body bgcolor='#FFFFFF'>\n", "<body>\n"},
        {b, "<TD BGCOLOR=\"Red\">\n", "<TD>\n"},
        // Only one blank goes, and only a space.
        {b, "<td  bgcolor=red>\n", "<td >\n"},
        {b, "<td\tbgcolor=red>\n", "<td\t>\n"},
        // The blank after a bgcolor value stays.
        {b, "<body bgcolor='#FFFFFF' text='#000000'>\n", "<body  text='#000000'>\n"},
        // An unquoted value runs over a tab, up to a space or ">".
        {b, "<td bgcolor=red\twidth=5>\n", "<td>\n"},
        {b, "<td bgcolor=red width=5>\n", "<td  width=5>\n"},
        // Blanks after "=" are skipped; a blank before it hides the name.
        {b, "<td bgcolor= \t#fff>\n", "<td>\n"},
        {b, "<body bgcolor = '#fff'>\n", "<body bgcolor = '#fff'>\n"},
        // An unclosed quoted value stays, unless its quote stands alone (-i:
        // the open quote hides the ">").
        {{"-i", "-d:b"}, "<body bgcolor='#fff>\n", "<body bgcolor='#fff>\n"},
        {b, "<body bgcolor='>\n", "<body>\n"},
        {b, "<body bgcolor=>\n", "<body>\n"},
        // Found inside longer names, never inside quoted values or text.
        {b, "<td xbgcolor=red>\n", "<td x>\n"},
        {b, "<img alt='bgcolor=red'>\n", "<img alt='bgcolor=red'>\n"},
        {b, "bgcolor=red\n", "bgcolor=red\n"},
        {b, sjis("<td bgcolor=赤>色\n"), sjis("<td>色\n")},
    });
}

TEST(BgcolorRemoval, ValueAtLineEndTakesTheNewlineAlong) {
    expect_edits({
        {{"-d:b"}, "<body bgcolor=#ffffff\ntext=#000000>\n", "<body text=#000000>\n"},
        // An empty value at the very end of the input stays; a lone quote
        // there goes.
        {{"-i", "-d:b"}, "<body bgcolor=", "<body bgcolor="},
        {{"-i", "-d:b"}, "<body bgcolor='", "<body "},
    });
}

TEST(SizeRemoval, FontTagsOnlyAndStrictValues) {
    const std::vector<std::string> s{"-d:s"};
    expect_edits({
        {s, "<font size=3>\n", "<font>\n"},
        {s, "<FONT SIZE=\"-2\">\n", "<FONT>\n"},
        // The space after the value goes with it.
        {s, "<font size='+1' color='red'>\n", "<font color='red'>\n"},
        {s, "<font size=3 color=red>\n", "<font color=red>\n"},
        {s, "<font size=3\tcolor=red>\n", "<font \tcolor=red>\n"},
        // No blanks are skipped after "=": the value is empty, the space goes.
        {s, "<font size= 3>\n", "<font 3>\n"},
        // Anything but signs and digits keeps the attribute.
        {s, "<font size='large'>\n", "<font size='large'>\n"},
        {s, "<font size=3x>\n", "<font size=3x>\n"},
        {{"-i", "-d:s"}, "<font size='+1>\n", "<font size='+1>\n"},
        {s, "<font size=3\n>\n", "<font size=3\n>\n"},
        {s, "<font face='size=3'>\n", "<font face='size=3'>\n"},
        {s, "<hr size=2><font>\n", "<hr size=2><font>\n"},
        {s, "<font point-size=3>\n", "<font point->\n"},
        // Font tags removed whole leave nothing for -d:s.
        {{"-d:s", "-d:f"}, "<font size=3>a</font>\n", "a\n"},
    });
}

TEST(AlignRemoval, InsideTablesOnly) {
    expect_edits({
        {{"-d:l"},
         "<p align=center>\n"
         "<table align=center>\n"
         "<td align='left' valign='top'>\n"
         "<p align=center>\n"
         "</TABLE>\n"
         "<p align=center>\n",
         "<p align=center>\n"
         "<table>\n"
         "<td>\n"
         "<p>\n"
         "</TABLE>\n"
         "<p align=center>\n"},
        // "</table" with a blank closes too; a nested table keeps the count up.
        {{"-d:l"},
         "<table><table></table ><td align=left>\n</table >\n<p align=left>\n",
         "<table><table></table ><td>\n</table >\n<p align=left>\n"},
        // Closing tags at depth 0 do not take it below 0.
        {{"-d:l"},
         "</table></table>\n<table>\n<p align=left>\n",
         "</table></table>\n<table>\n<p>\n"},
    });
}

TEST(AlignRemoval, ValueRules) {
    const std::vector<std::string> l{"-d:l"};
    expect_edits({
        // A quoted value runs to its closing quote, over ">".
        {l, "<table><td align='a>b'>\n", "<table><td>\n"},
        {l, "<table><td align= 'left' x>\n", "<table><td x>\n"},
        // Without its closing quote on the line the attribute stays.
        {l, "<table><td align='left>\n'>\n", "<table><td align='left>\n'>\n"},
        // An unquoted value stops at a tab, which stays.
        {l, "<table><td align=left\tvalign=top>\n", "<table><td \t>\n"},
        {l, "<table><td align=>\n", "<table><td>\n"},
        {l, "<table><td valign = top>\n", "<table><td valign = top>\n"},
        // At the end of a line the value takes the newline along.
        {l, "<table><td align=center\n>x\n", "<table><td >x\n"},
    });
}

TEST(CharsetRemoval, InsideAndOutsideQuotedValues) {
    const std::vector<std::string> h{"-d:h"};
    expect_edits({
        {h, "<meta name='x' content='text/html; charset=Shift_JIS'>\n",
         "<meta name='x' content='text/html; '>\n"},
        {h, "<META content=\"text/html;CHARSET=euc-jp\">\n", "<META content=\"text/html;\">\n"},
        // No closing-space rule, and the blank after the value stays.
        {h, "<meta charset='EUC-JP'>\n", "<meta >\n"},
        {h, "<meta CHARSET=x-sjis>\n", "<meta >\n"},
        {h, "<a charset= utf-8 href=x>\n", "<a  href=x>\n"},
        // A quoted value also ends at the other quote, which stays.
        {h, "<meta content=\"charset='a\">\n", "<meta content=\"\">\n"},
        // Outside tags and inside comments it stays.
        {h, "charset=x\n", "charset=x\n"},
        {h, "<!-- <meta charset=x> -->\n", "<!-- <meta charset=x> -->\n"},
    });
}

TEST(AttributeRemoval, BgcolorAndAlignTogether) {
    expect_edits({
        {{"-d:b", "-d:l"},
         "<table bgcolor=red align=center>\n"
         "<tr><td align=center bgcolor='#fff'>x</td></tr>\n"
         "</table>\n"
         "<td align=left bgcolor=red>\n",
         "<table >\n"
         "<tr><td>x</td></tr>\n"
         "</table>\n"
         "<td align=left>\n"},
    });
}

}  // namespace
}  // namespace tagpolish

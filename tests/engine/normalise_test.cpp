#include "engine/normalise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/engine_run.h"
#include "support/test_support.h"

namespace tagpolish {
namespace {

using test::edit;
using test::sjis;
using test::utf8;

// The characters of each table, written out as UTF-8.
const char* const zen_alnum_text =
    "０１２３４５６７８９ＡＢＣＤＥＦＧＨＩＪＫＬＭＮＯＰＱＲＳＴＵＶＷＸＹＺ"
    "ａｂｃｄｅｆｇｈｉｊｋｌｍｎｏｐｑｒｓｔｕｖｗｘｙｚ";
const char* const han_kana_text = "｡｢｣､･ｦｧｨｩｪｫｬｭｮｯｰｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜﾝﾞﾟ";
const char* const zen_kana_text =
    "。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノ"
    "ハヒフヘホマミムメモヤユヨラリルレロワン゛゜";
const char* const han_dakuon_text = "ｶﾞｷﾞｸﾞｹﾞｺﾞｻﾞｼﾞｽﾞｾﾞｿﾞﾀﾞﾁﾞﾂﾞﾃﾞﾄﾞﾊﾞﾊﾟﾋﾞﾋﾟﾌﾞﾌﾟﾍﾞﾍﾟﾎﾞﾎﾟｳﾞ";
const char* const zen_dakuon_text = "ガギグゲゴザジズゼゾダヂヅデドバパビピブプベペボポヴ";

// The UTF-8 text cut into its characters.
std::vector<std::string> chars_of(std::string_view text) {
    std::vector<std::string> out;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) out.emplace_back();
        out.back().push_back(static_cast<char>(c));
    }
    return out;
}

// The code point of one UTF-8 character of three bytes.
char32_t code_point(const std::string& ch) {
    auto b = [&](int k) { return static_cast<char32_t>(static_cast<unsigned char>(ch[k])); };
    return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
}

// One conversion case: options, input and expected output, both in UTF-8.
struct Case {
    std::vector<std::string> options;
    std::string input;
    std::string expected;
};

void expect_cases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        test::EditRun run = edit(sjis(c.input), c.options);
        EXPECT_EQ(0, run.result) << c.input;
        EXPECT_EQ(c.expected, utf8(run.out)) << "options " << c.options[0] << ", input " << c.input;
    }
}

TEST(NormaliseTables, HoldTheListedCharacters) {
    EXPECT_EQ(sjis(zen_alnum_text), zen_alnum);
    EXPECT_EQ("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz",
              std::string(han_alnum));
    EXPECT_EQ(sjis(han_kana_text), han_kana);
    EXPECT_EQ(sjis(zen_kana_text), zen_kana);
    EXPECT_EQ(sjis(han_dakuon_text), han_dakuon);
    EXPECT_EQ(sjis(zen_dakuon_text), zen_dakuon);
}

TEST(NormaliseAlnum, EachOptionConvertsItsOwnCharactersToTheirNfkcForm) {
    struct Option {
        const char* flag;
        bool digits, letters;
    };
    std::string input = std::string(zen_alnum_text) + "\n";
    for (Option o :
         {Option{"-n", true, false}, Option{"-a", false, true}, Option{"-na", true, true}}) {
        // For these characters NFKC gives the ASCII character 0xFEE0 below.
        std::string expected;
        for (const std::string& ch : chars_of(zen_alnum_text)) {
            char32_t cp = code_point(ch);
            bool digit = cp <= U'９';
            bool converts = digit ? o.digits : o.letters;
            expected += converts ? std::string(1, static_cast<char>(cp - 0xFEE0)) : ch;
        }
        expected += "\n";
        test::EditRun run = edit(sjis(input), {o.flag});
        EXPECT_EQ(expected, utf8(run.out)) << o.flag;
    }
}

TEST(NormaliseAlnum, SeparatorsBetweenFullWidthDigitsGoToAscii) {
    expect_cases({
        {{"-n"}, "１２．５\n", "12.5\n"},
        {{"-n"}, "１，０００\n", "1,000\n"},
        {{"-n"}, "０３－１２３４\n", "03-1234\n"},
        {{"-n"}, "１．２．３\n", "1.2.3\n"},
        {{"-na"}, "１．Ａ\n", "1．A\n"},
        {{"-n"}, "１．ａ\n", "1．ａ\n"},
        {{"-na"}, "Ａ．１ ａ，２\n", "A．1 a，2\n"},
        {{"-n"}, "１．\n", "1．\n"},
        {{"-n"}, "１．．２\n", "1．．2\n"},
        {{"-n"}, "１。２\n", "1。2\n"},
        {{"-a"}, "１２．５ Ａ\n", "１２．５ A\n"},
        {{"-n"}, "1．５ 1，５\n", "1．5 1，5\n"},
        {{"-n"}, "<td width=１，０００>\n", "<td width=1,000>\n"},
    });
}

TEST(NormaliseKana, EveryHalfWidthKatakanaBecomesFullWidth) {
    std::vector<std::string> han = chars_of(han_kana_text);
    std::vector<std::string> zen = chars_of(zen_kana_text);
    ASSERT_EQ(63u, han.size());
    ASSERT_EQ(han.size(), zen.size());
    for (std::size_t j = 0; j < han.size(); ++j) {
        test::EditRun run = edit(sjis("x" + han[j] + "x\n"), {"-k"});
        EXPECT_EQ("x" + zen[j] + "x\n", utf8(run.out)) << han[j];
    }
    // The whole run at once: no pair forms in it (ﾝﾞ and ﾞﾟ are no pairs),
    // and every character after メ, リ or ン is converted too.
    test::EditRun run = edit(sjis(std::string(han_kana_text) + "\n"), {"-k"});
    EXPECT_EQ(std::string(zen_kana_text) + "\n", utf8(run.out));
}

TEST(NormaliseKana, VoicedPairsBecomeOneCharacterOfTheSameLength) {
    std::vector<std::string> han = chars_of(han_dakuon_text);
    std::vector<std::string> zen = chars_of(zen_dakuon_text);
    ASSERT_EQ(52u, han.size());
    ASSERT_EQ(26u, zen.size());
    for (std::size_t j = 0; j < zen.size(); ++j) {
        std::string pair = han[2 * j] + han[2 * j + 1];
        std::string input = sjis(pair + "\n");
        test::EditRun run = edit(input, {"-k"});
        EXPECT_EQ(zen[j] + "\n", utf8(run.out)) << pair;
        EXPECT_EQ(input.size(), run.out.size()) << pair;
    }
}

TEST(NormaliseKana, SoundMarksAloneAndRunsAfterLeadByteSeconds) {
    expect_cases({
        {{"-k"}, "ｱﾞ\n", "ア゛\n"},
        {{"-k"}, "ﾞ ﾟ\n", "゛ ゜\n"},
        {{"-k"}, "ｶﾟﾊﾞﾊﾟ\n", "カ゜バパ\n"},
        {{"-k"}, "ﾞﾞﾟ\n", "゛゛゜\n"},
        {{"-k"}, "ｰ\n", "ー\n"},
        // メ, リ and ン end in a byte of the lead-byte range.
        {{"-k"}, "ﾒｶﾞﾘｶﾞﾝｶﾞ\n", "メガリガンガ\n"},
        {{"-k"}, "ﾒｱﾘｲﾝｳﾝ\n", "メアリインウン\n"},
        {{"-k"}, "ﾝﾞﾒﾟ\n", "ン゛メ゜\n"},
        // 漢 and α end in bytes of the half-width katakana range.
        {{"-k"}, "漢字αｱ\n", "漢字αア\n"},
    });
}

TEST(NormaliseKana, LongLineGrowsWithoutLoss) {
    std::string input(255000, '\xB1');  // ｱ
    std::string expected;
    for (int i = 0; i < 255000; ++i) expected += "\x83\x41";  // ア
    test::EditRun run = edit(input + "\n", {"-k"});
    expected += "\n";
    ASSERT_EQ(expected.size(), run.out.size());
    auto differ = std::mismatch(expected.begin(), expected.end(), run.out.begin()).first;
    EXPECT_EQ(expected.size(), static_cast<std::size_t>(differ - expected.begin()));
}

TEST(Normalise, NothingChangesInQuotedValuesCommentsAndScripts) {
    std::vector<std::string> all = {"-nakc"};
    expect_cases({
        {all, "<img alt=\"ＡＢ１ ｱ abc\" src='ｘ１.gif'>\n",
         "<IMG ALT=\"ＡＢ１ ｱ abc\" SRC='ｘ１.gif'>\n"},
        {all, "<!-- ＡＢ１ ｱ abc <b> -->ｱ\n", "<!-- ＡＢ１ ｱ abc <b> -->ア\n"},
        {all, "<script>ＡＢ１ ｱ <b> abc</script>１\n", "<script>ＡＢ１ ｱ <b> abc</script>1\n"},
        {all, "<!--\nＡ ｱ\n-->\n", "<!--\nＡ ｱ\n-->\n"},
        {all, "<font size=１ face=Ａ>Ａ１</font>\n", "<FONT SIZE=1 FACE=A>A1</FONT>\n"},
        // Ｘ becomes X and is walked past, so -s does not lower it.
        {{"-s", "-nak"}, "<IMG ALT='Ａ\nＢ' SRC=Ｘ>\n", "<img alt='Ａ\nＢ' src=X>\n"},
    });
}

TEST(Normalise, KatakanaInsideTagsStays) {
    expect_cases({
        {{"-k"}, "<img alt=ｱｲ title=\"ｶﾞ\">ｱ\n", "<img alt=ｱｲ title=\"ｶﾞ\">ア\n"},
        {{"-k"}, "<img\nalt=ｱ>ｱ\n", "<img\nalt=ｱ>ア\n"},
    });
}

TEST(NormaliseCase, LettersChangeInsideTagsOnly) {
    expect_cases({
        {{"-c"}, "<a href=x.htm Name='Qq'>text</a>\n", "<A HREF=x.htm NAME='Qq'>text</A>\n"},
        {{"-s"}, "<A HREF=X.HTM NAME=\"Qq\">TEXT</A>\n", "<a href=X.HTM name=\"Qq\">TEXT</a>\n"},
        {{"-cs"}, "<A Href=x>Text</A>\n", "<a href=x>Text</a>\n"},
        {{"-sc"}, "<A Href=x>Text</A>\n", "<a href=x>Text</a>\n"},
        {{"-c"}, "<table\nborder=1>\n", "<TABLE\nBORDER=1>\n"},
    });
}

// Tag and attribute names change case, and of the values only the
// unquoted values of the attributes that HTML reads without regard to
// case; addresses, file names, ids, handlers and the rest keep theirs.
TEST(NormaliseCase, ValuesChangeOnlyWhereHtmlIgnoresTheirCase) {
    expect_cases({
        {{"-s"},
         "<INPUT TYPE=BUTTON ONCLICK=history.back() VALUE=Back>\n",
         "<input type=BUTTON onclick=history.back() value=Back>\n"},
        {{"-c"}, "<select id=mode1 name=Mode>\n", "<SELECT ID=mode1 NAME=Mode>\n"},
        {{"-c"},
         "<img src=top/hr.gif usemap=#m><ol type=a>\n",
         "<IMG SRC=top/hr.gif USEMAP=#m><OL TYPE=a>\n"},
        {{"-c"},
         "<td align=center valign=top nowrap=nowrap bgcolor=red>\n",
         "<TD ALIGN=CENTER VALIGN=TOP NOWRAP=NOWRAP BGCOLOR=RED>\n"},
        {{"-c"},
         "<form method=post><br clear=all><hr noshade=noshade>\n",
         "<FORM METHOD=POST><BR CLEAR=ALL><HR NOSHADE=NOSHADE>\n"},
        {{"-s"},
         "<FRAME SCROLLING=NO FRAMEBORDER=No><MARQUEE BEHAVIOR=Alternate DIRECTION=Left "
         "LOOP=Infinite>\n",
         "<frame scrolling=no frameborder=no><marquee behavior=alternate direction=left "
         "loop=infinite>\n"},
        {{"-s"},
         "<BODY TEXT=Black LINK=Blue VLINK=Navy ALINK=Red><P DIR=RTL><SCRIPT "
         "LANGUAGE=JavaScript>\n",
         "<body text=black link=blue vlink=navy alink=red><p dir=rtl><script "
         "language=javascript>\n"},
        {{"-c"},
         "<table frame=box rules=all><area shape=rect><input checked=checked selected=selected "
         "disabled=disabled readonly=readonly multiple=multiple compact=compact "
         "noresize=noresize>\n",
         "<TABLE FRAME=BOX RULES=ALL><AREA SHAPE=RECT><INPUT CHECKED=CHECKED SELECTED=SELECTED "
         "DISABLED=DISABLED READONLY=READONLY MULTIPLE=MULTIPLE COMPACT=COMPACT "
         "NORESIZE=NORESIZE>\n"},
        // The name in any case; a value that holds "=" is one value; a
        // quoted value keeps its case; blanks may stand around "=".
        {{"-c"},
         "<td Align=b=c ALIGN='left' align = right>\n",
         "<TD ALIGN=B=C ALIGN='left' ALIGN = RIGHT>\n"},
        // A name that only begins or ends like one in the list is another.
        {{"-c"}, "<td aligned=x xalign=y>\n", "<TD ALIGNED=x XALIGN=y>\n"},
    });
}

TEST(NormaliseCase, FragmentsAndColoursKeepTheirCase) {
    expect_cases({
        {{"-c"},
         "<td bgcolor=#ffFF00 align=left>a</td>\n",
         "<TD BGCOLOR=#ffFF00 ALIGN=LEFT>a</TD>\n"},
        {{"-s"}, "<BODY BGCOLOR=#ffFF00 TEXT=#ABC>\n", "<body bgcolor=#ffFF00 text=#ABC>\n"},
        {{"-c"}, "<font color=red#Part2>\n", "<FONT COLOR=RED#Part2>\n"},
        // Blanks after "#" are passed over, and the word after them too.
        {{"-c"}, "<font color=# \tTop dir=x>\n", "<FONT COLOR=# \tTop DIR=X>\n"},
        // An empty fragment: the ">" still closes the tag.
        {{"-c"}, "<a href=#>a<b>\n", "<A HREF=#>a<B>\n"},
        // A double-byte character inside a fragment.
        {{"-c"}, "<a href=#アb>c\n", "<A HREF=#アb>c\n"},
    });
}

TEST(NormaliseCase, DoubleByteCharactersEndingInALetterStay) {
    // ア is 0x83 0x41 ("A" second), ツ is 0x83 0x63 ("c" second).
    ASSERT_EQ("\x83\x41\x83\x63", sjis("アツ"));
    expect_cases({
        {{"-s"}, "<IMG ALT=アツ>\n", "<img alt=アツ>\n"},
        {{"-c"}, "<img alt=アツ>\n", "<IMG ALT=アツ>\n"},
        // A converted letter is walked past, so -s leaves its case.
        {{"-sa"}, "<IMG ALT=アＡツ>\n", "<img alt=アAツ>\n"},
    });
}

TEST(NormaliseCase, FragmentAtLineEndTakesTheNewline) {
    // The walk ends on the line's end, not on its newline: the next line is
    // still inside the tag, and line joining takes the line for one without
    // a newline, so a paragraph tag after it gets a newline put out.
    expect_cases({
        {{"-c"}, "<td bgcolor=#top\nalign=x>y\n", "<TD BGCOLOR=#top\nALIGN=X>y\n"},
        {{"-ji"}, "<br>\n<a href=#top\n<p>x>\n", "<br>\n<a href=#top\n\n<p>x>\n"},
        {{"-ji"}, "<br>\n<a href=top\n<p>x>\n", "<br>\n<a href=top\n<p>x>\n"},
    });
}

}  // namespace
}  // namespace tagpolish

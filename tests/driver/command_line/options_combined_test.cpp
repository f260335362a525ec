// Several options at once on one ordinary page, through the executable.
#include <gtest/gtest.h>

#include <string>

#include "support/markup_messages.h"
#include "support/test_support.h"

namespace tagpolish {
namespace {

using test::read_file;
using test::run_tool;
using test::sjis;
using test::utf8;

// A page with something for every removal and for the link flattening: a
// meta charset, a base reference, a comment over two lines, a table with
// alignments and colours, a tag over two lines, font and image tags.
const char* const page = R"html(<HTML>
<HEAD>
<META http-equiv="Content-Type" content="text/html; charset=Shift_JIS">
<base href="http://example.com/docs/">
<TITLE>お知らせ</TITLE>
</HEAD>
<body bgcolor="#FFFFFF" background="images/bg.gif" text=#000000>
<!-- ここから本文
     (更新: 2024) -->
<bgsound src="snd/bgm.mid" loop=infinite>
<table align="center" bgcolor=silver width=600>
<tr><td valign=top><a href="../menu/index.html">メニュー</a></td>
<td align='right'><img src="img/logo.gif" alt="ロゴ"
 width=100 height=40></td></tr>
</TABLE>
<p align=center><font size=+1 color="red">ようこそ</font></p>
<p>詳しくは<a href="sub/page2.html#Top">次のページ</a>へ。
<IMG SRC="pics/next.gif" ALIGN=right>
</body>
</HTML>
)html";

TEST(OptionsCombined, EveryRemovalWithLinksAndCapitals) {
    test::TempDir dir;
    std::string file = dir.write("page.htm", sjis(page));

    test::RunResult r = run_tool({"-u", "-d:abcfhilos", "-c", file});

    // The comment's two lines and the bgsound line leave two empty lines,
    // the image tag over two lines leaves one line; alignments go only
    // inside the table, and the blanks before and after a removed bgcolor
    // stay unless a ">" follows.
    EXPECT_EQ(R"html(<HTML>
<HEAD>
<META HTTP-EQUIV="Content-Type" CONTENT="text/html; ">
<BASE >
<TITLE>お知らせ</TITLE>
</HEAD>
<BODY  BACKGROUND="bg.gif" TEXT=#000000>


<TABLE  WIDTH=600>
<TR><TD>メニュー</TD>
<TD></TD></TR>
</TABLE>
<P ALIGN=CENTER>ようこそ</P>
<P>詳しくは次のページへ。

</BODY>
</HTML>
)html",
              utf8(r.out));
    EXPECT_EQ("", r.err);
    EXPECT_EQ(0, r.status);
}

TEST(OptionsCombined, SmallLettersAlignmentsAndLinks) {
    test::TempDir dir;
    std::string file = dir.write("page.htm", sjis(page));

    test::RunResult r = run_tool({"-s", "-d:l", "-u", file});

    // Quoted values, the "#" colour and the comment keep their capitals.
    EXPECT_EQ(R"html(<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=Shift_JIS">
<base >
<title>お知らせ</title>
</head>
<body bgcolor="#FFFFFF" background="bg.gif" text=#000000>
<!-- ここから本文
     (更新: 2024) -->
<bgsound src="bgm.mid" loop=infinite>
<table bgcolor=silver width=600>
<tr><td><a href="index.html">メニュー</a></td>
<td><img src="logo.gif" alt="ロゴ"
 width=100 height=40></td></tr>
</table>
<p align=center><font size=+1 color="red">ようこそ</font></p>
<p>詳しくは<a href="page2.html#Top">次のページ</a>へ。
<img src="next.gif" align=right>
</body>
</html>
)html",
              utf8(r.out));
    EXPECT_EQ("", r.err);
    EXPECT_EQ(0, r.status);
}

TEST(OptionsCombined, RewriteWithoutFontTags) {
    test::TempDir dir;
    std::string file = dir.write("page.htm", sjis(page));

    test::RunResult r = run_tool({"-w", "-d:f", file});

    EXPECT_EQ("", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(0, r.status);
    std::string expected = page;
    const std::string font_line =
        "<p align=center><font size=+1 color=\"red\">ようこそ</font></p>\n";
    expected.replace(expected.find(font_line), font_line.size(), "<p align=center>ようこそ</p>\n");
    EXPECT_EQ(expected, utf8(read_file(file)));
}

TEST(OptionsCombined, UnclosedCommentLeavesTheFileUntouchedEvenWithIgnore) {
    test::TempDir dir;
    const std::string before = sjis("<p>本文\n<p>続き<!-- 閉じない\n<p>終わり\n");
    std::string file = dir.write("page.htm", before);

    test::RunResult r = run_tool({"-w", "-i", "-d:cf", file});

    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(
        test::markup_text(file, 2, 8, sjis("<p>続き<!-- 閉じない"), test::comment_open_lines) +
            file + ": not edited (markup error)\n",
        r.err);
    EXPECT_EQ(before, read_file(file));
}

}  // namespace
}  // namespace tagpolish

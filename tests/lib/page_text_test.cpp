#include "lib/page_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/markup_messages.h"
#include "support/terminal_run.h"
#include "support/test_support.h"

namespace tagpolish {
namespace {

TEST(PageView, Utf8OnlyOnATerminalWhoseLocaleIsUtf8) {
    const struct {
        bool terminal;
        const char* lc_all;
        const char* lc_ctype;
        const char* lang;
        PageView view;
    } cases[] = {
        {true, nullptr, nullptr, "ja_JP.UTF-8", PageView::utf8},
        {true, nullptr, nullptr, "C.utf8", PageView::utf8},
        {true, nullptr, nullptr, "de_DE.UTF-8@euro", PageView::utf8},
        {false, nullptr, nullptr, "ja_JP.UTF-8", PageView::bytes},  // a file or a pipe
        {true, nullptr, nullptr, nullptr, PageView::bytes},
        {true, nullptr, nullptr, "C", PageView::bytes},
        {true, nullptr, nullptr, "ja_JP", PageView::bytes},
        {true, nullptr, nullptr, "ja_JP.SJIS", PageView::bytes},
        {true, nullptr, nullptr, "ja_JP.eucJP", PageView::bytes},
        {true, nullptr, nullptr, "en_US.UTF-16", PageView::bytes},
        {true, nullptr, nullptr, "UTF-8", PageView::bytes},  // no language part: no charset
        // LC_ALL wins over LC_CTYPE, which wins over LANG; an empty one counts as unset.
        {true, "C", nullptr, "ja_JP.UTF-8", PageView::bytes},
        {true, "ja_JP.UTF-8", "C", "C", PageView::utf8},
        {true, nullptr, "ja_JP.SJIS", "ja_JP.UTF-8", PageView::bytes},
        {true, nullptr, "C.UTF-8", "C", PageView::utf8},
        {true, "", "", "ja_JP.UTF-8", PageView::utf8},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.view, page_view_for(c.terminal, c.lc_all, c.lc_ctype, c.lang))
            << c.terminal << " " << (c.lc_all ? c.lc_all : "-") << " "
            << (c.lc_ctype ? c.lc_ctype : "-") << " " << (c.lang ? c.lang : "-");
    }
}

std::string shown(std::string_view sjis) {
    std::string out(utf8_growth * sjis.size(), '\0');
    out.resize(show_as_utf8(sjis, out.data()));
    return out;
}

TEST(ShowAsUtf8, CharactersConvertAndTheRestIsWrittenAsHex) {
    const struct {
        const char* name;
        std::string sjis;
        std::string shown;
    } cases[] = {
        {"ASCII, tab and line end", "<p a=\"1\">\tx\\~\n", "<p a=\"1\">\tx\\~\n"},
        {"kanji and kana", test::sjis("本日は晴天"), "本日は晴天"},
        {"half-width katakana", "\xB6\xDE\xB2", "ｶﾞｲ"},
        {"second byte in the ASCII range", "\x83\x41\x83\x5C", "アソ"},
        {"user-defined area", "\xF0\x40", "\xEE\x80\x80"},
        {"escape sequence", "\x1B[31mred\x1B[0m", "\\x1B[31mred\\x1B[0m"},
        {"carriage return and other controls", "a\rb\x07\x7F\x08", "a\\x0Db\\x07\\x7F\\x08"},
        {"pair that CP932 lacks", "\x85\x40x", "\\x85\\x40x"},
        {"lead byte before the line end", "ab\x82\n", "ab\\x82\n"},
        {"lead byte last", "ab\x82", "ab\\x82"},
        {"lead byte before a control", "\x82\x1B", "\\x82\\x1B"},
        {"single bytes CP932 lacks", "\x80\xA0\xFD\xFE\xFF", "\\x80\\xA0\\xFD\\xFE\\xFF"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.shown, shown(c.sjis)) << c.name;
}

// The program decides from its own standard error and locale: the quoted
// line is converted on a UTF-8 terminal only, and the file name never is.
TEST(PageView, TheProgramConvertsOnlyOnAUtf8Terminal) {
    test::TempDir dir;
    const std::string name = test::sjis("表.htm");
    dir.write(name, test::sjis("本") + "\x1B > x\n");
    const std::string tail = "\n" + test::gt_alone_lines + name + ": failed to convert\n";
    for (const char* lang : {"C.UTF-8", "C"}) {
        const test::RunResult r = test::run_on_terminal(dir.path(), {name}, lang);
        EXPECT_EQ(1, r.status);
        const std::string line =
            lang[1] == '.' ? "\xE6\x9C\xAC\\x1B > x" : test::sjis("本") + "\x1B > x";
        EXPECT_EQ(name + ":1:5: " + line + tail, r.err);
    }
}

}  // namespace
}  // namespace tagpolish

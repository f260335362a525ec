#include "driver/input/encoding_check.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/input/input_checks.h"
#include "support/test_support.h"

namespace tagpolish {
namespace {

struct Case {
    const char* name;
    std::string text;
    Encoding kind;
    std::string charset = {};
};

// Feeds text in two chunks cut at k, so that every sequence, escape and meta
// tag of the text is once cut in two.
EncodingVerdict verdict_of(std::string_view text, std::size_t k) {
    EncodingCheck check;
    check.feed(text.substr(0, k));
    check.feed(text.substr(k));
    return check.verdict();
}

TEST(EncodingCheck, TellsTextThatIsNotShiftJis) {
    const std::string sjis_text = test::sjis("本日は晴天なり。");
    const std::string utf8_text = "\xE6\x9C\xAC\xE6\x97\xA5\xE3\x81\xAF";  // 本日は
    auto meta = [&](const std::string& tag) { return tag + sjis_text; };
    const Case cases[] = {
        {"empty", "", Encoding::shift_jis},
        {"ASCII", "<p>abc</p>\n", Encoding::shift_jis},
        {"Shift_JIS", sjis_text, Encoding::shift_jis},
        // (a) the byte-order mark at the start, and only there.
        {"byte-order mark", "\xEF\xBB\xBF<p>\n", Encoding::utf8},
        {"byte-order mark alone", "\xEF\xBB\xBF", Encoding::utf8},
        {"byte-order mark later", sjis_text + "\xEF\xBB\xBF", Encoding::shift_jis},
        // (b) high bytes that are all well-formed UTF-8, with a character
        // of three or four bytes, or with no meta tag that names Shift_JIS.
        {"UTF-8", "<p>" + utf8_text + "</p>\n", Encoding::utf8},
        {"UTF-8 of four bytes", "\xF0\x9F\x98\x80", Encoding::utf8},
        {"two-byte sequences only", "caf\xC3\xA9 \xC3\xA9t\xC3\xA9", Encoding::utf8},
        {"copyright sign", "<p>\xC2\xA9 2001</p>", Encoding::utf8},
        {"Greek and Cyrillic", "\xCE\xB1\xCE\xB2 \xD0\x96", Encoding::utf8},
        {"half-width katakana pairs", "\xC3\xB1\xDD\xB1", Encoding::utf8},
        {"the same, declared Shift_JIS", "<meta charset=Shift_JIS>\xC3\xB1\xDD\xB1",
         Encoding::shift_jis},
        {"the same in a content type",
         "<META http-equiv=Content-Type content=\"text/html; charset=x-sjis\">\xC3\xB1",
         Encoding::shift_jis},
        {"other Shift_JIS names",
         "<meta charset=windows-31j><meta charset=CP932><meta charset=MS_Kanji>\xC3\xB1",
         Encoding::shift_jis},
        {"a Shift_JIS name at the end of the text", "\xC3\xB1<meta charset=csShiftJIS",
         Encoding::shift_jis},
        {"Shift_JIS named in a later meta tag",
         "<meta charset=iso-8859-1><meta charset=sjis>\xC3\xB1", Encoding::shift_jis},
        {"three-byte characters, declared Shift_JIS", "<meta charset=shift_jis>" + utf8_text,
         Encoding::utf8},
        {"not a Shift_JIS name", "<meta charset=shift_jisx>\xC3\xB1", Encoding::utf8},
        {"sequence cut off at the end", utf8_text + "\xE3\x81", Encoding::shift_jis},
        {"a byte outside any sequence", utf8_text + "\x82\xA0", Encoding::shift_jis},
        {"overlong form", "\xE0\x80\xAF", Encoding::shift_jis},
        {"surrogate", "\xED\xA0\x80", Encoding::shift_jis},
        {"past U+10FFFF", "\xF4\x90\x80\x80", Encoding::shift_jis},
        // (c) an ISO-2022-JP escape: ESC "$" or ESC "(".
        {"ISO-2022-JP", "<p>\x1B$B$3$s\x1B(B</p>", Encoding::iso2022jp},
        {"old escape", "\x1B$@$3\x1B(J", Encoding::iso2022jp},
        {"ESC ESC $ B", "\x1B\x1B$B", Encoding::iso2022jp},
        {"JIS X 0212", "a\x1B$(D+!", Encoding::iso2022jp},
        {"ASCII designated", "a\x1B(Bb", Encoding::iso2022jp},
        {"other escapes", "\x1B[1m\x1B)B\x1BK\x1B", Encoding::shift_jis},
        // (d) a meta tag that declares another charset, with high bytes.
        {"meta charset", meta("<meta charset=\"utf-8\">"), Encoding::declared, "utf-8"},
        {"content type",
         meta("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=EUC-JP\">"),
         Encoding::declared, "EUC-JP"},
        {"single quote", meta("<meta charset='x-euc-jp'>"), Encoding::declared, "x-euc-jp"},
        {"across a line end", meta("<meta\ncharset=UTF8\n>"), Encoding::declared, "UTF8"},
        {"name ends at ';'", meta("<meta content=text/html;charset=utf-16le;>"), Encoding::declared,
         "utf-16le"},
        {"in a comment", meta("<!-- <meta charset=csISO2022JP> -->"), Encoding::declared,
         "csISO2022JP"},
        {"at the end of the text", sjis_text + "<meta charset=eucjp", Encoding::declared, "eucjp"},
        {"later meta tag", meta("<meta charset=Shift_JIS><meta charset=iso-2022-jp>"),
         Encoding::declared, "iso-2022-jp"},
        {"no high bytes", "<meta charset=utf-8><p>abc", Encoding::shift_jis},
        {"Shift_JIS names", meta("<meta charset=Shift_JIS><meta charset=x-sjis>"),
         Encoding::shift_jis},
        {"other names", meta("<meta charset=windows-31j><meta charset=iso-8859-1>"),
         Encoding::shift_jis},
        {"a longer name", meta("<meta charset=utf-8x>"), Encoding::shift_jis},
        {"first charset of a tag counts", meta("<meta content='charset=x-sjis' charset=utf-8>"),
         Encoding::shift_jis},
        {"charset after the tag", meta("<meta name=x> charset=utf-8"), Encoding::shift_jis},
        {"blanks around the =", meta("<meta charset = utf-8>"), Encoding::declared, "utf-8"},
        {"blank after the =", meta("<meta charset= EUC-JP>"), Encoding::declared, "EUC-JP"},
        {"line ends and a quote", meta("<meta content=\"text/html; charset\r\n=\t' utf-8'\">"),
         Encoding::declared, "utf-8"},
        {"\"charset\" that is no setting", meta("<meta name=\"charset\" content=\"utf-8\">"),
         Encoding::shift_jis},
        {"no meta tag", meta("<p charset=utf-8>"), Encoding::shift_jis},
        // Where several hold, UTF-8 is named first.
        {"UTF-8 page that says so", "<meta charset=utf-8>" + utf8_text, Encoding::utf8},
    };
    for (const Case& c : cases) {
        for (std::size_t k = 0; k <= c.text.size(); ++k) {
            EncodingVerdict v = verdict_of(c.text, k);
            EXPECT_EQ(c.kind, v.kind) << c.name << ", cut at " << k;
            EXPECT_EQ(c.charset, v.charset) << c.name << ", cut at " << k;
        }
    }
}

// The text ends at the end-of-file mark: what follows it is not looked at.
TEST(EncodingCheck, InputChecksLookAtTheTextUpToTheEndOfFileMark) {
    auto kind = [](std::string_view raw) {
        InputChecks checks;
        checks.feed(raw);
        return checks.info().encoding.kind;
    };
    const std::string utf8_text = "\xE6\x9C\xAC\xE6\x97\xA5";
    EXPECT_EQ(Encoding::shift_jis, kind("<p>\x1A" + utf8_text));
    EXPECT_EQ(Encoding::utf8, kind("<p>" + utf8_text + "\x1A\x82\xA0"));
    EXPECT_EQ(Encoding::iso2022jp, kind("a\r\n\x1B$B$3\r\n"));
}

}  // namespace
}  // namespace tagpolish

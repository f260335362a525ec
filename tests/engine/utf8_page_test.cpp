// Moving a page to UTF-8: its declarations, the one it may get, its forms,
// and its characters, on the text as the walk wrote it.
#include "engine/utf8_page.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/site/listing.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

struct PageCase {
    std::string in;      // Shift_JIS, written as UTF-8 and converted
    std::string out;     // UTF-8
    std::string report;  // the page's report line
    Utf8Kind kind = Utf8Kind::page;
};

std::string converted(const PageCase& c, std::string& report) {
    Utf8Text out;
    EditCounts counts{};
    Utf8Failure failure;
    EXPECT_TRUE(convert_to_utf8(sjis(c.in), {.kind = c.kind}, out, counts, failure));
    report = report_line("page.htm", counts);
    return std::string(out.view());
}

TEST(Utf8Page, DeclarationsSayUtf8WhereTheyStand) {
    const std::string http_equiv =
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">";
    const PageCase cases[] = {
        {"<html><head>" + http_equiv + "<title>日本</title>\r\n",
         "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">"
         "<title>日本</title>\r\n",
         "page.htm: declarations made UTF-8 1, characters converted 2"},
        // Any order and case of attributes, any quoting; a name in small
        // letters stays in small letters.
        {"<META CONTENT='text/html;charset = x-sjis' HTTP-EQUIV=content-type>",
         "<META CONTENT='text/html;charset = utf-8' HTTP-EQUIV=content-type>",
         "page.htm: declarations made UTF-8 1"},
        {"<meta content=\"text/html; charset='Windows-31J'\" http-equiv=\"Content-Type\">",
         "<meta content=\"text/html; charset='UTF-8'\" http-equiv=\"Content-Type\">",
         "page.htm: declarations made UTF-8 1"},
        {"<meta charset=SJIS /><meta charset=\" shift_jis \">",
         "<meta charset=UTF-8 /><meta charset=\" utf-8 \">", "page.htm: declarations made UTF-8 2"},
        {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<html><head><meta charset=\"MS932\">",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<html><head><meta charset=\"UTF-8\">",
         "page.htm: declarations made UTF-8 2"},
        // Not in comments or scripts; in noscript, yes. A style meta is
        // not a declaration, nor is another charset.
        {"<!-- <meta charset=Shift_JIS> --><meta charset=EUC-JP>"
         "<script>w('<meta charset=Shift_JIS>')</script>"
         "<noscript><meta charset=Shift_JIS></noscript>"
         "<meta http-equiv=\"Content-Style-Type\" content=\"text/css; charset=Shift_JIS\">",
         "<!-- <meta charset=Shift_JIS> --><meta charset=EUC-JP>"
         "<script>w('<meta charset=Shift_JIS>')</script>"
         "<noscript><meta charset=UTF-8></noscript>"
         "<meta http-equiv=\"Content-Style-Type\" content=\"text/css; charset=Shift_JIS\">",
         "page.htm: declarations made UTF-8 1"},
        {"<title><meta charset=sjis></title><textarea><meta charset=sjis></textarea><meta "
         "charset=sjis>",
         "<title><meta charset=sjis></title><textarea><meta charset=sjis></textarea><meta "
         "charset=utf-8>",
         "page.htm: declarations made UTF-8 1"},
        {"@charset \"Shift_JIS\";\np { font-family: \"ＭＳ ゴシック\" }\n",
         "@charset \"UTF-8\";\np { font-family: \"ＭＳ ゴシック\" }\n",
         "page.htm: declarations made UTF-8 1, characters converted 6", Utf8Kind::style_sheet},
        {"p{}\n@charset \"Shift_JIS\";\n", "p{}\n@charset \"Shift_JIS\";\n", "page.htm: no edits",
         Utf8Kind::style_sheet},
        // A script is only converted, whatever it holds.
        {"w('<head><meta charset=Shift_JIS>あ')", "w('<head><meta charset=Shift_JIS>あ')",
         "page.htm: characters converted 1", Utf8Kind::script},
    };
    for (const PageCase& c : cases) {
        std::string report;
        EXPECT_EQ(c.out, converted(c, report)) << c.in;
        EXPECT_EQ(c.report, report) << c.in;
    }
}

TEST(Utf8Page, APageWithoutADeclarationGetsOneNearItsTop) {
    const std::string meta(utf8_meta);
    const std::string long_comment = "<!--" + std::string(1100, 'x') + "-->";
    const PageCase cases[] = {
        {"<!DOCTYPE html>\r\n<html lang=ja>\r\n<head>\r\n<title>t</title>",
         "<!DOCTYPE html>\r\n<html lang=ja>\r\n<head>" + meta + "\r\n<title>t</title>",
         "page.htm: declarations added 1"},
        {"<html><body>x", "<html>" + meta + "<body>x", "page.htm: declarations added 1"},
        {"<html>\r\n<body>x", "<html>\r\n" + meta + "<body>x", "page.htm: declarations added 1"},
        {"<!doctype html>\n<p>x", "<!doctype html>\n" + meta + "<p>x",
         "page.htm: declarations added 1"},
        {"<!-- <head> -->\n<p>x", "<!-- <head> -->\n" + meta + "<p>x",
         "page.htm: declarations added 1"},
        // Where the head starts too late for a browser to look, right after
        // the doctype.
        {"<!DOCTYPE html>" + long_comment + "<html><head>",
         "<!DOCTYPE html>" + meta + long_comment + "<html><head>",
         "page.htm: declarations added 1"},
        // A declaration anywhere is enough; text without markup gets none.
        {"<p>x<meta charset=utf-8>", "<p>x<meta charset=utf-8>", "page.htm: no edits"},
        {"just text, あ\n", "just text, あ\n", "page.htm: characters converted 1"},
    };
    for (const PageCase& c : cases) {
        std::string report;
        EXPECT_EQ(c.out, converted(c, report)) << c.in;
        EXPECT_EQ(c.report, report) << c.in;
    }
}

TEST(Utf8Page, FormsToOtherSitesKeepShiftJis) {
    const std::string mark = " accept-charset=\"Shift_JIS\"";
    const std::string head = "<head><meta charset=sjis></head>";
    const PageCase cases[] = {
        {head + "<form action=\"http://example.jp/cgi\" method=post>",
         "<head><meta charset=utf-8></head><form action=\"http://example.jp/cgi\" method=post" +
             mark + ">",
         "page.htm: declarations made UTF-8 1, forms marked Shift_JIS 1"},
        {head + "<FORM ACTION=//example.jp/c><form action=\"cgi/find.cgi\">"
                "<form action=http://x accept-charset=EUC-JP>",
         "<head><meta charset=utf-8></head><FORM ACTION=//example.jp/c" + mark +
             "><form action=\"cgi/find.cgi\"><form action=http://x accept-charset=EUC-JP>",
         "page.htm: declarations made UTF-8 1, forms marked Shift_JIS 1"},
        {head + "<script src=a.js charset=Shift_JIS></script>",
         "<head><meta charset=utf-8></head><script src=a.js charset=Shift_JIS></script>",
         "page.htm: declarations made UTF-8 1, script charsets kept 1"},
    };
    for (const PageCase& c : cases) {
        std::string report;
        EXPECT_EQ(c.out, converted(c, report)) << c.in;
        EXPECT_EQ(c.report, report) << c.in;
    }
}

// A sequence that makes no character refuses the text, at its line and
// byte; with replace it becomes U+FFFD, counted.
TEST(Utf8Page, BytesThatMakeNoCharacter) {
    struct Case {
        std::string in;
        std::uint64_t line, byte;
        std::string replaced;
    };
    const Case cases[] = {
        {"<p>a\r\nb\xA0"
         "c",
         2, 2,
         "<p>a\r\nb\xEF\xBF\xBD"
         "c"},
        {"<p>\ra\rb\x85\x40", 3, 2, "<p>\ra\rb\xEF\xBF\xBD@"},
        {"<p>x\n\x85\x80z", 2, 1, "<p>x\n\xEF\xBF\xBDz"},
        {"<p>abc\x82", 1, 7, "<p>abc\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        Utf8Text out;
        EditCounts counts{};
        Utf8Failure failure;
        ASSERT_FALSE(convert_to_utf8(c.in, {}, out, counts, failure)) << c.in;
        EXPECT_EQ(c.line, failure.line) << c.in;
        EXPECT_EQ(c.byte, failure.byte) << c.in;
        counts = {};
        ASSERT_TRUE(convert_to_utf8(c.in, {.replace = true}, out, counts, failure));
        EXPECT_EQ(utf8_meta, out.view().substr(0, utf8_meta.size())) << c.in;
        EXPECT_EQ(c.replaced, out.view().substr(utf8_meta.size())) << c.in;
        EXPECT_EQ(1u, counts[static_cast<std::size_t>(Edit::utf8_replaced)]);
    }
}

TEST(Utf8Page, NamesOfShiftJis) {
    for (const char* name : {"shift_jis", "Shift-JIS", "SHIFTJIS", "sjis", "x-sjis", "windows-31j",
                             "cp932", "MS932", "ms_kanji", "csShiftJIS", "csWindows31J", " sjis\t"})
        EXPECT_TRUE(names_shift_jis(name)) << name;
    for (const char* name : {"", "utf-8", "euc-jp", "iso-2022-jp", "shift_jisx0213", "sjis2"})
        EXPECT_FALSE(names_shift_jis(name)) << name;
}

}  // namespace
}  // namespace tagpolish::test

#include "engine/links.h"

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

const std::vector<std::string> u{"-u"};
const std::vector<std::string> mirror{"-u", "--flatten-offsite"};

TEST(LinkFlattening, ReferenceLosesItsPathThroughTheLastSlash) {
    expect_edits({
        {u, "<img src='images/photo.gif'>\n", "<img src='photo.gif'>\n"},
        {u, "<a href='../docs/index.html#top'>\n", "<a href='index.html#top'>\n"},
        {u, "<IMG SRC=\"A/B.GIF\">\n", "<IMG SRC=\"B.GIF\">\n"},
        {u, "<body background='img/bg.gif'>\n", "<body background='bg.gif'>\n"},
        {u, "<bgsound src='snd/a.mid'>\n", "<bgsound src='a.mid'>\n"},
        {u, "<frameset src='f/a.html'>\n", "<frameset src='a.html'>\n"},
        {u, "<area href='maps/a.html'>\n", "<area href='a.html'>\n"},
        // Names ending in a pattern are caught.
        {u, "<img lowsrc='lo/a.gif' src='hi/a.gif'>\n", "<img lowsrc='a.gif' src='a.gif'>\n"},
        // Blanks after "=" are allowed; one before it hides the name.
        {u, "<img src= 'a/b.gif'>\n", "<img src= 'b.gif'>\n"},
        {u, "<img src = 'a/b.gif'>\n", "<img src = 'a/b.gif'>\n"},
        // An unquoted value ends at a ";".
        {u, "<a href=a/b;c>\n", "<a href=b;c>\n"},
        // Quoted text never starts a pattern.
        {u, "<a title='href=x/y' href='p/q.html'>\n", "<a title='href=x/y' href='q.html'>\n"},
        {u, sjis("<img src='画像/写真.gif' alt='写真'>\n"),
         sjis("<img src='写真.gif' alt='写真'>\n")},
    });
}

TEST(LinkFlattening, DirectoryReferencesAndUnusableSlashes) {
    expect_edits({
        // A slash ending the text, after three bytes or more, leaves "./".
        {u, "<a href='/docs/'>\n", "<a href='./'>\n"},
        // A value that is already "./" stays, so a second run changes nothing.
        {u, "<a href='./'>\n", "<a href='./'>\n"},
        {u, "<a href=\"./\" src=./>\n", "<a href=\"./\" src=./>\n"},
        {u, "<a href=abc/x>\n", "<a href=./x>\n"},
        // The one value a second run changes again: "./x", unquoted.
        {u, "<a href=./x>\n", "<a href=x>\n"},
        {u, "<a href=ab/x>\n", "<a href=x>\n"},
        {u, "<a href='ab/'>\n", "<a href=''>\n"},
        {u, "<a href='../'>\n", "<a href=''>\n"},
        // A slash first in the text or last in the value is left alone.
        {u, "<a href='/top.html'>\n", "<a href='/top.html'>\n"},
        {u, "<a href=sub/>\n", "<a href=sub/>\n"},
        {u, "<a href='top.html'>\n", "<a href='top.html'>\n"},
    });
}

// A "/" in the query part ("?" or "#" and what follows) is not a step of
// the path: only the path before it is flattened.
TEST(LinkFlattening, QueryPartsKeepTheirSlashes) {
    expect_edits({
        {u, "<a href='x.cgi?d=a/b'>\n", "<a href='x.cgi?d=a/b'>\n"},
        {u, "<a href='../cgi/x.cgi?d=a/b'>\n", "<a href='x.cgi?d=a/b'>\n"},
        {u, "<a href=a/b.htm#x/y>\n", "<a href=b.htm#x/y>\n"},
        {mirror, "<a href='http://example.com/cgi/x?u=http://a/b#c/d'>\n",
         "<a href='x?u=http://a/b#c/d'>\n"},
        {u, sjis("<a href='資料/x.htm?q=a/b'>\n"), sjis("<a href='x.htm?q=a/b'>\n")},
        // A "/" just before the query part: "./" after three bytes or more.
        {u, "<a href=\"docs/?p=1\">\n", "<a href=\"./?p=1\">\n"},
        {u, "<a href=\"./?p=1\">\n", "<a href=\"./?p=1\">\n"},
        {u, "<a href='ab/?x'>\n", "<a href='?x'>\n"},
        // No "/" before it, or only one that begins the text.
        {u, "<a href='/?x=a/b'>\n", "<a href='/?x=a/b'>\n"},
        {u, "<a href='#top/x'>\n", "<a href='#top/x'>\n"},
    });
}

// A reference that begins with a scheme or "//" leads to another site, whose
// files are not beside the page: it stays, unless --flatten-offsite asks
// for a mirror's references. A drive letter is a path on the author's disk.
TEST(LinkFlattening, ReferencesToOtherSitesStayUnlessAMirrorIsMade) {
    const std::vector<std::string> off_site = {
        "<a href='http://example.com/dir/page.html'>\n",
        "<A HREF=\"HTTPS://example.com/a/b.htm\">\n",
        "<img src=//cdn.example.com/i/a.gif>\n",
        "<img src='\\\\host\\share/i/a.gif'>\n",
        "<a href=' http://example.com/a/b.htm'>\n",
        "<a href=\"javascript:window.open('/w/x.html')\">\n",
        "<a href='java\tscript:go(\"/w/x.html\")'>\n",
        "<a href='ftp://ftp.example.jp/pub/x.lzh'>\n",
        "<a href='file:///C:/site/a.htm'>\n",
        "<a href='svn+ssh://example.com/r/x'>\n",
        "<body background='http://example.com/i/bg.gif'>\n",
    };
    std::vector<test::EditCase> cases;
    for (const std::string& page : off_site) cases.push_back({u, page, page});
    expect_edits(cases);
    expect_edits({
        {mirror, "<a href='http://example.com/dir/page.html'>\n", "<a href='page.html'>\n"},
        {mirror, "<img src=//cdn.example.com/i/a.gif>\n", "<img src=a.gif>\n"},
        {mirror, "<a href='x/y.htm'>\n", "<a href='y.htm'>\n"},
        // No scheme: a drive letter, a digit first, a ":" after a path step.
        {u, "<img src='C:/site/img/a.gif'>\n", "<img src='a.gif'>\n"},
        {u, "<a href='1a:/b/c.htm'>\n", "<a href='c.htm'>\n"},
        {u, "<a href='../a:b/c.htm'>\n", "<a href='c.htm'>\n"},
        {u, "<a href='/x/y.htm'>\n", "<a href='y.htm'>\n"},
    });
}

TEST(LinkFlattening, OnlyLinkImageAndBodyTagsWithTheOption) {
    const std::string untouched =
        "<frame src='a/b.html'><link href='css/s.css'><script src='js/x.js'></script>"
        "<table background='i/t.gif'><meta content='0;url=a/b.html'><p src='a/b'>\n";
    expect_edits({
        {u, untouched, untouched},
        {{},
         "<img src='a/b.gif'><a href='c/d.html'>\n",
         "<img src='a/b.gif'><a href='c/d.html'>\n"},
        // The kind ends with its tag: the next tag is not a link.
        {u, "<a href='a/b'>x</a><p href='c/d'>\n", "<a href='b'>x</a><p href='c/d'>\n"},
    });
}

TEST(LinkFlattening, RemovedTagsAreNeverFlattened) {
    const std::string page = "<a href='a/b.html'><img src='i/j.gif'></a><bgsound src='s/t.mid'>\n";
    expect_edits({
        {{"-u", "-d:a"}, page, "<img src='j.gif'><bgsound src='t.mid'>\n"},
        {{"-u", "-d:i"}, page, "<a href='b.html'></a><bgsound src='t.mid'>\n"},
        {{"-u", "-d:o"}, page, "<a href='b.html'><img src='j.gif'></a>\n"},
        {{"-u", "-d:a", "-d:i", "-d:o"}, page, "\n"},
    });
}

TEST(BaseReferenceRemoval, QuotedHrefGoesWithItsName) {
    expect_edits({
        {u, "<base href='/docs/'>x\n", "<base >x\n"},
        {u, "<BASE HREF=\"http://example.com/\">\n", "<BASE >\n"},
        {u, "<base target='_top' href='/d/'>\n", "<base target='_top' >\n"},
        // "<base" is a prefix.
        {u, "<basefont href='x/y'>\n", "<basefont >\n"},
        // Unquoted, with ">" before the closing quote, or without the
        // closing quote on its line, it stays.
        {u, "<base href=/docs/>\n", "<base href=/docs/>\n"},
        {u, "<base href='a>b/'>\n", "<base href='a>b/'>\n"},
        {u, "<base href='/d/\n'>\n", "<base href='/d/\n'>\n"},
        // A quote or ">" that is the second byte of a character counts as
        // part of it, except that such a ">" still keeps the attribute.
        {u, "<base href='\x83'x'>\n", "<base >\n"},
        {u, "<base href='\x83>'>\n", "<base href='\x83>'>\n"},
        {u, "<base title='href=\"/x/\"'>\n", "<base title='href=\"/x/\"'>\n"},
        // Other references in a base tag are not flattened.
        {u, "<base src='a/b'>\n", "<base src='a/b'>\n"},
        {{}, "<base href='/docs/'>\n", "<base href='/docs/'>\n"},
    });
}

}  // namespace
}  // namespace tagpolish

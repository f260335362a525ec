// The random pages of the tests that hold the fast walk to the plain one.
#include "support/random_pages.h"

#include <random>
#include <string_view>

namespace tagpolish::test {

class PageMaker::Writer {
  public:
    explicit Writer(unsigned seed) : rng_(seed) {}

    // A page of some lines, one of them tens of kilobytes long when asked.
    std::string page(bool long_line) {
        page_.clear();
        crlf_ = chance(15);
        sloppy_ = chance(10);
        int lines = pick(1, 40);
        int long_one = long_line ? pick(0, lines - 1) : -1;
        for (int i = 0; i < lines; ++i) line(i == long_one ? pick(20000, 80000) : 0);
        return page_;
    }

  private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(int percent) { return pick(1, 100) <= percent; }
    template <std::size_t N>
    const char* one_of(const char* const (&words)[N]) {
        return words[pick(0, N - 1)];
    }
    void put(std::string_view s) { page_.append(s); }
    void put2(int lead, int second) {
        page_.push_back(static_cast<char>(lead));
        page_.push_back(static_cast<char>(second));
    }

    // A line of pieces, at least `length` bytes long, and its line end.
    void line(int length) {
        std::size_t stop = page_.size() + static_cast<std::size_t>(length);
        if (chance(15)) put(chance(50) ? "<p>" : "<P\tclass=x>");
        for (int n = pick(0, 12); n > 0 || page_.size() < stop; --n) piece();
        if (chance(5)) put2(0x83, '\n');  // a lead byte takes the newline
        if (chance(3)) put("\x88");       // a lead byte ends the line
        put(crlf_ ? "\r\n" : chance(2) ? "\r" : "\n");
    }

    void piece() {
        switch (pick(0, 13)) {
            case 0:
            case 1:
            case 2:
                text();
                break;
            case 3:
            case 4:
            case 5:
                tag();
                break;
            case 6:
                put(one_of(closing));
                break;
            case 7:
                comment();
                break;
            case 8:
                block();
                break;
            case 9:
                lead_before();
                break;
            case 10:
                put(one_of(words));
                break;
            case 11:
                put(one_of(preformatted));
                break;
            case 12:
                if (sloppy_) put(chance(50) ? "<" : ">");
                break;
            default:
                put(" ");
                break;
        }
    }

    // Japanese text: kanji, hiragana, full-width digits, letters and
    // separators, half-width katakana with sound marks, full-width spaces.
    void text() {
        for (int n = pick(1, 20); n > 0; --n) {
            switch (pick(0, 7)) {
                case 0:
                    put2(pick(0x88, 0x9F), pick(0x40, 0xFC));
                    break;
                case 1:
                    put2(pick(0xE0, 0xEA), pick(0x40, 0xFC));
                    break;
                case 2:
                    put2(0x82, pick(0x9F, 0xF1));
                    break;
                case 3:
                    put2(0x82, pick(0x4F, 0x58));
                    break;
                case 4:
                    put2(0x82, chance(50) ? pick(0x60, 0x79) : pick(0x81, 0x9A));
                    break;
                case 5:
                    put2(0x81, one_of(separators)[0]);
                    break;
                case 6:
                    put(std::string(1, static_cast<char>(pick(0xA1, 0xDF))) +
                        (chance(40) ? (chance(50) ? "\xDE" : "\xDF") : ""));
                    break;
                default:
                    put(one_of(words));
                    break;
            }
        }
    }

    // A tag with attributes whose names the edits look for, some inside
    // other names, with quoted and unquoted values; now and then it runs
    // on over the line end.
    void tag() {
        put("<");
        put(one_of(names));
        for (int n = pick(0, 4); n > 0; --n) {
            put(chance(80) ? " " : "\t");
            put(one_of(attributes));
            if (chance(10)) put(" ");
            put("=");
            if (chance(10)) put(" ");
            value();
        }
        if (chance(10)) put(one_of(stray));
        if (chance(5)) put(crlf_ ? "\r\n" : "\n");
        if (!sloppy_ || chance(90)) put(chance(10) ? " >" : ">");
    }

    void value() {
        int kind = pick(0, 3);
        if (kind > 1) {
            put(one_of(bare_values));
            return;
        }
        const char* quote = kind == 0 ? "\"" : "'";
        put(quote);
        for (int n = pick(0, 3); n > 0; --n) {
            switch (pick(0, 5)) {
                case 0:
                    put(one_of(values));
                    break;
                case 1:
                    put2(0x83, pick(0x40, 0x96));
                    break;
                case 2:
                    put(std::string(1, static_cast<char>(pick(0xA1, 0xDF))));
                    break;
                case 3:
                    put2(0x82, pick(0x4F, 0x9A));
                    break;
                case 4:
                    put(one_of(bare_values));
                    break;
                default:
                    put("/");
                    break;
            }
        }
        if (!sloppy_ || chance(90)) put(quote);
    }

    void comment() {
        put("<!--");
        for (int n = pick(0, 4); n > 0; --n) chance(30) ? tag() : text();
        if (chance(90)) put(chance(20) ? "//-->" : " -->");
    }

    // A script, style, textarea or xmp block, opened by a bare tag or one
    // with attributes, holding code with brackets, comments and quotes; now
    // and then a plaintext block, which runs to the end of the page.
    void block() {
        const int kind = pick(0, 40);
        const char* const(&opens)[4] = kind < 16 ? script_tags : kind < 32 ? style_tags : raw_tags;
        const char* const(&ends)[4] = kind < 16 ? script_ends : kind < 32 ? style_ends : raw_ends;
        const int which = pick(0, 3);
        if (kind == 40) put("<plaintext>");
        put(opens[which]);
        for (int n = pick(0, 5); n > 0; --n) put(one_of(code));
        if (chance(90)) put(ends[which]);
    }

    // A lead byte before a byte that matters: the two are one character.
    void lead_before() { put2(chance(50) ? 0x83 : 0xE0, one_of(after_lead)[0]); }

    static constexpr const char* names[] = {
        "a",    "A",       "img", "IMG",  "font", "Font",     "table", "TABLE",   "/table",
        "td",   "p",       "br",  "meta", "base", "basefont", "body",  "bgsound", "frameset",
        "area", "address", "b",   "/b",   "hr",   "div",      "span"};
    static constexpr const char* attributes[] = {
        "src",   "SRC",    "href",    "Href",       "background", "bgcolor", "BGCOLOR", "size",
        "align", "valign", "VALIGN",  "charset",    "Charset",    "lowsrc",  "title",   "color",
        "width", "class",  "content", "http-equiv", "point-size", "alt",     "name",    "hspace",
        "text",  "Method", "id",      "onclick",    "type",       "NoWrap"};
    static constexpr const char* values[] = {"images/photo.gif",
                                             "../docs/index.html#top",
                                             "/docs/",
                                             "ab/",
                                             "./",
                                             "#FFFFFF",
                                             "red",
                                             "+1",
                                             "3",
                                             "3x",
                                             "center",
                                             "left",
                                             "text/html; charset=Shift_JIS",
                                             "x-sjis",
                                             "a>b",
                                             "a<b",
                                             "http://example.com/menu/",
                                             "x.cgi?d=a/b",
                                             "a;b",
                                             "--",
                                             "#top",
                                             " "};
    static constexpr const char* bare_values[] = {"images/photo.gif",
                                                  "../a/b.htm#x",
                                                  "/docs/",
                                                  "ab/",
                                                  "abc/x",
                                                  "ab/x",
                                                  "./",
                                                  "#FFFFFF",
                                                  "#ffffff\tw",
                                                  "red",
                                                  "+1",
                                                  "3",
                                                  "3x",
                                                  "center",
                                                  "a;b",
                                                  "sub/",
                                                  "",
                                                  "Shift_JIS",
                                                  "x.cgi?d=a/b",
                                                  "\x83\x41/\x82\x50"};
    static constexpr const char* closing[] = {"</a>",     "</A>", "</font>", "</FONT>", "</a >",
                                              "</font >", "</p>", "</td>",   "</tr>"};
    static constexpr const char* words[] = {"abc",
                                            "Hello",
                                            "x",
                                            "-",
                                            "--",
                                            "#",
                                            "'",
                                            "\"",
                                            "\t",
                                            "a-b",
                                            "href=",
                                            "src=",
                                            "charset=",
                                            "bgcolor=",
                                            "size=",
                                            "align=",
                                            "< ",
                                            "<1",
                                            "a<=b",
                                            "<\x83\x41",
                                            "<!DOCTYPE html PUBLIC \"-//x\" 'y'>",
                                            "<?xml version=\"1.0\"?>"};
    static constexpr const char* separators[] = {"\x44", "\x43", "\x7C", "\x40", "\x41"};
    static constexpr const char* script_tags[] = {"<script>", "<SCRIPT>",
                                                  "<script type=\"text/javascript\">",
                                                  "<script language='JavaScript'>"};
    static constexpr const char* script_ends[] = {"</script>", "</script>", "</SCRIPT>",
                                                  "</script >"};
    static constexpr const char* style_tags[] = {"<style>", "<STYLE type=\"text/css\">",
                                                 "<style\n>", "<style/>"};
    static constexpr const char* style_ends[] = {"</style>", "</STYLE\n>", "</style/>", "</style"};
    static constexpr const char* raw_tags[] = {"<textarea name=t>", "<XMP>", "<textarea\n>",
                                               "<xmp title=\"a>b\">"};
    static constexpr const char* raw_ends[] = {"</textarea>", "</xmp >", "</TEXTAREA\n>",
                                               "</xmp/>"};
    static constexpr const char* preformatted[] = {
        "<pre>", "</PRE>", "<pre class=\"x\">", "</pre\n>", "<listing>", "</listing>", "<pref>"};
    // Quotes where no value begins, and values with quotes and blanks in
    // them, as old pages have them.
    static constexpr const char* stray[] = {
        " 80\"",   " a=b=\"c d\"", " x = \"y z\"", "\"", " onclick=history.back()",
        " nowrap", " /",           "'q'"};
    static constexpr const char* code[] = {"<!--\n",
                                           "//-->\n",
                                           "if (a < b && c > d) { x = \"<p>\"; }\n",
                                           "ul > li { color: red }\n",
                                           "document.write('<font size=2>');\n",
                                           "\x83\x41",
                                           "\xB1\xDE",
                                           "</scrip",
                                           "</styl",
                                           "a-->b",
                                           "\n"};
    static constexpr const char* after_lead[] = {"<", ">", "\"", "'", "-", "#", "c", "\n"};

    std::mt19937 rng_;
    std::string page_;
    bool crlf_ = false;
    bool sloppy_ = false;  // a page with bracket errors
};

PageMaker::PageMaker(unsigned seed) : writer_(std::make_unique<Writer>(seed)) {}
PageMaker::~PageMaker() = default;

std::string PageMaker::page(bool long_line) {
    return writer_->page(long_line);
}

}  // namespace tagpolish::test

// The benchmark's test pages (see page_gen.h).
#include "bench/page_gen.h"

#include <random>
#include <string_view>

namespace tagpolish {
namespace {

class Writer {
  public:
    explicit Writer(std::uint32_t seed) : rng_(seed) {}

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(int percent) { return pick(1, 100) <= percent; }

    void put(std::string_view s) { page_.append(s); }
    void put2(int lead, int trail) {
        page_.push_back(static_cast<char>(lead));
        page_.push_back(static_cast<char>(trail));
    }
    void put_num(int n) { page_.append(std::to_string(n)); }
    std::size_t size() const { return page_.size(); }
    const std::string& page() const { return page_; }

    void hiragana(int n) {
        for (int i = 0; i < n; ++i) put2(0x82, pick(0x9F, 0xF1));
    }
    void katakana(int n) {
        for (int i = 0; i < n; ++i) {
            int t = pick(0x40, 0x95);
            put2(0x83, t == 0x7F ? 0x80 : t);
        }
    }
    // Kanji of the first JIS level: every cell of these rows is assigned.
    void kanji(int n) {
        for (int i = 0; i < n; ++i) {
            int t = pick(0x40, 0xFB);
            put2(pick(0x89, 0x97), t >= 0x7F ? t + 1 : t);
        }
    }
    // Half-width katakana, with voiced marks after the letters that take them.
    void half_kana(int n) {
        static const char voiced[] = "\xB6\xB7\xB8\xB9\xBA\xBB\xBC\xBD\xBE\xBF\xC0\xC1\xC2\xC3\xC4";
        for (int i = 0; i < n; ++i) {
            if (chance(15)) {
                put(std::string_view(voiced + pick(0, 14), 1));
                put("\xDE");
            } else {
                page_.push_back(static_cast<char>(pick(0xA6, 0xDD)));
            }
        }
    }
    void wide_digits(int n) {
        for (int i = 0; i < n; ++i) put2(0x82, pick(0x4F, 0x58));
    }
    void wide_letters(int n) {
        for (int i = 0; i < n; ++i) put2(0x82, chance(50) ? pick(0x60, 0x79) : pick(0x81, 0x9A));
    }
    void path(int depth) {
        static const char* dirs[] = {"docs", "images", "files", "news", "archive", "products"};
        for (int i = 0; i < depth; ++i) {
            put(dirs[pick(0, 5)]);
            put("/");
        }
    }

  private:
    std::mt19937 rng_;
    std::string page_;
};

// One stretch of running Japanese text: kana and kanji, with now and then
// half-width katakana, full-width digits or letters, and inline markup.
void phrase(Writer& w) {
    switch (w.pick(0, 15)) {
        case 0:
            w.half_kana(w.pick(3, 8));
            break;
        case 1:
            w.wide_digits(w.pick(1, 4));
            if (w.chance(30)) {
                w.put("\x81\x43");  // full-width comma between digits
                w.wide_digits(3);
            }
            break;
        case 2:
            w.wide_letters(w.pick(2, 5));
            break;
        case 3:
            w.put("<font color=\"red\">");
            w.kanji(w.pick(2, 4));
            w.put("</font>");
            break;
        case 4:
            w.put("<b>");
            w.katakana(w.pick(3, 6));
            w.put("</b>");
            break;
        case 5:
            w.katakana(w.pick(2, 6));
            break;
        default:
            w.kanji(w.pick(1, 3));
            w.hiragana(w.pick(1, 5));
            break;
    }
    if (w.chance(20)) w.put(w.chance(50) ? "\x81\x41" : "\x81\x42");  // 、 。
}

void text_line(Writer& w, int bytes) {
    std::size_t stop = w.size() + static_cast<std::size_t>(bytes);
    while (w.size() < stop) phrase(w);
    if (w.chance(25)) w.put("<br>");
    w.put("\n");
}

void heading(Writer& w, int n) {
    w.put("<!-- \x81\xA1 section ");
    w.put_num(n);
    w.put(" -->\n<h2><font size=\"+1\" color=\"#336699\">");
    w.kanji(w.pick(2, 6));
    w.put("</font></h2>\n");
}

void links(Writer& w) {
    w.put("<p align=\"center\"><a href=\"../");
    w.path(w.pick(1, 3));
    w.put("page");
    w.put_num(w.pick(1, 999));
    w.put(".html\">");
    w.kanji(2);
    w.hiragana(2);
    w.put("</a> \x81\x62 <a href=\"");
    w.path(1);
    w.put("index.html#sec");
    w.put_num(w.pick(1, 9));
    w.put("\">");
    w.katakana(4);
    w.put("</a>\n<img src=\"images/photo/p");
    w.put_num(w.pick(100, 999));
    w.put(".jpg\" width=\"120\" height=\"90\" border=\"0\" alt=\"");
    w.kanji(2);
    w.put("\">\n");
}

void table(Writer& w) {
    w.put(
        "<table border=\"1\" cellpadding=\"2\" bgcolor=\"#EEEEEE\" align=\"center\" "
        "width=\"90%\">\n");
    w.put("<tr bgcolor=\"#CCCCFF\"><th>\x8D\x80\x96\xDA</th><th align=\"right\">");
    w.put("\x8C\x8F\x90\x94</th></tr>\n");  // 項目, 件数
    for (int rows = w.pick(2, 6); rows > 0; --rows) {
        w.put("<tr><td align=\"left\" valign=\"top\">");
        w.half_kana(w.pick(3, 8));
        w.put("</td><td align=\"right\">");
        w.wide_digits(1);
        w.put("\x81\x43");
        w.wide_digits(3);
        w.put("</td></tr>\n");
    }
    w.put("</table>\n");
}

void page_head(Writer& w) {
    w.put("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<html>\n<head>\n");
    w.put("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n<title>");
    w.kanji(4);
    w.put("</title>\n<base href=\"http://www.example.co.jp/docs/\">\n");
    w.put("<script>\n<!--\nfunction top() { location.href = \"#top\"; }\n//-->\n</script>\n");
    w.put("</head>\n<body bgcolor=\"#FFFFFF\" text=\"#000000\" background=\"images/bg.gif\">\n");
    w.put("<bgsound src=\"sound/bgm.mid\" loop=\"1\">\n");
}

constexpr std::string_view page_tail =
    "<hr>\n<address>\x81\x69\x82\x62\x81\x6A 2001</address>\n</body>\n</html>\n";

void realistic(Writer& w, std::size_t size) {
    page_head(w);
    for (int n = 1; w.size() + 4096 < size; ++n) {
        heading(w, n);
        w.put("<p>");
        for (int lines = w.pick(3, 8); lines > 0; --lines) text_line(w, w.pick(60, 160));
        if (w.chance(60)) links(w);
        if (w.chance(40)) table(w);
    }
    while (w.size() + page_tail.size() < size) text_line(w, 60);
    w.put(page_tail);
}

// One long line of half-width katakana.
void kana_line(Writer& w, std::size_t line) {
    std::size_t stop = w.size() + line - 1;
    while (w.size() + 2 < stop) w.half_kana(1);
    while (w.size() < stop) w.put("\xB1");
    w.put("\n");
}

// One line of cells whose tags the removal options all act on.
void tag_line(Writer& w, std::size_t line) {
    static constexpr std::string_view cell =
        "<tr><td bgcolor=\"#FFFFFF\" align=\"left\" valign=\"top\"><font size=\"2\" "
        "color=\"red\">\xB1\xB2\xB3</font><a href=\"../a/b.html\">\xD8\xDD\xB8</a>"
        "<img src=\"img/x.gif\"><!-- c --></td></tr>";
    std::size_t stop = w.size() + line - 1;
    while (w.size() + cell.size() <= stop) w.put(cell);
    w.put("\n");
}

void pathological(Writer& w, std::size_t size, std::size_t line) {
    w.put("<html>\n<head><title>\xB1\xB2\xB3</title></head>\n<body>\n<table>\n");
    for (int n = 0; w.size() + 2 * line < size; ++n) {
        if (n % 2 == 0)
            kana_line(w, line);
        else
            tag_line(w, line);
    }
    w.put("</table>\n</body>\n</html>\n");
}

}  // namespace

std::string realistic_page(std::size_t size, std::uint32_t seed) {
    Writer w(seed);
    realistic(w, size);
    return w.page();
}

std::string pathological_page(std::size_t size, std::size_t line) {
    Writer w(page_seed);
    pathological(w, size, line);
    return w.page();
}

}  // namespace tagpolish

#include "lib/page_text.h"

#include <cstdlib>

#include "lib/sjstr.h"
#include "platform/console.h"
#include "platform/text_convert.h"

namespace tagpolish {
namespace {

// The locale variable that decides the character set: the first of them
// that is set and not empty, as the C library takes them.
const char* locale_in_force(const char* lc_all, const char* lc_ctype, const char* lang) {
    for (const char* name : {lc_all, lc_ctype, lang})
        if (name != nullptr && name[0] != '\0') return name;
    return nullptr;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (ascii_lower(static_cast<unsigned char>(a[k])) != static_cast<unsigned char>(b[k]))
            return false;
    }
    return true;
}

// Whether a locale name such as "ja_JP.UTF-8" or "C.utf8@euro" names the
// UTF-8 character set: the part between "." and "@".
bool names_utf8(std::string_view locale) {
    const std::size_t dot = locale.find('.');
    if (dot == locale.npos) return false;
    std::string_view charset = locale.substr(dot + 1);
    charset = charset.substr(0, charset.find('@'));
    return same_ignoring_case(charset, "utf-8") || same_ignoring_case(charset, "utf8");
}

bool is_trail_byte(unsigned char c) {
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

// Bytes that a terminal would act on instead of showing them.
bool is_control(unsigned char c) {
    return (c < 0x20 && c != '\t' && c != '\n') || c == 0x7F;
}

// A UTF-8 character from U+0080 to U+009F: a control as well.
bool is_c1_control(const char* utf8, std::size_t n) {
    return n == 2 && static_cast<unsigned char>(utf8[0]) == 0xC2 &&
           static_cast<unsigned char>(utf8[1]) <= 0x9F;
}

std::size_t escape(std::string_view bytes, char* out) {
    static constexpr char hex[] = "0123456789ABCDEF";
    char* at = out;
    for (char b : bytes) {
        const auto c = static_cast<unsigned char>(b);
        *at++ = '\\';
        *at++ = 'x';
        *at++ = hex[c >> 4];
        *at++ = hex[c & 0x0F];
    }
    return static_cast<std::size_t>(at - out);
}

static_assert(utf8_growth == sjis_utf8_growth);

}  // namespace

PageView page_view_for(bool terminal, const char* lc_all, const char* lc_ctype, const char* lang) {
    const char* locale = locale_in_force(lc_all, lc_ctype, lang);
    return terminal && locale != nullptr && names_utf8(locale) ? PageView::utf8 : PageView::bytes;
}

// A console that takes UTF-8 (Windows, where the messages go to it as
// UTF-16) always shows the characters.
PageView page_view() {
    static const PageView view = [] {
        const ErrorTerminal terminal = standard_error_terminal();
        if (terminal == ErrorTerminal::unicode) return PageView::utf8;
        return page_view_for(terminal == ErrorTerminal::by_locale, std::getenv("LC_ALL"),
                             std::getenv("LC_CTYPE"), std::getenv("LANG"));
    }();
    return view;
}

std::size_t show_as_utf8(std::string_view sjis, char* out) {
    SjisToUtf8 converter;
    char* at = out;
    for (std::size_t k = 0; k < sjis.size();) {
        const auto c = static_cast<unsigned char>(sjis[k]);
        const bool pair = is_lead_byte(c) && k + 1 < sjis.size() &&
                          is_trail_byte(static_cast<unsigned char>(sjis[k + 1]));
        const std::string_view ch = sjis.substr(k, pair ? 2 : 1);
        k += ch.size();
        if (c < 0x80 && !is_control(c)) {
            *at++ = static_cast<char>(c);
            continue;
        }
        const std::size_t n = c < 0x80 ? 0 : converter.convert(ch, at);
        at += n == 0 || is_c1_control(at, n) ? escape(ch, at) : n;
    }
    return static_cast<std::size_t>(at - out);
}

std::size_t whole_characters(std::string_view text, std::size_t n) {
    if (n > text.size()) n = text.size();
    std::size_t k = 0;
    while (k < n) k += char_length(text, k);
    return k > n ? n - 1 : n;
}

}  // namespace tagpolish

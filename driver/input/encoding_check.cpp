#include "driver/input/encoding_check.h"

#include <cstdint>
#include <cstring>

#include "lib/diag.h"
#include "lib/sjstr.h"

namespace tagpolish {
namespace {

constexpr unsigned char utf8_bom[] = {0xEF, 0xBB, 0xBF};
constexpr unsigned char esc = 0x1B;

// Charset names that say the page is in another encoding. Any other name
// (Shift_JIS, or a mere iso-8859-1) lets the page be edited: for text that
// decodes as Shift_JIS anyway, it is not a sign.
constexpr std::string_view foreign_charsets[] = {
    "utf-8",       "utf8",        "euc-jp", "x-euc-jp", "eucjp",
    "iso-2022-jp", "csiso2022jp", "utf-16", "utf-16le", "utf-16be",
};

// The names of Shift_JIS: a page that declares one of them is taken for
// Shift_JIS even when its high bytes happen to form two-byte UTF-8
// characters (half-width katakana pairs do).
constexpr std::string_view sjis_charsets[] = {
    "shift_jis", "shift-jis", "sjis",     "x-sjis",     "windows-31j",
    "cp932",     "ms932",     "ms_kanji", "csshiftjis", "cswindows31j",
};

// A declared name longer than this is none of the names above.
constexpr std::size_t name_keep = 16;

bool in_charset_name(unsigned char b) {
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' ||
           b == '_' || b == '.' || b == ':';
}

// Sixteen bytes, compared all at once (SSE2 on x86-64; the compiler's
// own code elsewhere).
using Bytes16 = unsigned char __attribute__((vector_size(16)));

Bytes16 load16(const char* p) {
    Bytes16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool any_set(Bytes16 v) {
    std::uint64_t half[2];
    std::memcpy(half, &v, sizeof v);
    return (half[0] | half[1]) != 0;
}

// The first "<" from k on that is followed by "m" or "M", or stands last in
// the text (its next byte comes with the next chunk); the size of the text
// when there is none. Tags are frequent in a page, so 32 byte pairs are
// tested at a time: the text against "<" and the text one byte further on,
// with the case bit set, against "m".
std::size_t find_lt_m(std::string_view text, std::size_t k) {
    constexpr unsigned char lt = '<', m = 'm', case_bit = 0x20;
    const char* p = text.data();
    const std::size_t n = text.size();
    for (; k + 33 <= n; k += 32) {
        const Bytes16 a = load16(p + k), a_next = load16(p + k + 1);
        const Bytes16 b = load16(p + k + 16), b_next = load16(p + k + 17);
        const auto hit = (Bytes16)((a == lt) & ((a_next | case_bit) == m)) |
                         (Bytes16)((b == lt) & ((b_next | case_bit) == m));
        if (any_set(hit)) break;
    }
    for (; k < n; ++k) {
        if (text[k] != '<') continue;
        if (k + 1 == n || ascii_lower(static_cast<unsigned char>(text[k + 1])) == 'm') return k;
    }
    return n;
}

// Whether name is one of names, in any letter case.
template <std::size_t n>
bool is_one_of(std::string_view name, const std::string_view (&names)[n]) {
    for (std::string_view known : names) {
        if (name.size() != known.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < name.size() && same; ++k)
            same = ascii_lower(static_cast<unsigned char>(name[k])) == known[k];
        if (same) return true;
    }
    return false;
}

}  // namespace

void EncodingCheck::feed(std::string_view text) {
    for (std::size_t k = 0; bom_seen_ >= 0 && bom_seen_ < 3 && k < text.size(); ++k)
        bom_seen_ = static_cast<unsigned char>(text[k]) == utf8_bom[bom_seen_] ? bom_seen_ + 1 : -1;
    if (utf8_ok_) check_utf8(text);
    if (!iso2022jp_) find_escape(text);
    if (!metas_done()) find_meta(text);
}

// Follows the UTF-8 sequences: a lead byte sets how many continuation bytes
// follow and the range of the first of them, which rules out overlong forms,
// surrogates and code points past U+10FFFF.
void EncodingCheck::check_utf8(std::string_view text) {
    constexpr std::uint64_t highs = 0x8080808080808080;
    const std::size_t n = text.size();
    std::size_t k = 0;
    while (k < n) {
        if (utf8_need_ == 0) {
            for (std::uint64_t w; k + 8 <= n; k += 8) {
                std::memcpy(&w, text.data() + k, 8);
                if (w & highs) break;
            }
            if (k == n) return;
        }
        auto b = static_cast<unsigned char>(text[k++]);
        if (utf8_need_ > 0) {
            if (b < utf8_lo_ || b > utf8_hi_) {
                utf8_ok_ = false;
                return;
            }
            utf8_lo_ = 0x80, utf8_hi_ = 0xBF;
            --utf8_need_;
            continue;
        }
        if (b < 0x80) continue;
        high_ = true;
        if (b >= 0xC2 && b <= 0xDF) {
            utf8_need_ = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            utf8_need_ = 2;
            if (b == 0xE0) utf8_lo_ = 0xA0;
            if (b == 0xED) utf8_hi_ = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            utf8_need_ = 3;
            if (b == 0xF0) utf8_lo_ = 0x90;
            if (b == 0xF4) utf8_hi_ = 0x8F;
        } else {
            utf8_ok_ = false;
            return;
        }
        if (utf8_need_ >= 2) utf8_long_ = true;
    }
}

// ESC "$" and ESC "(" begin the escapes that switch ISO-2022-JP text
// between its character sets (JIS X 0208 and 0212, ASCII, JIS X 0201).
void EncodingCheck::find_escape(std::string_view text) {
    std::size_t k = 0;
    while (k < text.size()) {
        if (!escape_) {
            const void* at = std::memchr(text.data() + k, esc, text.size() - k);
            if (!at) return;
            k = static_cast<std::size_t>(static_cast<const char*>(at) - text.data()) + 1;
            escape_ = true;
            continue;
        }
        auto b = static_cast<unsigned char>(text[k++]);
        if (b == '$' || b == '(') {
            iso2022jp_ = true;
            return;
        }
        escape_ = b == esc;
    }
}

// Looks for "<meta", then before its ">" for the first "charset", "=" and
// the name after it (blanks around the "=", one quote and blanks before
// the name are passed over).
void EncodingCheck::find_meta(std::string_view text) {
    const std::size_t n = text.size();
    std::size_t k = 0;
    while (k < n && !metas_done()) {
        if (meta_ == Meta::seek) k = find_lt_m(text, k);
        if (k < n) meta_byte(static_cast<unsigned char>(text[k++]));
    }
}

void EncodingCheck::meta_byte(unsigned char b) {
    switch (meta_) {
        case Meta::seek:
            if (b == '<') meta_ = Meta::name, matched_ = 1;
            return;
        case Meta::name:
            if (ascii_lower(b) == "<meta"[matched_]) {
                if (++matched_ == 5) meta_ = Meta::tag, matched_ = 0;
                return;
            }
            meta_ = Meta::seek;
            meta_byte(b);
            return;
        case Meta::tag:
            if (b == '>') {
                meta_ = Meta::seek;
            } else if (ascii_lower(b) == "charset"[matched_]) {
                if (++matched_ == 7) meta_ = Meta::equals;
            } else {
                matched_ = ascii_lower(b) == 'c' ? 1 : 0;
            }
            return;
        case Meta::equals:
            if (is_blank_or_line_end(b)) return;
            if (b == '=') {
                meta_ = Meta::value, quoted_ = false;
                return;
            }
            meta_ = Meta::tag, matched_ = 0;
            meta_byte(b);
            return;
        case Meta::value:
            if (is_blank_or_line_end(b)) return;
            if ((b == '"' || b == '\'') && !quoted_) {
                quoted_ = true;
                return;
            }
            meta_ = Meta::charset;
            name_.clear();
            name_len_ = 0;
            meta_byte(b);
            return;
        case Meta::charset:
            if (in_charset_name(b)) {
                if (name_.size() < name_keep) name_.push_back(static_cast<char>(b));
                ++name_len_;
                return;
            }
            end_name();
            meta_byte(b);
            return;
    }
}

// The name is complete: only the first charset of a meta tag counts.
void EncodingCheck::end_name() {
    meta_ = Meta::seek;
    if (name_len_ > name_keep) return;
    if (declared_.empty() && is_one_of(name_, foreign_charsets)) declared_ = name_;
    if (is_one_of(name_, sjis_charsets)) sjis_declared_ = true;
}

EncodingVerdict EncodingCheck::verdict() const {
    // A name that runs to the end of the text is complete there.
    EncodingCheck at_end = *this;
    if (at_end.meta_ == Meta::charset) at_end.end_name();
    const bool utf8_text = utf8_ok_ && utf8_need_ == 0 && high_;
    if (bom_seen_ == 3 || (utf8_text && (utf8_long_ || !at_end.sjis_declared_)))
        return {Encoding::utf8, {}};
    if (iso2022jp_) return {Encoding::iso2022jp, {}};
    if (high_ && !at_end.declared_.empty()) return {Encoding::declared, at_end.declared_};
    return {};
}

int refuse_encoding(const char* name, const EncodingVerdict& verdict) {
    switch (verdict.kind) {
        case Encoding::shift_jis:
            return 0;
        case Encoding::utf8:
            errmsg("%s: the text is UTF-8, not Shift_JIS\n", name);
            break;
        case Encoding::iso2022jp:
            errmsg("%s: the text is ISO-2022-JP, not Shift_JIS\n", name);
            break;
        case Encoding::declared:
            errmsg("%s: the page declares charset=%s, not Shift_JIS\n", name,
                   verdict.charset.c_str());
            break;
    }
    return -1;
}

}  // namespace tagpolish

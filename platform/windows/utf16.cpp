#include "platform/windows/utf16.h"

namespace tagpolish {
namespace {

// The code point that starts at text[i], and how many bytes it takes; a
// byte that starts no well-formed sequence stands for the code point of
// its value, as Latin-1 reads it, so that no name is refused here.
char32_t next_point(std::string_view text, std::size_t i, std::size_t& length) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    const std::size_t left = text.size() - i;
    const auto follows = [&](std::size_t k) { return k < left && (byte(k) & 0xC0) == 0x80; };
    length = 1;
    if (lead < 0x80) return lead;
    if (lead >= 0xC2 && lead < 0xE0 && follows(1)) {
        length = 2;
        return (char32_t{lead} & 0x1F) << 6 | (byte(1) & 0x3F);
    }
    if (lead >= 0xE0 && lead < 0xF0 && follows(1) && follows(2)) {
        const char32_t c = (char32_t{lead} & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
        if (c >= 0x800) {
            length = 3;
            return c;
        }
    }
    if (lead >= 0xF0 && lead < 0xF5 && follows(1) && follows(2) && follows(3)) {
        const char32_t c = (char32_t{lead} & 0x07) << 18 | (byte(1) & 0x3F) << 12 |
                           (byte(2) & 0x3F) << 6 | (byte(3) & 0x3F);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            length = 4;
            return c;
        }
    }
    return lead;
}

void put_utf8(char32_t c, std::string& out) {
    const auto put = [&](char32_t b) { out.push_back(static_cast<char>(b)); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | c >> 6);
        put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | c >> 12);
        put(0x80 | (c >> 6 & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | c >> 18);
        put(0x80 | (c >> 12 & 0x3F));
        put(0x80 | (c >> 6 & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::wstring utf16_of(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t length = 0;
        const char32_t c = next_point(utf8, i, length);
        i += length;
        if (c < 0x10000) {
            out.push_back(static_cast<wchar_t>(c));
        } else {
            out.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        }
    }
    return out;
}

std::string utf8_of(std::wstring_view utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = static_cast<char16_t>(utf16[i]);
        const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < utf16.size() &&
                          utf16[i + 1] >= 0xDC00 && utf16[i + 1] < 0xE000;
        if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(utf16[++i]) - 0xDC00);
        put_utf8(c, out);
    }
    return out;
}

}  // namespace tagpolish

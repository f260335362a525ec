#include "lib/sjis_utf8.h"

namespace tagpolish {
namespace {

// The user-defined area of the two-byte table, which maps onto the
// private-use code points from U+E000 on.
constexpr std::size_t user_area_first = 8836, user_area_last = 10715;

}  // namespace

char32_t two_byte_code(unsigned char lead, unsigned char trail) {
    if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return invalid_char;
    const std::size_t row = lead - (lead < 0xA0 ? 0x81 : 0xC1);
    const std::size_t pointer = row * 188 + trail - (trail < 0x7F ? 0x40 : 0x41);
    if (pointer >= user_area_first && pointer <= user_area_last)
        return 0xE000 + static_cast<char32_t>(pointer - user_area_first);
    if (pointer >= sjis_index_size || sjis_index[pointer] == 0) return invalid_char;
    return sjis_index[pointer];
}

const Utf8Forms& utf8_forms() {
    static const Utf8Forms forms = [] {
        Utf8Forms f;
        unsigned rows = 0;
        for (int b = 0x80; b < 0x100; ++b) {
            const char byte = static_cast<char>(b);
            const SjisChar alone = decode_sjis(std::string_view(&byte, 1), 0);
            if (alone.code != invalid_char) f.single[b] = utf8_form(alone.code);
            if (b == 0xA0 || b > 0xFC || (b >= 0xA1 && b <= 0xDF) || b == 0x80) continue;
            f.row[b] = static_cast<std::uint8_t>(++rows);
            for (int trail = 0; trail < 0x100; ++trail) {
                const char32_t code =
                    two_byte_code(static_cast<unsigned char>(b), static_cast<unsigned char>(trail));
                if (code != invalid_char) f.pair[rows - 1][trail] = utf8_form(code);
            }
        }
        return f;
    }();
    return forms;
}

char* write_utf8(char* to, char32_t c) {
    auto byte = [](char32_t v) { return static_cast<char>(v); };
    if (c < 0x80) {
        *to++ = byte(c);
    } else if (c < 0x800) {
        *to++ = byte(0xC0 | (c >> 6));
        *to++ = byte(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *to++ = byte(0xE0 | (c >> 12));
        *to++ = byte(0x80 | ((c >> 6) & 0x3F));
        *to++ = byte(0x80 | (c & 0x3F));
    } else {
        *to++ = byte(0xF0 | (c >> 18));
        *to++ = byte(0x80 | ((c >> 12) & 0x3F));
        *to++ = byte(0x80 | ((c >> 6) & 0x3F));
        *to++ = byte(0x80 | (c & 0x3F));
    }
    return to;
}

}  // namespace tagpolish

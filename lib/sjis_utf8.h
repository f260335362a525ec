// Shift_JIS decoded as browsers decode it, into UTF-8: the Encoding
// Standard's decoder (Windows' code page 932 with the NEC and IBM rows),
// carried in the program so that it is the same everywhere.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tagpolish {

// The code point of each pointer of the two-byte area; 0 where none.
inline constexpr std::size_t sjis_index_size = 11104;
extern const std::uint16_t sjis_index[sjis_index_size];

// What one character of Shift_JIS text decodes to.
struct SjisChar {
    char32_t code = 0;     // the code point; invalid_char for an error
    std::size_t size = 1;  // the bytes it takes (an error takes what it must)
};
inline constexpr char32_t invalid_char = 0xFFFFFFFF;

// The code point of a lead byte and the byte after it, or invalid_char.
char32_t two_byte_code(unsigned char lead, unsigned char trail);

// The character that begins at byte i of s. A lead byte whose second byte
// makes no character is an error of one byte when that byte is ASCII (it
// is read again on its own) and of two otherwise; a lead byte at the end of
// s is an error of one byte.
inline SjisChar decode_sjis(std::string_view s, std::size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b <= 0x80) return {b, 1};
    if (b >= 0xA1 && b <= 0xDF) return {0xFF61 + static_cast<char32_t>(b - 0xA1), 1};
    if (b == 0xA0 || b >= 0xFD || i + 1 == s.size()) return {invalid_char, 1};
    const auto trail = static_cast<unsigned char>(s[i + 1]);
    const char32_t code = two_byte_code(b, trail);
    if (code != invalid_char) return {code, 2};
    return {invalid_char, trail < 0x80 ? std::size_t{1} : std::size_t{2}};
}

// What a sequence that makes no character becomes where it may be kept.
inline constexpr char32_t replacement_char = 0xFFFD;

// Writes the UTF-8 bytes of code point c at to; answers the byte after them.
char* write_utf8(char* to, char32_t c);

// The UTF-8 form of each Shift_JIS character made ready, for converting a
// text a character at a time. A form holds up to three bytes, the first in
// its low byte, and their count in its top byte; 0 where the bytes make no
// character.
struct Utf8Forms {
    std::array<std::uint32_t, 256> single{};  // of a byte alone
    std::array<std::uint8_t, 256> row{};      // of a lead byte: its row of pair, from 1
    std::array<std::array<std::uint32_t, 256>, 60> pair{};  // of a lead's row and the next byte
};
const Utf8Forms& utf8_forms();

// The form of code point c (below U+10000).
constexpr std::uint32_t utf8_form(char32_t c) {
    if (c < 0x80) return c | 1u << 24;
    if (c < 0x800) return (0xC0 | c >> 6) | (0x80 | (c & 0x3F)) << 8 | 2u << 24;
    return (0xE0 | c >> 12) | (0x80 | (c >> 6 & 0x3F)) << 8 | (0x80 | (c & 0x3F)) << 16 | 3u << 24;
}

// Writes the bytes of a form at to, and three bytes in all (to must have
// room for them); answers the byte after the form's own.
inline char* put_form(char* to, std::uint32_t form) {
    to[0] = static_cast<char>(form);
    to[1] = static_cast<char>(form >> 8);
    to[2] = static_cast<char>(form >> 16);
    return to + (form >> 24);
}

// The number of UTF-8 bytes of code point c.
constexpr std::size_t utf8_size(char32_t c) {
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

}  // namespace tagpolish

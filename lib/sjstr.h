// Shift_JIS-aware primitives over NUL-terminated byte strings.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace tagpolish {

// The bytes that begin a double-byte character, as ranges of first and
// last byte. The vector searches build their masks from these ranges too,
// so this is the one place to change.
inline constexpr std::array<std::array<unsigned char, 2>, 2> lead_byte_ranges{
    {{0x81, 0x9F}, {0xE0, 0xFC}}};

// A byte that begins a double-byte character when a non-NUL byte follows.
constexpr bool is_lead_byte(unsigned char c) {
    for (const auto& [lo, hi] : lead_byte_ranges)
        if (c >= lo && c <= hi) return true;
    return false;
}

// The length of the character that begins at byte i of s, stepping over
// a double-byte one whole: 2 for a lead byte with a byte after it in s,
// else 1.
constexpr std::size_t char_length(std::string_view s, std::size_t i) {
    return is_lead_byte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

// The byte with an ASCII capital made small; any other byte as it is.
constexpr unsigned char ascii_lower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// The byte with an ASCII small letter made a capital; any other as it is.
constexpr unsigned char ascii_upper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

// The three kinds of blank the program tells apart: within a line (a
// space or a tab), between words of a declaration (those or a line end),
// and inside a tag as a browser reads it (those or a form feed).
constexpr bool is_space_or_tab(unsigned char c) {
    return c == ' ' || c == '\t';
}
constexpr bool is_blank_or_line_end(unsigned char c) {
    return is_space_or_tab(c) || c == '\r' || c == '\n';
}
constexpr bool is_tag_blank(unsigned char c) {
    return is_blank_or_line_end(c) || c == '\f';
}

// Last occurrence of byte c in s, stepping over double-byte characters
// (whose second byte is never tested); null when absent or c is 0.
const char* Strrchr(const char* s, int c);

// Strrchr over a byte range whose end acts as the terminator.
const char* Strrchr(std::string_view s, int c);

// First byte of s that is neither blank nor tab.
const char* sp_skip(const char* s);

// The first byte after the attribute value that begins (after blanks) at s.
const char* optionStr_skip(const char* s);

// Compares at most n bytes of a with b (n < 0: no limit), ignoring ASCII
// letter case, classing bytes as ASCII < half-width katakana < double-byte.
// Returns -1, 0 or 1.
int StrnCmp(const char* a, const char* b, int n);

}  // namespace tagpolish

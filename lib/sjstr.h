// Shift_JIS-aware primitives over NUL-terminated byte strings.
#pragma once

#include <string_view>

namespace tagpolish {

// A byte that begins a double-byte character when a non-NUL byte follows.
inline bool is_lead_byte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
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

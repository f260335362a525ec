// Matching tag names at the cursor, shared by the walk and the removals.
#pragma once

namespace tagpolish {

// Whether the keyword (the first n bytes of pattern: "<" and at least two
// ASCII bytes) stands at p, ignoring the case of letters. Most tags already
// differ in the bytes after "<", where a match can only have the same
// letters in either case, so those are compared first; the whole keyword
// then byte by byte, up to the first byte that differs (a NUL at the
// latest).
inline bool at(const char* p, const char* pattern, int n) {
    auto same = [&](int k) { return (p[k] | 0x20) == (pattern[k] | 0x20); };
    if (!same(1) || (n >= 3 && !same(2))) return false;
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c; };
    for (int k = 0; k < n; ++k)
        if (fold(p[k]) != fold(pattern[k])) return false;
    return true;
}

// Whether byte c, after a tag name, ends it: a blank, a line end or ">".
inline bool ends_tag_name(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>';
}

}  // namespace tagpolish

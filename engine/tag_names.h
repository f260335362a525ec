// Matching tag names at the cursor, shared by the walk and the removals.
#pragma once

#include "lib/sjstr.h"

namespace tagpolish {

// Whether the keyword (the first n bytes of pattern: "<" and at least two
// ASCII bytes) stands at p, ignoring letter case. Most tags already differ
// in the bytes after "<", where a match can only have the same letters in
// either case, so those are compared before StrnCmp.
inline bool at(const char* p, const char* pattern, int n) {
    auto same = [&](int k) { return (p[k] | 0x20) == (pattern[k] | 0x20); };
    return same(1) && (n < 3 || same(2)) && StrnCmp(p, pattern, n) == 0;
}

// Whether byte c, after a tag name, ends it: a blank, a line end or ">".
inline bool ends_tag_name(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>';
}

}  // namespace tagpolish

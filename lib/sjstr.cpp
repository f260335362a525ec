// Shift_JIS-aware primitives over NUL-terminated byte strings.
#include "lib/sjstr.h"

namespace tagpolish {

namespace {

// How StrnCmp classes a byte; the order of the values is the sort order.
enum class ByteClass { ascii, kana, dbcs };

ByteClass class_of(unsigned char c) {
    if (c < 0x80) return ByteClass::ascii;
    if (c >= 0xA1 && c <= 0xDF) return ByteClass::kana;
    // 0x80, 0xA0 and 0xFD-0xFF count as double-byte here, unlike is_lead_byte.
    return ByteClass::dbcs;
}

int order(unsigned a, unsigned b) {
    return a < b ? -1 : 1;
}

// A negative count means no limit and never reaches 0.
void count_off(int& n) {
    if (n > 0) --n;
}

}  // namespace

const char* Strrchr(std::string_view s, int c) {
    const auto want = static_cast<unsigned char>(c);
    const char* found = nullptr;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b == want) found = s.data() + i;
        i += char_length(s, i);
    }
    return found;
}

const char* Strrchr(const char* s, int c) {
    return Strrchr(std::string_view(s), c);
}

const char* sp_skip(const char* s) {
    while (is_space_or_tab(static_cast<unsigned char>(*s))) ++s;
    return s;
}

const char* optionStr_skip(const char* s) {
    const char* p = sp_skip(s);
    if (*p == '"' || *p == '\'') {
        // A bracket inside the quotes ends the value too: the quote is
        // probably missing, and the bracket belongs to the markup.
        const char quote = *p++;
        while (*p != '\0' && *p != quote && *p != '<' && *p != '>') ++p;
        if (*p == quote) ++p;
        return p;
    }
    while (*p != '\0' && *p != ' ' && *p != '\t' && *p != '"' && *p != '\'' && *p != '<' &&
           *p != '>' && *p != ';') {
        ++p;
    }
    return p;
}

int StrnCmp(const char* a, const char* b, int n) {
    auto p = reinterpret_cast<const unsigned char*>(a);
    auto q = reinterpret_cast<const unsigned char*>(b);
    while (n != 0 && *p != 0 && *q != 0) {
        const ByteClass pc = class_of(*p);
        const ByteClass qc = class_of(*q);
        if (pc != qc) return pc < qc ? -1 : 1;
        if (pc == ByteClass::ascii) {
            const unsigned char fp = ascii_lower(*p);
            const unsigned char fq = ascii_lower(*q);
            if (fp != fq) {
                // A backslash sorts before every other ASCII character.
                if (*p == '\\') return -1;
                if (*q == '\\') return 1;
                return order(fp, fq);
            }
        } else if (*p != *q) {
            return order(*p, *q);
        } else if (pc == ByteClass::dbcs) {
            // The second byte is compared even when the count has just run
            // out, so that a character is never half compared.
            ++p, ++q;
            count_off(n);
            if (*p != *q) return order(*p, *q);
            if (*p == 0) return 0;  // both strings end after a lone first byte
        }
        ++p, ++q;
        count_off(n);
    }
    if (n == 0) return 0;
    if (*p != 0) return 1;
    if (*q != 0) return -1;
    return 0;
}

}  // namespace tagpolish

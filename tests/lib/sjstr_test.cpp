#include "lib/sjstr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace tagpolish {
namespace {

// The offset of a found position in s, or -1 for null.
long where(const char* s, const char* found) {
    return found == nullptr ? -1 : found - s;
}

struct SearchCase {
    const char* s;
    int c;
    long last;  // Strrchr
};

TEST(SjisSearch, LeadByteHidesTheByteAfterIt) {
    const SearchCase cases[] = {
        {"", '>', -1},
        {"a>b", 0, -1},
        {"<b>x>", '>', 4},
        {"\x82>", '>', -1},
        {"\x82>a>", '>', 3},
        {"\xFC>\xE0>\x9F>\x81>", '>', -1},
        {"\x80>\xA0>\xFD>", '>', 5},  // single bytes under the lead-byte rule
        {"ab\x82", 0x82, 2},          // a lead byte last stands alone
        {"\x82\x82", 0x82, 0},        // the second byte is never tested
        {"\x82\x82\x82", 0x82, 2},
        {"\x82\x82\x82", -126, 2},  // only the low byte of c counts
        {"\x82\x82\x82", 0x182, 2},
    };
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "\"" << c.s << "\" " << c.c);
        EXPECT_EQ(c.last, where(c.s, Strrchr(c.s, c.c)));
    }
}

TEST(SjisSearch, RangeEndActsAsTheTerminator) {
    const char text[] = "a>\x82>b>";
    EXPECT_EQ(5, where(text, Strrchr(text, '>')));
    EXPECT_EQ(1, where(text, Strrchr(std::string_view(text, 5), '>')));
    // A lead byte that ends the range stands alone and can match.
    EXPECT_EQ(2, where(text, Strrchr(std::string_view(text, 3), 0x82)));
    EXPECT_EQ(-1, where(text, Strrchr(std::string_view(text, 1), '>')));
}

TEST(SjisSkip, BlanksAndTabs) {
    const struct {
        const char* s;
        long expected;
    } cases[] = {{"", 0}, {" \t \t", 4}, {"x  ", 0}, {" \t x", 3}, {"\n", 0}};
    for (const auto& c : cases) EXPECT_EQ(c.expected, where(c.s, sp_skip(c.s))) << c.s;
}

TEST(SjisSkip, AttributeValue) {
    const struct {
        const char* s;
        long expected;
    } cases[] = {
        // Quoted: past the closing quote, or up to a bracket when it is missing.
        {" \"red\">", 6},
        {"\"red>", 4},
        {"'it\"s' x", 6},
        {"\"a<b\"", 2},
        {"\"open", 5},
        // Unquoted: up to a blank, tab, quote, bracket or ';', possibly empty.
        {"red;x", 3},
        {"red x", 3},
        {"red\tx", 3},
        {"red\"x", 3},
        {"a=b<", 3},
        {"#ff0000>", 7},
        {">", 0},
        {"  >", 2},
        {"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, where(c.s, optionStr_skip(c.s))) << c.s;
}

struct CompareCase {
    const char* a;
    const char* b;
    int n;
    int expected;
};

TEST(StrnCmp, IgnoresAsciiCaseOnly) {
    const CompareCase cases[] = {
        {"<META name=x>", "<meta", 5, 0},
        {"<Meta>", "<meta", 5, 0},
        {"<meta", "<meta", 5, 0},
        {"<met", "<meta", 5, -1},
        {"<b>", "<br", 3, -1},
        {"abc", "xyz", 0, 0},
        {"ab", "ac", 1, 0},
        {"a", "z", 1, -1},
        {"z", "A", 1, 1},
        {"Z", "[", 1, 1},  // compared as 'z'
        {"[", "Z", 1, -1},
        {"\x82\x60", "\x82\x81", 2, -1},  // full-width A and a are not folded
    };
    for (const CompareCase& c : cases) {
        EXPECT_EQ(c.expected, StrnCmp(c.a, c.b, c.n)) << c.a << " / " << c.b << " " << c.n;
    }
}

TEST(StrnCmp, BackslashSortsFirst) {
    // Even before '!', although 0x5C is above it.
    const CompareCase cases[] = {
        {"\\", "a", 1, -1}, {"a", "\\", 1, 1},    {"\\", "!", 1, -1},
        {"!", "\\", 1, 1},  {"\\x", "\\X", 2, 0},
    };
    for (const CompareCase& c : cases) {
        EXPECT_EQ(c.expected, StrnCmp(c.a, c.b, c.n)) << c.a << " / " << c.b;
    }
}

TEST(StrnCmp, ClassesSortAsciiKanaDoubleByte) {
    const CompareCase cases[] = {
        {"\x80", "a", 1, 1},
        {"a", "\x80", 1, -1},
        {"\xB1", "z", 1, 1},
        {"\xB1", "\x82\xA0", 2, -1},
        {"\x82\xA0", "\xB1", 2, 1},
        {"\xA0", "\xDF", 1, 1},  // 0xA0 and 0xFF are double-byte here
        {"\xFF", "\xA1", 1, 1},
        {"\xB1", "\xB2", 1, -1},
        {"\xB2", "\xB1", 1, 1},
        {"\xB1q", "\xB1Q", 2, 0},
        {"\x82\x60", "\x83\x40", 2, -1},
        {"\x82\x60q", "\x82\x60Q", 3, 0},
    };
    for (const CompareCase& c : cases) {
        EXPECT_EQ(c.expected, StrnCmp(c.a, c.b, c.n)) << c.a << " / " << c.b;
    }
}

TEST(StrnCmp, DoubleByteCharacterIsComparedWhole) {
    EXPECT_EQ(-1, StrnCmp("\x82\x60", "\x82\x61", 1));
    EXPECT_EQ(1, StrnCmp("\x82\x61", "\x82\x60", 1));
    EXPECT_EQ(0, StrnCmp("\x82\x60q", "\x82\x60r", 2));
    EXPECT_EQ(-1, StrnCmp("a\x82", "a\x82\x40", -1));
}

TEST(StrnCmp, NegativeCountHasNoLimit) {
    const CompareCase cases[] = {
        {"abc", "ab", -1, 1},  {"ab", "abc", -1, -1}, {"ABC", "abc", -1, 0},
        {"ab", "abc", 10, -1}, {"abc", "ab", 2, 0},   {"ab", "ab", 10, 0},
    };
    for (const CompareCase& c : cases) {
        EXPECT_EQ(c.expected, StrnCmp(c.a, c.b, c.n)) << c.a << " / " << c.b << " " << c.n;
    }
}

TEST(StrnCmp, StopsAtTerminatorsAfterALeadByte) {
    // The bytes after each terminator differ: reading on would tell them apart.
    const char a[] = "a\x82\0x";
    const char b[] = "a\x82\0y";
    EXPECT_EQ(0, StrnCmp(a, b, -1));
    EXPECT_EQ(0, StrnCmp(a, b, 2));
    EXPECT_EQ(0, StrnCmp(a + 1, b + 1, 1));
}

}  // namespace
}  // namespace tagpolish

#include "driver/input/input_checks.h"

#include <gtest/gtest.h>

#include <string>

namespace tagpolish {
namespace {

// What the checks find in a text: its line end, where its text ends, its
// first NUL byte.
struct Found {
    LineEnd line_end = LineEnd::lf;
    std::uint64_t text_size = 0;
    bool eof_mark = false;
    bool text_after_eof = false;
    bool nul = false;
    std::uint64_t nul_offset = 0;

    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Found& f) {
    return os << "{line end " << static_cast<int>(f.line_end) << ", text " << f.text_size
              << ", mark " << f.eof_mark << ", after " << f.text_after_eof << ", NUL " << f.nul
              << " at " << f.nul_offset << "}";
}

// Feeds raw in two blocks cut at k, so that every pair of bytes the checks
// look at together is once cut in two.
Found found_in(std::string_view raw, std::size_t k) {
    InputChecks checks;
    checks.feed(raw.substr(0, k));
    checks.feed(raw.substr(k));
    const InputInfo info = checks.info();
    return {info.line_end,       info.text_size,     info.eof_mark,
            info.text_after_eof, checks.nul_found(), checks.nul_found() ? info.nul_offset : 0};
}

TEST(InputChecks, FindLineEndMarkAndNulWhereverTheBlocksAreCut) {
    using L = LineEnd;
    const struct {
        const char* name;
        std::string raw;
        Found found;
    } cases[] = {
        {"empty", "", {L::lf, 0}},
        {"LF", "a\nb\r\n", {L::lf, 5}},
        {"CR LF: the first LF decides", "a\r\nb\n", {L::crlf, 5}},
        {"CR LF line alone", "\r\n", {L::crlf, 2}},
        {"CR before a later LF", "a\rb\r\n", {L::crlf, 5}},
        {"CR input: no LF at all", "a\rb\r", {L::cr, 4}},
        {"neither", "ab", {L::lf, 2}},
        {"mark at the end", "ab\x1A", {L::lf, 2, true}},
        {"text after the mark", "a\x1A\nb", {L::lf, 1, true, true}},
        {"LF only after the mark: a CR input", "a\rb\x1A\n", {L::cr, 3, true, true}},
        {"NUL", std::string("a\nb\0c\0", 6), {L::lf, 6, false, false, true, 3}},
        {"NUL after the mark is not text", std::string("a\x1A\0", 3), {L::lf, 1, true, true}},
    };
    for (const auto& c : cases) {
        for (std::size_t k = 0; k <= c.raw.size(); ++k)
            EXPECT_EQ(c.found, found_in(c.raw, k)) << c.name << ", cut at " << k;
    }
}

TEST(InputChecks, StopReadingAtANulByteOrAfterTheMark) {
    const struct {
        std::string raw;
        bool done;
    } cases[] = {
        {"abc\n", false},
        {"abc\x1A", false},  // whether anything follows the mark is not known yet
        {"abc\x1A\x1A", true},
        {std::string("a\0", 2), true},
    };
    for (const auto& c : cases) {
        InputChecks checks;
        checks.feed(c.raw);
        EXPECT_EQ(c.done, checks.done()) << c.raw;
    }
}

TEST(LineCounter, CountsTheLineEndsOfTheInputsKind) {
    const struct {
        LineEnd line_end;
        std::string text;
        int line;
    } cases[] = {
        {LineEnd::lf, "", 1},
        {LineEnd::lf, "a\nb\r\nc\r", 3},
        {LineEnd::crlf, "a\r\nb\nc", 3},
        {LineEnd::cr, "a\rb\rc", 3},
    };
    for (const auto& c : cases) {
        LineCounter counter(c.line_end);
        for (char b : c.text) counter.feed(std::string_view(&b, 1));
        EXPECT_EQ(c.line, counter.line()) << c.text;
    }
}

}  // namespace
}  // namespace tagpolish

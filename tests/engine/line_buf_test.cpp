#include "engine/line_buf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>

#include "lib/sjstr.h"

namespace tagpolish {
namespace {

// The finished line as the scanner puts it out.
std::string finished(const LineBuf& line) {
    return std::string(line.made()) + std::string(line.kept());
}

// A further stored line for the run-on cases.
std::string second_line = "x>\n";

struct OpsCase {
    const char* name;
    std::string line;
    std::function<void(LineBuf&)> ops;
    std::string out;
};

// Walked bytes stay where they were read until an edit comes after them;
// whichever way the walked part is held, the line comes out the same.
TEST(LineBuf, EditsBetweenWalkedBytesKeepTheirOrder) {
    const OpsCase cases[] = {
        {"walk only", "ab<c>\n", [](LineBuf& l) { l.advance(5); }, "ab<c>\n"},
        {"remove between walks", "abXYcd\n",
         [](LineBuf& l) { l.advance(2), l.remove(2), l.advance(2); }, "abcd\n"},
        {"emit between walks", "ab\xB1z\n",
         [](LineBuf& l) { l.advance(2), l.emit("\x83\x41"), l.remove(1), l.advance(1); },
         "ab\x83\x41z\n"},
        {"emit a byte at the start", "\x82\x4F-\n",
         [](LineBuf& l) { l.emit('0'), l.remove(2), l.advance(1); }, "0-\n"},
        {"take back a walked blank still in place", "<b >\n",
         [](LineBuf& l) { l.advance(3), l.drop_last_walked(); }, "<b>\n"},
        {"take back a walked blank after a removal", "<b size=1>\n",
         [](LineBuf& l) { l.advance(3), l.remove(6), l.drop_last_walked(); }, "<b>\n"},
        {"a run on line replaces the rest", "ab<x\n",
         [](LineBuf& l) { l.advance(2), l.continue_with("y>z\n"), l.remove(2), l.advance(1); },
         "abz\n"},
        {"a walk ahead of a run on line", "ab<x\n",
         [](LineBuf& l) { l.advance(2), l.continue_with("y>z\n"), l.advance(3); }, "aby>z\n"},
        {"replace ahead after walking", "a<q src=d/e>\n",
         [](LineBuf& l) { l.advance(3), l.replace_ahead(5, 2, ""), l.advance(7); }, "a<q src=e>\n"},
    };
    for (const OpsCase& c : cases) {
        LineBuf line;
        line.load(c.line);
        c.ops(line);
        EXPECT_EQ(c.out, finished(line)) << c.name;
        EXPECT_EQ(c.out, line.whole()) << c.name;
    }
}

TEST(LineBuf, LastWalkedByteWhereverItIsHeld) {
    LineBuf line;
    std::string text = "ab cd>\n";
    line.load(text);
    EXPECT_TRUE(line.at_line_start());
    line.remove(1);
    EXPECT_TRUE(line.at_line_start()) << "a removal walks nothing";
    line.advance(2);
    EXPECT_FALSE(line.at_line_start());
    EXPECT_EQ(' ', line.last_walked());
    line.remove(2);
    EXPECT_EQ(' ', line.last_walked());
    line.emit('x');
    EXPECT_EQ('x', line.last_walked());
    EXPECT_EQ("b x>\n", line.whole());
}

TEST(LineBuf, LineThatNoEditActsOnIsKeptWhole) {
    LineBuf line;
    std::string text = "<p>abc</p>\n";
    line.load(text);
    line.advance(text.size() - 1);
    EXPECT_EQ("", line.made());
    EXPECT_EQ(text, line.kept());
}

// A source whose lines, held in strings of the test, may be written into.
class WritableLines : public LineSource {
  public:
    std::string_view next_line() override { return {}; }
    LineMark mark() const override { return 0; }
    void rewind(LineMark) override {}
    char* writable(std::string_view line) override { return const_cast<char*>(line.data()); }
};

// Writes into the rest go to a copy of the line (the stored line is what
// -w compares the output with, and what a run-on tag is searched in), or,
// where the source lets them, into the line where it lies; either way the
// line as read stays at hand for quoting.
TEST(LineBuf, WritesGoToACopyOrWhereTheSourceLetsThem) {
    const OpsCase cases[] = {
        {"set", "<a href=x>\n", [](LineBuf& l) { l.advance(1), l.set(0, 'H'), l.advance(1); },
         "<H href=x>\n"},
        {"set after an edit", "<ab>\n",
         [](LineBuf& l) { l.advance(1), l.remove(1), l.set(0, 'B'), l.advance(1); }, "<B>\n"},
        {"replace ahead", "<a href=d/e>\n",
         [](LineBuf& l) { l.advance(2), l.replace_ahead(6, 2, "./"); }, "<a href=./e>\n"},
        {"write into a run-on line", "<a\n",
         [](LineBuf& l) { l.advance(2), l.continue_with(second_line), l.set(0, 'X'); }, "<aX>\n"},
    };
    WritableLines source;
    for (bool in_place : {false, true}) {
        for (const OpsCase& c : cases) {
            SCOPED_TRACE(in_place ? "in place" : "a copy");
            const std::string before_run_on = second_line;
            std::string stored = c.line;
            LineBuf line;
            if (in_place) line.writes_into(&source);
            line.load(stored);
            c.ops(line);
            EXPECT_EQ(c.out, finished(line)) << c.name;
            const bool run_on = std::string_view(c.name).starts_with("write into a run-on");
            const std::string& read = run_on ? before_run_on : c.line;
            EXPECT_EQ(read, line.as_read()) << c.name;
            if (!in_place) {
                EXPECT_EQ(c.line, stored) << c.name;
            }
            second_line = before_run_on;
        }
    }
}

// With spill set, a long walked part goes out as it grows, each part ending
// where a character ends; the line comes out as without it, and the
// look-backs see the same bytes.
TEST(LineBuf, LongWalkedPartIsSpilledInOrder) {
    const std::pair<const char*, std::string> units[] = {
        {"ASCII", "ab<c d>"}, {"kanji", "\x88\x9F\x82\xA0x"}, {"lead bytes only", "\x88\x9F"}};
    for (const auto& [name, unit] : units) {
        std::string text;
        while (text.size() < 3 * LineBuf::spill_at) text += unit;
        text += "\n";
        std::string spilled;
        bool whole_characters = true;
        LineBuf spilling, holding;
        spilling.spill = [&](std::string_view part) {
            whole_characters =
                whole_characters && !is_lead_byte(static_cast<unsigned char>(part.back()));
            spilled.append(part);
        };
        for (LineBuf* line : {&spilling, &holding}) {
            line->load(text);
            while (line->peek() != '\n') {
                line->advance(std::min<std::size_t>(997, text.size() - 1 - line->pos));
                if (line->peek() != '\n') line->remove(1), line->emit(unit.substr(0, 1));
            }
        }
        EXPECT_EQ(finished(holding), spilled + finished(spilling)) << name;
        EXPECT_EQ(holding.walked_size(), spilling.walked_size()) << name;
        for (std::size_t k : {std::size_t{0}, std::size_t{1}, LineBuf::spill_keep - 1})
            EXPECT_EQ(holding.walked_back(k), spilling.walked_back(k)) << name << " " << k;
        EXPECT_TRUE(whole_characters) << name;
        EXPECT_EQ(name[0] == 'l', spilled.empty()) << name;
    }
}

}  // namespace
}  // namespace tagpolish

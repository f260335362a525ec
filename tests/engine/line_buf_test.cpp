#include "engine/line_buf.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

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

// Writes into the rest go to a copy of the line: the stored line is what
// -w compares the output with, and what a run-on tag is searched in.
TEST(LineBuf, WritesLeaveTheStoredLineAlone) {
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
    for (const OpsCase& c : cases) {
        const std::string stored = c.line;
        LineBuf line;
        line.load(stored);
        c.ops(line);
        EXPECT_EQ(c.out, finished(line)) << c.name;
        EXPECT_EQ(c.line, stored) << c.name;
    }
    EXPECT_EQ("x>\n", second_line) << "run-on line";
}

}  // namespace
}  // namespace tagpolish

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/fast_walk.h"
#include "engine/scanner.h"
#include "lib/options.h"
#include "support/engine_run.h"
#include "support/text_lines.h"

namespace tagpolish {
namespace {

struct WalkCase {
    const char* name;
    std::string text;
    std::vector<std::string> options;
    std::string out;
};

// Whole lines where a run ends next to an edit or a bracket: the result is
// the one the byte-by-byte walk gives.
TEST(FastWalkRuns, EditsBesideARunGiveThePlainWalksResult) {
    const WalkCase cases[] = {
        {"lead byte before '<' hides the tag", "\x81<b\n", {}, "\x81<b\n"},
        {"lead byte before '>' hides the bracket", "<b>\x83></b>\n", {}, "<b>\x83></b>\n"},
        {"katakana right after a run",
         "\x88\x9F\xB6\xDE\xB1\n",
         {"-k"},
         "\x88\x9F\x83\x4B\x83\x41\n"},
        {"katakana and voiced marks inside a run",
         "a\xB6\xDE\xB1\xDE<b>\xB3\xDE\n",
         {"-k"},
         "a\x83\x4B\x83\x41\x81\x4A<b>\x83\x94\n"},
        {"digits right after hiragana",
         "\x82\xA0\x82\x50\x81\x44\x82\x51\n",
         {"-n"},
         "\x82\xA0"
         "1.2\n"},
        {"'-->' ends a comment after a long body",
         "<!-- \x83> x -->\xB1\n",
         {"-k"},
         "<!-- \x83> x -->\x83\x41\n"},
        {"quote closes before the tag's '>'",
         "<a title=\"x>y\" href=\"d/e.htm\">\n",
         {"-u"},
         "<a title=\"x>y\" href=\"e.htm\">\n"},
        {"charset inside a quoted value",
         "<meta content=\"text/html; charset=x\">\n",
         {"-d:h"},
         "<meta content=\"text/html; \">\n"},
        {"case change in a run keeps double-byte characters",
         "<p class=\x83"
         "a id=#x1>\n",
         {"-c"},
         "<P CLASS=\x83"
         "a ID=#x1>\n"},
        {"case change passes quoted values by",
         "<p class=\"ab cd\" id=x>\n",
         {"-c"},
         "<P CLASS=\"ab cd\" ID=x>\n"},
        {"lower case with a bgcolor to remove",
         "<TD ID=A BGCOLOR=red ALIGN=X>\n",
         {"-s", "-d:b"},
         "<td id=A  align=x>\n"},
    };
    for (const WalkCase& c : cases) {
        test::EditRun r = test::edit(c.text, c.options);
        EXPECT_EQ(0, r.result) << c.name << ": " << r.err;
        EXPECT_EQ(c.out, r.out) << c.name;
    }
}

// Random lines made of the bytes and words that the checks look at.
std::vector<std::string> markup_lines(std::size_t count) {
    const char* const words[] = {
        "<",        ">",         "\"",       "'",        "-->",        "<!--",       "-",
        "</style>", "</STYLE ",  "</style",  "<style>",  "</script>",  "<script>",   "<p>",
        "a",        "B",         "href=",    "src=",     "bgcolor=",   "size=3",     "align=",
        "charset=", "Charset=x", "#",        " ",        "\t",         "\r",         "x/y",
        "\x82\x50", "\x82\x60",  "\x82\xA0", "\x88\x9F", "\x83",       "\xB1",       "\xB6\xDE",
        "=",        "/",         "color=",   "Align",    "<!",         "<?",         "< ",
        "<1",       "\f",        "<pre>",    "</PRE\t",  "<textarea>", "</textarea", "<xmp",
    };
    std::mt19937 gen(12);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < count; ++i) {
        std::string line;
        for (std::size_t n = gen() % 24; n > 0; --n) line += words[gen() % std::size(words)];
        lines.push_back(line + (gen() % 4 ? "\n" : ""));
    }
    return lines;
}

// The line with every byte outside printable ASCII as \xNN.
std::string shown(const std::string& line) {
    std::string s;
    for (unsigned char c : line) {
        if (c >= 0x20 && c < 0x7F) {
            s += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            s += hex;
        }
    }
    return s;
}

// The state a line starts in, before any step.
struct Start {
    std::string name;
    std::function<void(EditState&)> set;
};

// Every state inside a tag, as the tag reader names them.
std::vector<Start> tag_starts() {
    const char* const names[] = {"tag name",       "before an attribute", "attribute name",
                                 "after its name", "before a value",      "value",
                                 "caseless value", "double-quoted",       "single-quoted",
                                 "declaration",    "its double quotes",   "its single quotes"};
    static_assert(std::size(names) == tag_read_count);
    std::vector<Start> starts;
    for (std::size_t r = 0; r < tag_read_count; ++r) {
        starts.push_back({names[r], [r](EditState& st) {
                              st.in_tag = 1;
                              st.tag.state = static_cast<TagRead>(r);
                          }});
    }
    return starts;
}

// A state and a line, walked step by step with the plain checks; the state
// after `steps` of them (false when the line ends first, or a removal finds
// no end on it: no line follows).
bool walk_steps(EditState& st, const Start& start, const std::string& line, std::size_t steps) {
    static test::TextLines no_more_lines("");
    start.set(st);
    st.in = &no_more_lines;
    st.line_buf.load(line);
    for (std::size_t k = 0; k < steps; ++k) {
        unsigned char c = st.line_buf.peek();
        if (c == '\n' || c == 0 || !walk_step(st)) return false;
    }
    unsigned char c = st.line_buf.peek();
    return c != '\n' && c != 0;
}

// The run found at every position that the plain walk reaches, in every
// state and under each option set, ends where the plain walk arrives at
// the same state and the same line.
TEST(FastWalkRuns, EndWhereThePlainWalkArrivesInTheSameState) {
    std::vector<Start> starts = {
        {"text", [](EditState&) {}},
        {"comment", [](EditState& st) { st.in_comment = 1; }},
        {"script", [](EditState& st) { st.in_script = 1; }},
        {"style", [](EditState& st) { st.raw_block = BlockKind::style; }},
        {"textarea", [](EditState& st) { st.raw_block = BlockKind::textarea; }},
        {"link tag", [](EditState& st) { st.in_tag = 1, st.tag_kind = TAG_LINK; }},
        {"base tag",
         [](EditState& st) {
             st.in_tag = 1, st.tag_kind = TAG_BASE, st.tag.state = TagRead::before_attr;
         }},
        {"font tag in a table",
         [](EditState& st) {
             st.in_tag = 1, st.tag_kind = TAG_FONT, st.table_depth = 1;
             st.tag.state = TagRead::attr_name;
         }},
    };
    for (Start& start : tag_starts()) starts.push_back(start);
    // No option, each option the walk reads alone (with the one it needs),
    // and a few together.
    std::vector<std::vector<std::string>> option_sets = {
        {}, {"-aj"}, {"-d:bh"}, {"-c", "-d:s"}, {"-uknac", "-d:bh"}};
    for (const OptionRow* row : walk_options()) {
        option_sets.push_back({row->name});
        if (row->needs) option_sets.back().insert(option_sets.back().begin(), row->needs);
    }
    const std::vector<std::string> lines = markup_lines(150);
    // A removal that finds no end on its line says so; that is not tested here.
    testing::internal::CaptureStderr();
    for (const auto& options : option_sets) {
        WalkOptions opt = test::walk_options_of(options);
        opt.i = 1;  // the plain walk then never stops on an error
        const RunTables tables = run_tables(opt);
        for (const std::string& line : lines) {
            for (const Start& start : starts) {
                test::TextSink out;
                for (std::size_t steps = 0;; ++steps) {
                    EditState run, walk;
                    take_options(run, opt);
                    take_options(walk, opt);
                    run.out = walk.out = &out;
                    if (!walk_steps(run, start, line, steps)) break;
                    if (walk_runs(run, tables) == 0) continue;
                    walk_steps(walk, start, line, steps);
                    while (walk.line_buf.pos < run.line_buf.pos) ASSERT_TRUE(walk_step(walk));
                    SCOPED_TRACE(start.name + " line " + shown(line) + " after " +
                                 std::to_string(steps) + " steps");
                    ASSERT_EQ(walk.line_buf.pos, run.line_buf.pos);
                    EXPECT_EQ(walk.line_buf.whole(), run.line_buf.whole());
                    EXPECT_EQ(walk.in_comment, run.in_comment);
                    EXPECT_EQ(walk.in_script, run.in_script);
                    EXPECT_EQ(walk.raw_block, run.raw_block);
                    EXPECT_EQ(walk.in_tag, run.in_tag);
                    EXPECT_EQ(walk.tag.state, run.tag.state);
                    EXPECT_EQ(walk.tag.name_at, run.tag.name_at);
                    EXPECT_EQ(walk.tag.name_size, run.tag.name_size);
                    EXPECT_EQ(walk.tag.name_unread, run.tag.name_unread);
                    EXPECT_EQ(walk.tag.caseless, run.tag.caseless);
                    EXPECT_EQ(walk.tag_kind, run.tag_kind);
                    EXPECT_EQ(walk.tag_opens, run.tag_opens);
                    EXPECT_EQ(walk.in_pre, run.in_pre);
                    EXPECT_EQ(walk.table_depth, run.table_depth);
                }
            }
        }
    }
    testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace tagpolish

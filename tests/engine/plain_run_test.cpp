#include "engine/plain_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "driver/options.h"
#include "driver/output.h"
#include "support/engine_run.h"

namespace tagpolish {
namespace {

enum class Where { text, comment, script, style, quoted, tag, link_tag };

struct RunCase {
    const char* name;
    Where where;
    std::string line;
    std::size_t run;
    int* flag = nullptr;  // one option flag set for this case
};

// The run stops on every byte that a check may act on, and pairs double-byte
// characters only where the walk does.
TEST(PlainRun, StopsWhereACheckMayAct) {
    const RunCase cases[] = {
        {"text up to a tag", Where::text, "abc<p>", 3},
        {"text up to a stray '>'", Where::text, "ab>", 2},
        {"text up to a '-' that may begin '-->'", Where::text, "a-b", 1},
        {"text up to the newline", Where::text, "ab\n", 2},
        {"a lead byte takes the '>' after it", Where::text, "\x83>x<", 3},
        {"a lead byte takes the newline after it", Where::text, "a\x83\n", 3},
        {"a lead byte at the end is left to the checks", Where::text, "ab\x83", 2},
        {"long Japanese text up to a tag", Where::text, std::string(20, '\x88') + "<", 20},
        {"a lead byte in a long run takes the '<' after it", Where::text,
         "\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x81<ab>", 12},
        {"second bytes in the lead range pair up", Where::text,
         "\x88\x9F\x88\x9F\x88\x9F\x88\x9F\x88\x9F<", 10},
        {"an odd lead byte before '<' takes it", Where::text,
         "\x88\x9F\x88\x9F\x88\x9F\x88\x9F\x88<x>", 11},
        {"a lone lead byte at the end of a long run", Where::text,
         "\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82", 8},
        {"half-width katakana pass without -k", Where::text, "a\xB1\xDE<", 3},
        {"half-width katakana stop with -k", Where::text, "a\xB1\xDE<", 1, &opt_k},
        {"hiragana pass with -n", Where::text, "\x82\xA0\x82\x4F", 2, &opt_n},
        {"full-width digits pass without -n", Where::text, "\x82\xA0\x82\x4F", 4},
        {"full-width letters stop with -a", Where::text, "\x82\x60", 0, &opt_a},
        {"comment bytes go one by one", Where::comment, "a>\x83-->", 3},
        {"comment up to a '<'", Where::comment, "\x83<!--", 1},
        {"script up to a '-' or '<'", Where::script, "a > b-c<", 5},
        {"style up to a '<'", Where::style, "a > b-->'\"{}</style>", 12},
        {"style up to the newline", Where::style, "p {\x83}\n", 5},
        {"style stops on '<' alone", Where::style, "<b>", 0},
        {"quoted value up to its quote", Where::quoted, "a>\x83\"b", 3},
        {"quoted value up to a 'c' with -d:h", Where::quoted, "aCharset=x\"", 1, &del_h},
        {"quoted value passes a 'c' that begins no charset", Where::quoted, "acme c\"", 6, &del_h},
        {"tag up to its '>'", Where::tag, "width=2>", 7},
        {"tag up to a fragment", Where::tag, "a#b", 1},
        {"tag run takes a whole quoted value", Where::tag, "a=\"x>y\" b>", 9},
        {"tag run from a quote at the cursor", Where::tag, "'v' x>", 5},
        {"tag run stops at a value that holds a '<'", Where::tag, "a=\"x<y\">", 2},
        {"tag run stops at a value that stays open", Where::tag, "a='xy", 2},
        {"tag run takes a whole quoted value under -d:h", Where::tag, "a=\"x\">", 5, &del_h},
        {"tag run stops at a quoted value holding charset", Where::tag, "c=\"a; charset=x\">", 2,
         &del_h},
        {"tag with -c runs too", Where::tag, "width=2>", 7, &opt_c},
        {"tag with -d:b up to a letter that may begin bgcolor", Where::tag, "id=2 Bg", 5, &del_b},
        {"tag with -d:b passes letters that begin no attribute", Where::tag, "bold=1 Sb>", 9,
         &del_b},
        {"a letter at the end of the line begins no attribute", Where::tag, "id=2 B", 6, &del_b},
        {"link tag up to a letter that may begin href", Where::link_tag, "title=x href=a/b>", 8,
         &opt_u},
        {"a letter after a lead byte belongs to its character", Where::link_tag, "\x83s", 2,
         &opt_u},
    };
    for (const RunCase& c : cases) {
        reset_options();
        if (c.flag) *c.flag = 1;
        EditState st;
        st.in_comment = c.where == Where::comment;
        st.in_script = c.where == Where::script;
        st.in_style = c.where == Where::style;
        st.in_tag = c.where == Where::quoted || c.where == Where::tag || c.where == Where::link_tag;
        st.quote_chr = c.where == Where::quoted ? '"' : 0;
        st.tag_kind = c.where == Where::link_tag ? TAG_LINK : TAG_NONE;
        st.line_buf.load(c.line);
        EXPECT_EQ(c.run, plain_run(st, run_tables())) << c.name;
    }
    reset_options();
}

struct WalkCase {
    const char* name;
    std::string text;
    std::vector<std::string> options;
    std::string out;
};

// Whole lines where a run ends next to an edit or a bracket: the result is
// the one the byte-by-byte walk gives.
TEST(PlainRun, WalkKeepsItsResults) {
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
         "<P CLASS=\"ab cd\" ID=X>\n"},
        {"lower case with a bgcolor to remove",
         "<TD ID=A BGCOLOR=red ALIGN=X>\n",
         {"-s", "-d:b"},
         "<td id=a  align=x>\n"},
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
        "<",        ">",         "\"",       "'",        "-->",       "<!--",     "-",
        "</style>", "</STYLE ",  "</style",  "<style>",  "</script>", "<script>", "<p>",
        "a",        "B",         "href=",    "src=",     "bgcolor=",  "size=3",   "align=",
        "charset=", "Charset=x", "#",        " ",        "\t",        "\r",       "x/y",
        "\x82\x50", "\x82\x60",  "\x82\xA0", "\x88\x9F", "\x83",      "\xB1",     "\xB6\xDE",
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
    const char* name;
    void (*set)(EditState&);
};

// A state and a line, walked step by step with the plain checks; the state
// after `steps` of them (false when the line ends first).
bool walk_steps(EditState& st, const Start& start, const std::string& line, std::size_t steps) {
    start.set(st);
    st.line_buf.load(line);
    for (std::size_t k = 0; k < steps; ++k) {
        unsigned char c = st.line_buf.peek();
        if (c == '\n' || c == 0) return false;
        EXPECT_TRUE(walk_step(st));
    }
    unsigned char c = st.line_buf.peek();
    return c != '\n' && c != 0;
}

// The run found at every position that the plain walk reaches, in every
// state and under each option set, ends where the plain walk arrives at
// the same state and the same line.
TEST(PlainRun, AgreesWithThePlainWalk) {
    const Start starts[] = {
        {"text", [](EditState&) {}},
        {"comment", [](EditState& st) { st.in_comment = 1; }},
        {"script", [](EditState& st) { st.in_script = 1; }},
        {"style", [](EditState& st) { st.in_style = 1; }},
        {"tag", [](EditState& st) { st.in_tag = 1; }},
        {"quoted", [](EditState& st) { st.in_tag = 1, st.quote_chr = '"'; }},
        {"link tag", [](EditState& st) { st.in_tag = 1, st.tag_kind = TAG_LINK; }},
        {"base tag", [](EditState& st) { st.in_tag = 1, st.tag_kind = TAG_BASE; }},
        {"font tag in a table",
         [](EditState& st) { st.in_tag = 1, st.tag_kind = TAG_FONT, st.table_depth = 1; }},
    };
    const std::vector<std::vector<int*>> option_sets = {
        {},
        {&opt_c},
        {&opt_s},
        {&opt_k},
        {&opt_n},
        {&opt_a, &opt_j},
        {&opt_u},
        {&del_b, &del_h},
        {&del_l},
        {&del_s, &opt_c},
        {&opt_u, &opt_k, &opt_n, &opt_a, &opt_c, &del_b, &del_h}};
    const std::vector<std::string> lines = markup_lines(150);
    for (const auto& options : option_sets) {
        reset_options();
        opt_i = 1;  // the plain walk then never stops on an error
        for (int* flag : options) *flag = flag == &opt_u ? 4 : 1;
        const RunTables tables = run_tables();
        for (const std::string& line : lines) {
            for (const Start& start : starts) {
                StringSink out;
                for (std::size_t steps = 0;; ++steps) {
                    EditState run, walk;
                    run.out = walk.out = &out;
                    if (!walk_steps(run, start, line, steps)) break;
                    std::size_t n = plain_run(run, tables);
                    if (n == 0) continue;
                    walk_run(run, tables, n);
                    walk_steps(walk, start, line, steps);
                    while (walk.line_buf.pos < run.line_buf.pos) ASSERT_TRUE(walk_step(walk));
                    SCOPED_TRACE(std::string(start.name) + " line " + shown(line) + " after " +
                                 std::to_string(steps) + " steps");
                    ASSERT_EQ(walk.line_buf.pos, run.line_buf.pos);
                    EXPECT_EQ(walk.line_buf.whole(), run.line_buf.whole());
                    EXPECT_EQ(walk.in_comment, run.in_comment);
                    EXPECT_EQ(walk.in_script, run.in_script);
                    EXPECT_EQ(walk.in_style, run.in_style);
                    EXPECT_EQ(walk.in_tag, run.in_tag);
                    EXPECT_EQ(walk.quote_chr, run.quote_chr);
                    EXPECT_EQ(walk.tag_kind, run.tag_kind);
                    EXPECT_EQ(walk.tag_opens, run.tag_opens);
                    EXPECT_EQ(walk.in_pre, run.in_pre);
                    EXPECT_EQ(walk.table_depth, run.table_depth);
                }
            }
        }
    }
    reset_options();
}

}  // namespace
}  // namespace tagpolish

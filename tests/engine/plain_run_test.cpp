#include "engine/plain_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/options.h"
#include "support/engine_run.h"

namespace tagpolish {
namespace {

enum class Where { text, comment, quoted, tag, link_tag };

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

}  // namespace
}  // namespace tagpolish

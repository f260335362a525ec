// The counts that --report gives come from the edits as they act: each
// edit counts what it changed, in the plain and in the fast walk alike,
// and nothing it declines; what -u passes over as asked is counted apart.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/site/listing.h"
#include "lib/options.h"
#include "support/engine_run.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

struct CountCase {
    std::vector<std::string> options;
    std::string input;
    std::string report;  // the page's report line
};

// One case at least for every option that edits: a new letter without its
// row here fails Report.EveryEditingOptionHasACaseWhereItActs.
const std::vector<CountCase>& count_cases() {
    static const std::vector<CountCase> cases = {
        {{"-d:f"}, "<font color=red>a</font><FONT>b</FONT><p>\n", "page.htm: font tags 4"},
        {{"-d:aio"},
         "<a href=\"x\">l</a><abbr>y</abbr><img src=y><bgsound src=z>\n",
         "page.htm: link tags 2, image tags 1, bgsound tags 1"},
        {{"-d:c"}, "<!-- a -->x<!--\nb\n--><script><!-- s --></script>\n", "page.htm: comments 2"},
        {{"-d:bshl"},
         "<body bgcolor=red><table align=center><tr valign=top><td>"
         "<font size=3 color=red>x</font></td></tr></table><p align=left>\n"
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n",
         "page.htm: bgcolor attributes 1, font sizes 1, table alignments 2, charset settings 1"},
        // A separator between full-width digits is converted with them.
        {{"-n", "-a"}, sjis("１２．５ＡＢ、あ\n"), "page.htm: full-width characters 6"},
        // A sound mark goes with its katakana into one character; none in
        // a comment or a tag is converted.
        {{"-k"}, sjis("ｶﾞﾊﾟｱ<!--ｱ--><p title=ｱ>\n"), "page.htm: half-width katakana 3"},
        {{"-s"}, "<P ALIGN=left>Text</P>\n", "page.htm: letters cased 7"},
        {{"-c"}, "<p>x</p><B>y</B>\n", "page.htm: letters cased 2"},
        {{"-j"}, "a\nb\n<br>\nc\n", "page.htm: lines joined 3"},
        {{"-u"},
         "<a href=\"../x/y.htm\"><a href=\"./\"><img src=z.gif>"
         "<base href=\"http://h/d/\">\n",
         "page.htm: links flattened 1, base references 1"},
        // A reference to another site that flattening would leave as it
        // is is not counted as passed over.
        {{"-u"},
         "<a href=\"x/y.htm\"><a href=\"http://h/d/e.htm\"><a href=\"mailto:m@h\">\n",
         "page.htm: links flattened 1, off-site links passed over 1"},
        {{"-u", "--flatten-offsite"},
         "<a href=\"x/y.htm\"><img src=\"//h/d/e.gif\">\n",
         "page.htm: links flattened 2"},
        {{"-d:f"}, "<p>nothing to do</p>\n", "page.htm: no edits"},
    };
    return cases;
}

TEST(Report, EachEditCountsWhatItChanged) {
    for (const Walk& walk : every_walk()) {
        SCOPED_TRACE(walk.name);
        WalkWith with(walk);
        for (const CountCase& c : count_cases()) {
            SCOPED_TRACE(c.input);
            const EditRun run = edit(c.input, c.options);
            ASSERT_EQ(0, run.result) << run.err;
            EXPECT_EQ(c.report, report_line("page.htm", run.counts));
        }
    }
}

// The options of a case without one option ("-d:aio" without -d:i is
// "-d:ao"), and without those that work only with it; empty when the case
// does not give it.
std::vector<std::string> without(const std::vector<std::string>& options, const OptionRow& row) {
    const std::string cluster = row.form == OptionForm::delete_letter ? "-d:" : "-";
    std::vector<std::string> left;
    bool found = false;
    for (std::string arg : options) {
        const OptionRow* named = nullptr;
        for (const OptionRow& r : option_rows)
            if (arg == r.name && r.form == OptionForm::word) named = &r;
        if (named != nullptr) {
            found = found || named == &row;
            if (named != &row &&
                (named->needs == nullptr || row.name != std::string_view(named->needs)))
                left.push_back(arg);
            continue;
        }
        const bool same_form = row.form != OptionForm::word && arg.starts_with(cluster) &&
                               (cluster == "-d:") == (arg[1] == 'd');
        const std::size_t at = same_form ? arg.find(row.letter(), cluster.size()) : arg.npos;
        if (at != arg.npos) arg.erase(at, 1), found = true;
        left.push_back(arg);
    }
    return found ? left : std::vector<std::string>{};
}

// Every option in the table of options that edits the text has a case
// above, and taking its letter away changes the case's report.
TEST(Report, EveryEditingOptionHasACaseWhereItActs) {
    for (const OptionRow& row : option_rows) {
        if (row.role != OptionRole::edit) continue;
        bool acts = false, given = false;
        for (const CountCase& c : count_cases()) {
            const std::vector<std::string> left = without(c.options, row);
            if (left.empty()) continue;
            given = true;
            const EditRun with = edit(c.input, c.options), less = edit(c.input, left);
            acts = acts ||
                   report_line("page.htm", with.counts) != report_line("page.htm", less.counts);
        }
        EXPECT_TRUE(given) << row.name << " has no case in EachEditCountsWhatItChanged";
        EXPECT_TRUE(acts) << row.name << ": no case where it acts";
    }
}

}  // namespace
}  // namespace tagpolish::test

// The counts that --report gives come from the edits as they act: each
// edit counts what it changed, in the plain and in the fast walk alike,
// and nothing it passes over or declines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/listing.h"
#include "support/engine_run.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

struct CountCase {
    std::vector<std::string> options;
    std::string input;
    std::string report;  // the page's report line
};

TEST(Report, EachEditCountsWhatItChanged) {
    const std::vector<CountCase> cases = {
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
        {{"-d:f"}, "<p>nothing to do</p>\n", "page.htm:"},
    };
    for (const Walk& walk : every_walk()) {
        SCOPED_TRACE(walk.name);
        WalkWith with(walk);
        for (const CountCase& c : cases) {
            SCOPED_TRACE(c.input);
            const EditRun run = edit(c.input, c.options);
            ASSERT_EQ(0, run.result) << run.err;
            EXPECT_EQ(c.report, report_line("page.htm", run.counts));
        }
    }
}

}  // namespace
}  // namespace tagpolish::test

#include "support/engine_run.h"

#include <gtest/gtest.h>

#include "driver/line_source.h"
#include "driver/options.h"
#include "driver/output.h"
#include "engine/scanner.h"
#include "lib/namelist.h"

namespace tagpolish::test {

EditRun edit(std::string_view text, const std::vector<std::string>& options) {
    reset_options();
    std::vector<std::string> args{"tagpolish"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("page.htm");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    parse_options(static_cast<int>(argv.size()), argv.data());
    name_lst_dup_check = 0;

    load_text(text);
    EditRun run;
    StringSink sink;
    testing::internal::CaptureStderr();
    StoredLines lines;
    run.result = edit_html("page.htm", run.error_line, lines, sink);
    run.err = testing::internal::GetCapturedStderr();
    run.out = sink.text;
    get_line(-1, 0);
    return run;
}

void expect_edits(const std::vector<EditCase>& cases) {
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.input);
        EditRun run = edit(c.input, c.options);
        EXPECT_EQ(0, run.result);
        EXPECT_EQ("", run.err);
        EXPECT_EQ(c.expected, run.out);
    }
}

}  // namespace tagpolish::test

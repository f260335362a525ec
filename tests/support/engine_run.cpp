#include "support/engine_run.h"

#include <gtest/gtest.h>

#include "driver/options.h"
#include "engine/fast_walk.h"
#include "engine/scanner.h"
#include "support/text_lines.h"

namespace tagpolish::test {

void use_options(const std::vector<std::string>& options) {
    reset_options();
    std::vector<std::string> args{"tagpolish"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("page.htm");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    parse_options(static_cast<int>(argv.size()), argv.data());
}

EditRun edit(std::string_view text, const std::vector<std::string>& options) {
    use_options(options);
    TextLines lines(text);
    EditRun run;
    TextSink sink;
    testing::internal::CaptureStderr();
    run.result = edit_html("page.htm", run.error_line, lines, sink, &run.counts);
    run.err = testing::internal::GetCapturedStderr();
    run.out = sink.text;
    return run;
}

std::vector<Walk> every_walk() {
    std::vector<Walk> all{{"plain walk", false, BlockSearch::portable}};
    for (BlockSearch s : block_searches())
        all.push_back({std::string("fast walk, ") + block_search_name(s), true, s});
    return all;
}

WalkWith::WalkWith(const Walk& walk) {
    set_fast_walk(walk.fast);
    use_block_search(walk.search);
}

WalkWith::~WalkWith() {
    set_fast_walk(true);
    use_block_search(block_searches().back());
}

void expect_edits(const std::vector<EditCase>& cases) {
    for (const Walk& walk : every_walk()) {
        SCOPED_TRACE(walk.name);
        WalkWith with(walk);
        for (const EditCase& c : cases) {
            SCOPED_TRACE(c.input);
            EditRun run = edit(c.input, c.options);
            EXPECT_EQ(0, run.result);
            EXPECT_EQ("", run.err);
            EXPECT_EQ(c.expected, run.out);
        }
    }
}

}  // namespace tagpolish::test

#include "support/engine_run.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "driver/command_line/options.h"
#include "engine/fast_walk.h"
#include "engine/scanner.h"
#include "lib/options.h"
#include "support/text_lines.h"

namespace tagpolish::test {

namespace {

// Sets the walk option of the row named name in o.
void set_named(WalkOptions& o, const std::string& name) {
    const OptionRow* row = find_row(name);
    if (row == nullptr || row->walk == nullptr) {
        ADD_FAILURE() << name << ": not an option of the walk";
        return;
    }
    set_option(o, *row);
}

// The line that a message "page.htm:LINE:..." names, or 0.
std::int64_t line_named(const std::string& err) {
    const std::string head = "page.htm:";
    if (!err.starts_with(head)) return 0;
    return std::strtoll(err.c_str() + head.size(), nullptr, 10);
}

}  // namespace

void use_options(const std::vector<std::string>& options) {
    reset_options();
    std::vector<std::string> args{"tagpolish"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("page.htm");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    parse_options(static_cast<int>(argv.size()), argv.data());
}

WalkOptions walk_options_of(const std::vector<std::string>& options) {
    WalkOptions o;
    for (const std::string& arg : options) {
        if (arg.starts_with("--")) {
            set_named(o, arg);
            continue;
        }
        const bool deletes = arg.starts_with("-d:");
        for (std::size_t i = deletes ? 3 : 1; i < arg.size(); ++i)
            set_named(o, (deletes ? "-d:" : "-") + arg.substr(i, 1));
    }
    return o;
}

EditRun edit(std::string_view text, const std::vector<std::string>& options) {
    TextLines lines(text);
    EditRun run;
    TextSink sink;
    testing::internal::CaptureStderr();
    run.result = edit_html(walk_options_of(options), "page.htm", lines, sink, &run.counts);
    run.err = testing::internal::GetCapturedStderr();
    run.out = sink.text;
    run.error_line = line_named(run.err);
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

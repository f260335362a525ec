// Runs the editing engine in-process over a text, as the program would.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/block_search.h"
#include "engine/edits.h"
#include "lib/walk_options.h"

namespace tagpolish::test {

// What one engine run produced.
struct EditRun {
    std::string out;              // everything handed to the output sink
    std::string err;              // what went to standard error
    int result = 0;               // edit_html's result: 0 or -2
    std::int64_t error_line = 0;  // the line its first message names (0: none)
    EditCounts counts{};          // the acts of each edit, when it succeeded
};

// One input edited with some options, and the text that must come out.
struct EditCase {
    std::vector<std::string> options;
    std::string input;
    std::string expected;
};

// Edits each case's input with the plain walk and with the fast walk and
// each block search (every_walk); expects its output, a result of 0 and no
// message from each.
void expect_edits(const std::vector<EditCase>& cases);

// One way to walk a page: the plain walk, which takes every byte through
// the checks, or the fast walk with one block search.
struct Walk {
    std::string name;
    bool fast;
    BlockSearch search;
};

// The plain walk, then the fast walk with each block search this machine
// runs.
std::vector<Walk> every_walk();

// Walks with `walk` while it lives, then as the program does again.
class WalkWith {
  public:
    explicit WalkWith(const Walk& walk);
    ~WalkWith();
    WalkWith(const WalkWith&) = delete;
    WalkWith& operator=(const WalkWith&) = delete;
};

// Sets the command line's record from options given as command-line
// arguments, as the program's start does; every flag is cleared first.
void use_options(const std::vector<std::string>& options);

// The walk's options that the command-line arguments give (for example
// {"-kn", "-d:f"}), made from the table of options; an argument that is
// none of the walk's options fails the test.
WalkOptions walk_options_of(const std::vector<std::string>& options);

// Loads text as an input and edits it with the options given as
// command-line arguments (for example {"-kn", "-d:f"}).
EditRun edit(std::string_view text, const std::vector<std::string>& options = {});

}  // namespace tagpolish::test

// Runs the editing engine in-process over a text, as the program would.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tagpolish::test {

// What one engine run produced.
struct EditRun {
    std::string out;              // everything handed to the output sink
    std::string err;              // what went to standard error
    int result = 0;               // edit_html's result: 0 or -2
    std::int64_t error_line = 0;  // the line count it reported, when it failed
};

// One input edited with some options, and the text that must come out.
struct EditCase {
    std::vector<std::string> options;
    std::string input;
    std::string expected;
};

// Edits each case's input; expects its output, a result of 0 and no message.
void expect_edits(const std::vector<EditCase>& cases);

// Sets the options given as command-line arguments (for example {"-kn",
// "-d:f"}); every flag is cleared first.
void use_options(const std::vector<std::string>& options);

// Loads text as an input, sets the options given as command-line arguments
// (for example {"-kn", "-d:f"}; every flag is cleared first) and edits it.
EditRun edit(std::string_view text, const std::vector<std::string>& options = {});

}  // namespace tagpolish::test

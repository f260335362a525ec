// The markup errors as the program words them, for the tests that expect
// them: the first line names the place and quotes its line, the lines
// after it give the reason and what to do.
#pragma once

#include <cstdint>
#include <string>

namespace tagpolish::test {

inline const std::string lt_open_lines =
    " ... '<' does not close.\n"
    " ... add the '>' that the tag before it lacks, write &lt; for a '<' in text, or run with -i "
    "to edit the page as it is\n";
inline const std::string removed_open_lines =
    " ... '<' does not close.\n"
    " ... add the '>' that ends this tag (-i does not help: the tag to remove would run to the "
    "end of the page)\n";
inline const std::string gt_alone_lines =
    " ... '>' does not correspond with '<'.\n"
    " ... write &gt; for a '>' in text, or run with -i to edit the page as it is\n";
inline const std::string comment_open_lines =
    " ... <comment> does not close.\n"
    " ... add the '-->' that ends this comment, or run without -d:c (-i does not help: the "
    "comment would run to the end of the page)\n";
inline const std::string lt_unmatch_lines =
    " ... '<' unmatch to '>'\n"
    " ... add the '>' that ends this tag, or run with -i to edit the page as it is\n";

// A whole markup error: "path:line:column: quoted" and the lines of its kind.
inline std::string markup_text(const std::string& path, std::int64_t line, std::int64_t column,
                               const std::string& quoted, const std::string& lines) {
    return path + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + quoted + "\n" +
           lines;
}

}  // namespace tagpolish::test

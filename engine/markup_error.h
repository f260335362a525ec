// Markup errors: where one stands in the page, the line it quotes, and the
// messages, each with what to do about it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "lib/diag.h"

namespace tagpolish {

struct EditState;

// A place in the page: a line (from 1) and a byte of it (from 1), as the
// file has them. In Shift_JIS a byte is a half-width column, as the
// editors of such pages count columns.
struct PagePlace {
    std::int64_t line = 0;
    std::int64_t column = 0;
};

// The start of a line as the file has it, without its line end: as much as
// a message can show, kept for a message about a place the walk has left.
struct LineQuote {
    std::int64_t line = 0;  // the line it is of (0: none)
    std::string text;

    // Keeps line line_no, whose bytes the source handed out as source_line.
    void take(std::int64_t line_no, std::string_view source_line);
};

// The formats: path, line, column, the quoted line; then the reason, in
// words that scripts may look for, and what to do.
using MarkupFormat = MsgFormat<const char*, std::int64_t, std::int64_t, PageText>;
// A "<" that opens a tag while another tag is open.
inline constexpr MarkupFormat msg_lt_open =
    "%s:%d:%d: %s\n ... '<' does not close.\n"
    " ... add the '>' that the tag before it lacks, write &lt; for a '<' in text,"
    " or run with -i to edit the page as it is\n";
// A tag to remove that has no ">" before the end of the input.
inline constexpr MarkupFormat msg_removed_open =
    "%s:%d:%d: %s\n ... '<' does not close.\n"
    " ... add the '>' that ends this tag (-i does not help: the tag to remove"
    " would run to the end of the page)\n";
inline constexpr MarkupFormat msg_gt_alone =
    "%s:%d:%d: %s\n ... '>' does not correspond with '<'.\n"
    " ... write &gt; for a '>' in text, or run with -i to edit the page as it is\n";
// A comment to remove that has no "-->" before the end of the input.
inline constexpr MarkupFormat msg_comment_open =
    "%s:%d:%d: %s\n ... <comment> does not close.\n"
    " ... add the '-->' that ends this comment, or run without -d:c (-i does not"
    " help: the comment would run to the end of the page)\n";
// The input ends inside a tag.
inline constexpr MarkupFormat msg_lt_unmatch =
    "%s:%d:%d: %s\n ... '<' unmatch to '>'\n"
    " ... add the '>' that ends this tag, or run with -i to edit the page as it is\n";

// Reports a markup error at place at, quoting its line from quote (when it
// holds that line). The lines already finished go out first.
void markup_error(const EditState& st, MarkupFormat fmt, PagePlace at, const LineQuote& quote);

// Reports a markup error at place at of the line being walked.
void markup_error(const EditState& st, MarkupFormat fmt, PagePlace at);

// Where the cursor stands in the line being walked.
PagePlace cursor_place(const EditState& st);

// Where the walk leaves a line inside a tag that began on it: keeps the
// line for a message about the tag.
void quote_open_tag(EditState& st);

}  // namespace tagpolish

// The markup scanner: walks every line of the current input, tracks where it
// stands in the markup, applies the selected edits and checks the brackets.
#pragma once

#include <cstdint>

#include "engine/edit_state.h"
#include "engine/edits.h"
#include "engine/line_io.h"
#include "lib/diag.h"

namespace tagpolish {

// Edits the lines of in into out. Returns 0, or -2 after a markup error
// (reported, with error_line set to the line count). counts, when given,
// receives how many times each edit acted.
int edit_html(const char* path, std::int64_t& error_line, LineSource& in, OutputSink& out,
              EditCounts* counts = nullptr);

// The markup error formats: path, line number, the working line.
using MarkupFormat = MsgFormat<const char*, std::int64_t, PageText>;
inline constexpr MarkupFormat msg_lt_open = "%s:%d: %s\n ... '<' does not close.\n";
inline constexpr MarkupFormat msg_gt_alone = "%s:%d: %s\n ... '>' does not correspond with '<'.\n";
inline constexpr MarkupFormat msg_comment_open = "%s:%d: %s\n ... <comment> does not close.\n";

// Reports a markup error about the working line, naming line line_no.
void markup_error(const EditState& st, std::int64_t line_no, MarkupFormat fmt);

// One step of the walk at the cursor: the checks in their order. Returns
// false after a markup error (reported).
bool walk_step(EditState& st);

}  // namespace tagpolish

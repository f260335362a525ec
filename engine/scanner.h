// The markup scanner: walks every line of the current input, tracks where it
// stands in the markup, applies the selected edits and checks the brackets.
#pragma once

#include <cstdint>

#include "engine/edit_state.h"
#include "engine/edits.h"
#include "engine/line_io.h"
#include "engine/markup_error.h"
#include "lib/walk_options.h"

namespace tagpolish {

// Edits the lines of in into out as opt asks. Returns 0, or -2 after a
// markup error (reported). counts, when given, receives how many times each
// edit acted.
int edit_html(const WalkOptions& opt, const char* path, LineSource& in, OutputSink& out,
              EditCounts* counts = nullptr);

// One step of the walk at the cursor: the checks in their order. Returns
// false after a markup error (reported).
bool walk_step(EditState& st);

}  // namespace tagpolish

// Line joining (-j): text lines that do not end in ">" lose their newline,
// and a line that begins with a paragraph tag starts a new output line.
#pragma once

#include "engine/edit_state.h"

namespace tagpolish {

// At the first byte of a line: when it begins with a paragraph tag, puts out
// a newline if the text before needs one and walks over the tag and the
// blanks after it. Returns whether it applied.
bool paragraph_rule(EditState& st);

// After the walk of a line: keeps or drops its newline and sets nl_kept_flg.
void newline_rule(EditState& st);

}  // namespace tagpolish

// Line joining (-j): text lines that do not end in ">" lose their newline,
// with a blank in its place between two ASCII words, and a line that
// begins with a paragraph tag starts a new output line.
#pragma once

#include "engine/edit_state.h"

namespace tagpolish {

// At a "<" that opens a tag on the first byte of a line: when it begins a
// paragraph tag, puts out a newline if the text before needs one. The tag
// is then read as any other.
void paragraph_rule(EditState& st);

// Puts out the blank that the line joined before this one owes, when this
// one (as edited) begins with the byte first and that is ASCII text too.
// Called before anything of the line goes out.
void put_owed_blank(EditState& st, unsigned char first);

// After the walk of a line: puts out the blank that the line joined before
// it owes when this one begins with ASCII text, then keeps or drops its
// newline and sets nl_kept_flg.
void newline_rule(EditState& st);

}  // namespace tagpolish

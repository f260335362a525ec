// The steps of the walk in and at tags, which the scanner takes when its
// checks (engine/checks.h, Check) find a tag's bytes at the cursor.
#pragma once

#include "engine/edit_state.h"

namespace tagpolish {

// A step's outcome: go on walking, or stop the input after a markup error.
enum class Step { next, error };

// Reads byte c at the cursor into the open tag.
inline void read_tag(EditState& st, unsigned char c) {
    st.tag.read(c, st.line_buf, st.opt.c || st.opt.s);
}

// Check::quoted_value: quoted values, the quotes that open and close them,
// and the attribute edits that also act inside them. Returns true when the
// step is over.
bool quoted_value_step(EditState& st, unsigned char c);

// Check::tag_open: a "<" before a letter, "/", "!" or "?" opens a tag,
// which a tag removal may take out whole.
Step open_tag(EditState& st);

// Check::tag_byte: any other byte of a tag, outside quoted values: the
// attribute edits that act there, in their order, or else the byte walked.
void tag_byte_step(EditState& st, unsigned char c);

}  // namespace tagpolish

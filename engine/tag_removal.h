// Removal of whole constructs: link, image, font and background-sound tags
// (-d:a -d:i -d:f -d:o) and comments (-d:c).
#pragma once

#include "engine/edit_state.h"

namespace tagpolish {

// Removes the comment whose "<!--" is at the cursor, through the next
// "-->", pulling in further lines while it runs on. False when the input
// ends first (reported).
bool remove_comment(EditState& st);

// What a removal at a tag's "<" did: nothing (no option asks for the tag,
// or it stays as it stands, see remove_tag_at), removed it, or refused the
// page (reported).
enum class Removal { none, removed, refused };

// At a "<" that opens a tag: removes the tag when an option asks for it,
// through its ">", pulling in further lines while it runs on. A tag to
// remove that lacks its ">" where the walk would find it, at a "<" that
// opens another tag inside it, refuses the page there; under -i it stays as
// it stands, to be walked as any tag (the walk goes back to its "<"). A tag
// that runs to the end of the input refuses the page, under -i too.
Removal remove_tag_at(EditState& st);

}  // namespace tagpolish

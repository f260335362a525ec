// Removal of whole constructs: link, image, font and background-sound tags
// (-d:a -d:i -d:f -d:o) and comments (-d:c).
#pragma once

#include <cstdint>

#include "engine/edit_state.h"

namespace tagpolish {

// Removes the tag whose "<" is at the cursor, through its ">", pulling in
// further lines of in while it runs on. Returns the new line count, or -1
// when the input ends first.
std::int64_t remove_tag(std::int64_t line_no, LineBuf& line, LineSource& in);

// Removes from the cursor (where "<!--" stood) through the next "-->",
// across lines of in. Returns the new line count, or -1 when the input ends
// first.
std::int64_t remove_comment(std::int64_t line_no, LineBuf& line, LineSource& in);

// What a removal at a tag's "<" did.
enum class Removal { none, removed, unclosed };

// At a "<" that opens a tag: removes the tag when an option asks for it.
// After an unclosed tag the working line shows what was searched.
Removal remove_tag_at(EditState& st);

}  // namespace tagpolish

// Removal of single attributes inside tags: bgcolor (-d:b), the size of
// font tags (-d:s), align and valign inside tables (-d:l), charset (-d:h).
#pragma once

#include <cstddef>

#include "engine/line_buf.h"
#include "lib/walk_options.h"

namespace tagpolish {

// What an attribute edit did at the cursor.
enum class AttrEdit {
    not_here,     // its name does not stand at the cursor
    declined,     // it does not apply; the cursor's byte is walked as usual
    changed,      // it changed the text ahead; the cursor's byte is walked as usual
    passed_over,  // it would change the text but is asked not to; walked as declined
    removed,      // text was cut out; the cursor's byte must be examined afresh
};

// Each edit is called where its attribute name (with its "="), of `name`
// bytes, stands at the cursor; the table of attribute edits (engine/checks)
// finds the name and checks the tag.

// A "charset=" setting: always removed.
AttrEdit remove_charset(LineBuf& line, const WalkOptions&, std::size_t name);

// "bgcolor=".
AttrEdit remove_bgcolor(LineBuf& line, const WalkOptions&, std::size_t name);

// "size=" of a font tag.
AttrEdit remove_size(LineBuf& line, const WalkOptions&, std::size_t name);

// "valign=" or "align=" inside a table.
AttrEdit remove_align(LineBuf& line, const WalkOptions&, std::size_t name);

}  // namespace tagpolish

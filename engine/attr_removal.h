// Removal of single attributes inside tags: bgcolor (-d:b), the size of
// font tags (-d:s), align and valign inside tables (-d:l), charset (-d:h).
#pragma once

#include "engine/line_buf.h"

namespace tagpolish {

// What an attribute edit did at the cursor.
enum class AttrEdit {
    not_here,  // its name does not stand at the cursor
    walk_on,   // it acted or declined; the cursor's byte is walked as usual
    removed,   // text was cut out; the cursor's byte must be examined afresh
};

// Removes a "charset=" setting at the cursor. Returns whether it did.
bool remove_charset(LineBuf& line);

// "bgcolor=" at the cursor.
AttrEdit remove_bgcolor(LineBuf& line);

// "size=" at the cursor (the caller checks that the tag is a font tag).
AttrEdit remove_size(LineBuf& line);

// "valign=" or "align=" at the cursor (the caller checks the table depth).
AttrEdit remove_align(LineBuf& line);

}  // namespace tagpolish

// Link flattening (-u): references into the document's own directory.
#pragma once

#include "engine/line_buf.h"
#include "engine/attr_removal.h"

namespace tagpolish {

// "src=", "href=" or "background=" at the cursor: cuts the value's path
// down to its last part. The cursor stays on the attribute name.
AttrEdit flatten_reference(LineBuf& line);

// A quoted "href=" of a base tag at the cursor: removes the attribute.
AttrEdit remove_base_href(LineBuf& line);

}  // namespace tagpolish

// Link flattening (-u): references into the document's own directory.
#pragma once

#include <cstddef>
#include <string_view>

#include "engine/attr_removal.h"
#include "engine/line_buf.h"
#include "lib/walk_options.h"

namespace tagpolish {

// Whether a reference (an attribute's value) leads to another site: a
// scheme ("http:", "mailto:"; not a Windows drive letter) or "//host".
bool leads_off_site(std::string_view text);

// "src=", "href=" or "background=", of `name` bytes, at the cursor: cuts
// the value's path down to its last part; a reference to another site
// only with --flatten-offsite, else it is passed over. The cursor stays on
// the name.
AttrEdit flatten_reference(LineBuf& line, const WalkOptions& opt, std::size_t name);

// "href=" of a base tag at the cursor: removes the attribute when a quote
// follows; else it is not here.
AttrEdit remove_base_href(LineBuf& line, const WalkOptions&, std::size_t name);

}  // namespace tagpolish

#include "engine/blocks.h"

#include <string_view>

#include "engine/tag_names.h"

namespace tagpolish {
namespace {

constexpr bool any(const TagName&) {
    return true;
}

}  // namespace

BlockKind opened_block(const char* p) {
    const TagName* row = tag_at<TagUse::block>(p, any);
    return row != nullptr ? row->block : BlockKind::none;
}

bool ends_raw_block(BlockKind b, const char* p) {
    return tag_at<TagUse::block_end>(p, [b](const TagName& r) { return r.block == b; }) != nullptr;
}

Preformatted preformatted_after(Preformatted now, const char* p) {
    if (now == Preformatted::none) {
        const TagName* row = tag_at<TagUse::preformatted>(p, any);
        return row != nullptr ? row->pre : now;
    }
    const auto ends_now = [now](const TagName& r) { return r.pre == now; };
    return tag_at<TagUse::pre_end>(p, ends_now) != nullptr ? Preformatted::none : now;
}

}  // namespace tagpolish

#include "engine/blocks.h"

#include <string_view>

#include "engine/tag_test.h"

namespace tagpolish {
namespace {

// What may follow the name of a tag that opens a block, and the name of
// its end tag (a NUL: the end of the text).
constexpr std::string_view opener_ends{" \t\r\n/>\0", 7};
constexpr std::string_view pre_closer_ends{" \t\r\n>\0", 6};
constexpr std::string_view raw_closer_ends = " \t\r\n/>";

// Whether the tag at p has the name of the n bytes of keyword (with its "<"
// or "</"), followed by one of the bytes of `ends`.
bool tag_named(const char* p, const char* keyword, int n, std::string_view ends) {
    return at(p, keyword, n) && ends.find(p[n]) != std::string_view::npos;
}

}  // namespace

BlockKind opened_block(const char* p) {
    switch (p[1] | 0x20) {
        case 's':
            if (tag_named(p, "<script", 7, opener_ends)) return BlockKind::script;
            return tag_named(p, "<style", 6, opener_ends) ? BlockKind::style : BlockKind::none;
        case 't':
            return tag_named(p, "<textarea", 9, opener_ends) ? BlockKind::textarea
                                                             : BlockKind::none;
        case 'x':
            return tag_named(p, "<xmp", 4, opener_ends) ? BlockKind::xmp : BlockKind::none;
        case 'p':
            return tag_named(p, "<plaintext", 10, opener_ends) ? BlockKind::plaintext
                                                               : BlockKind::none;
        default:
            return BlockKind::none;
    }
}

bool ends_raw_block(BlockKind b, const char* p) {
    switch (b) {
        case BlockKind::style:
            return tag_named(p, "</style", 7, raw_closer_ends);
        case BlockKind::textarea:
            return tag_named(p, "</textarea", 10, raw_closer_ends);
        case BlockKind::xmp:
            return tag_named(p, "</xmp", 5, raw_closer_ends);
        default:
            return false;
    }
}

Preformatted preformatted_after(Preformatted now, const char* p) {
    switch (now) {
        case Preformatted::none:
            if (tag_named(p, "<pre", 4, opener_ends)) return Preformatted::pre;
            if (tag_named(p, "<listing", 8, opener_ends)) return Preformatted::listing;
            return now;
        case Preformatted::pre:
            return tag_named(p, "</pre", 5, pre_closer_ends) ? Preformatted::none : now;
        case Preformatted::listing:
            return tag_named(p, "</listing", 9, pre_closer_ends) ? Preformatted::none : now;
    }
    return now;
}

}  // namespace tagpolish

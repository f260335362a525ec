// The tag names the walk knows, in one table: the kinds of tag that the
// attribute edits tell apart, the tags the removals take out, the tags
// that open and end blocks. Each row says how the byte after its name
// must be for the name to stand there. Matching is shared by the walk and
// the removals.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "engine/blocks.h"
#include "engine/edits.h"
#include "lib/sjstr.h"
#include "lib/walk_options.h"

namespace tagpolish {

// The kind of the open tag, as the attribute edits need it. A kind is told
// apart only while an edit that acts in it is asked for.
enum TagKind {
    TAG_NONE = 0,
    TAG_LINK = 1,
    TAG_IMG = 2,
    TAG_BODY = 3,
    TAG_FONT = 4,
    TAG_TABLE = 5,
    TAG_BASE = 6,
    TAG_KIND_END  // one past the last kind
};
inline constexpr std::size_t tag_kind_count = TAG_KIND_END;

// Whether the keyword (the first n bytes of pattern: "<" and at least two
// ASCII bytes) stands at p, ignoring the case of letters. Most tags already
// differ in the bytes after "<", where a match can only have the same
// letters in either case, so those are compared first; the whole keyword
// then byte by byte, up to the first byte that differs (a NUL at the
// latest).
inline bool at(const char* p, const char* pattern, int n) {
    auto same = [&](int k) { return (p[k] | 0x20) == (pattern[k] | 0x20); };
    if (!same(1) || (n >= 3 && !same(2))) return false;
    for (int k = 0; k < n; ++k)
        if (ascii_lower(p[k]) != ascii_lower(pattern[k])) return false;
    return true;
}

// Whether byte c, after a tag name, ends it: a blank, a line end or ">".
inline bool ends_tag_name(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>';
}

// What must follow a row's name (the NUL of the text's end, where named).
enum class NameEnd : unsigned char {
    any,         // anything: the name is a prefix ("<a" names <abbr> too)
    word,        // a blank, a line end, ">" or the end of the text
    opener,      // as word, or "/"
    raw_closer,  // a blank, a line end, "/" or ">"
};

constexpr bool name_ends(NameEnd end, char c) {
    switch (end) {
        case NameEnd::any:
            return true;
        case NameEnd::word:
            return ends_tag_name(c) || c == '\0';
        case NameEnd::opener:
            return ends_tag_name(c) || c == '/' || c == '\0';
        case NameEnd::raw_closer:
            return ends_tag_name(c) || c == '/';
    }
    return false;
}

// What a row's name means to the walk.
enum class TagUse : unsigned char {
    kind,          // the open tag is of `kind`
    removal,       // removed under `option`, counted as `removal`
    block,         // opens block `block` at its ">"
    block_end,     // ends raw block `block`
    preformatted,  // opens preformatted block `pre`
    pre_end,       // ends preformatted block `pre`
};

struct TagName {
    TagUse use;
    std::string_view name;  // with its "<" or "</"
    NameEnd end;
    TagKind kind = TAG_NONE;
    WalkFlag option = nullptr;
    Edit removal = Edit::link_tags;
    BlockKind block = BlockKind::none;
    Preformatted pre = Preformatted::none;

    // A removed end tag goes by its name, which holds its ">"; a start tag
    // goes through its ">", wherever that is.
    std::size_t end_length() const { return name.starts_with("</") ? name.size() : 0; }
};

namespace tag_table {

constexpr TagName kind(std::string_view name, TagKind k) {
    return {.use = TagUse::kind, .name = name, .end = NameEnd::any, .kind = k};
}
constexpr TagName removal(std::string_view name, NameEnd end, WalkFlag option, Edit edit) {
    return {.use = TagUse::removal, .name = name, .end = end, .option = option, .removal = edit};
}
constexpr TagName block(TagUse use, std::string_view name, NameEnd end, BlockKind b) {
    return {.use = use, .name = name, .end = end, .block = b};
}
constexpr TagName pre(TagUse use, std::string_view name, NameEnd end, Preformatted p) {
    return {.use = use, .name = name, .end = end, .pre = p};
}

constexpr TagUse block_end = TagUse::block_end, preformatted = TagUse::preformatted,
                 pre_end = TagUse::pre_end;
constexpr NameEnd any = NameEnd::any, word = NameEnd::word, opener = NameEnd::opener,
                  raw_closer = NameEnd::raw_closer;

// Within a use, the first row whose name stands at the tag wins.
inline constexpr TagName rows[] = {
    kind("<a", TAG_LINK),
    kind("<bgsound", TAG_LINK),
    kind("<body", TAG_BODY),
    kind("<base", TAG_BASE),
    kind("<frameset", TAG_LINK),
    kind("<font", TAG_FONT),
    kind("<img", TAG_IMG),
    kind("<table", TAG_TABLE),
    removal("</a>", any, &WalkOptions::del_a, Edit::link_tags),
    removal("</font>", any, &WalkOptions::del_f, Edit::font_tags),
    removal("<a", word, &WalkOptions::del_a, Edit::link_tags),
    removal("<img", any, &WalkOptions::del_i, Edit::image_tags),
    removal("<font", any, &WalkOptions::del_f, Edit::font_tags),
    removal("<bgsound", any, &WalkOptions::del_o, Edit::bgsound_tags),
    block(TagUse::block, "<script", opener, BlockKind::script),
    block(TagUse::block, "<style", opener, BlockKind::style),
    block(TagUse::block, "<textarea", opener, BlockKind::textarea),
    block(TagUse::block, "<xmp", opener, BlockKind::xmp),
    block(TagUse::block, "<plaintext", opener, BlockKind::plaintext),
    block(block_end, "</style", raw_closer, BlockKind::style),
    block(block_end, "</textarea", raw_closer, BlockKind::textarea),
    block(block_end, "</xmp", raw_closer, BlockKind::xmp),
    pre(preformatted, "<pre", opener, Preformatted::pre),
    pre(preformatted, "<listing", opener, Preformatted::listing),
    pre(pre_end, "</pre", word, Preformatted::pre),
    pre(pre_end, "</listing", word, Preformatted::listing),
};

}  // namespace tag_table

inline constexpr const auto& tag_names = tag_table::rows;

// Names are written in small letters, as named_after_lt compares them.
constexpr bool names_in_small_letters() {
    for (const TagName& row : tag_names)
        for (char c : row.name)
            if (c >= 'A' && c <= 'Z') return false;
    return true;
}
static_assert(names_in_small_letters(), "tag names are written in small letters");

// Every kind of tag has a name; a kind without one would never be told.
constexpr bool every_kind_named() {
    for (std::size_t k = TAG_NONE + 1; k < tag_kind_count; ++k) {
        bool named = false;
        for (const TagName& row : tag_names)
            named = named || (row.use == TagUse::kind && row.kind == k);
        if (!named) return false;
    }
    return true;
}
static_assert(every_kind_named(), "every TagKind has a row in tag_names");

// The rows of one use stand together in the table.
constexpr bool uses_together() {
    for (std::size_t i = 1; i < std::size(tag_names); ++i)
        for (std::size_t j = i + 1; j < std::size(tag_names); ++j)
            if (tag_names[j].use == tag_names[i - 1].use &&
                tag_names[i].use != tag_names[i - 1].use)
                return false;
    return true;
}
static_assert(uses_together(), "the rows of one use stand together in tag_names");

// The rows of one use.
struct TagRows {
    const TagName* first;
    const TagName* last;
    constexpr const TagName* begin() const { return first; }
    constexpr const TagName* end() const { return last; }
};
constexpr TagRows rows_of(TagUse use) {
    const TagName* first = std::begin(tag_names);
    while (first != std::end(tag_names) && first->use != use) ++first;
    const TagName* last = first;
    while (last != std::end(tag_names) && last->use == use) ++last;
    return {first, last};
}

constexpr bool at_most_four_after_lt() {
    for (TagUse use : {TagUse::kind, TagUse::removal, TagUse::block, TagUse::block_end,
                       TagUse::preformatted, TagUse::pre_end}) {
        std::array<unsigned, 256> count{};
        for (const TagName& row : rows_of(use))
            if (++count[static_cast<unsigned char>(row.name[1]) | 0x20] > 4) return false;
    }
    return true;
}
static_assert(at_most_four_after_lt(), "at most four rows of a use share the byte after '<'");

// The first row of the use whose name stands at p and for which
// wanted(row) holds, or nullptr. The rows of the use are found when the
// program is compiled.
// Whether name stands at p, whose "<" and the byte after it are known to
// match (p is a tag): the rest is compared ignoring the case of letters,
// up to the first byte that differs (a NUL at the latest).
inline bool named_after_lt(const char* p, std::string_view name) {
    for (std::size_t k = 2; k < name.size(); ++k)
        if (ascii_lower(static_cast<unsigned char>(p[k])) != static_cast<unsigned char>(name[k]))
            return false;
    return true;
}

// The rows of a use whose names have the same byte after "<" (folded to a
// small letter), so that most tags are told apart at that byte, as by a
// switch on it: up to four rows, one byte each (its index in the use's
// rows, plus one), the first in the low byte; 0 where none.
constexpr std::array<std::uint32_t, 256> rows_after_lt(TagUse use) {
    std::array<std::uint32_t, 256> by{};
    std::array<unsigned, 256> count{};
    const TagRows rows = rows_of(use);
    for (const TagName* row = rows.first; row != rows.last; ++row) {
        const unsigned char c = static_cast<unsigned char>(row->name[1]) | 0x20;
        by[c] |= static_cast<std::uint32_t>(row - rows.first + 1) << (8 * count[c]++);
    }
    return by;
}

// The first row of the use whose name stands at p and for which
// wanted(row) holds (asked first: it is the cheaper), or nullptr.
template <TagUse use, class Wanted>
const TagName* tag_at(const char* p, Wanted wanted) {
    static constexpr TagRows rows = rows_of(use);
    static constexpr std::array<std::uint32_t, 256> by = rows_after_lt(use);
    for (std::uint32_t next = by[static_cast<unsigned char>(p[1]) | 0x20]; next != 0; next >>= 8) {
        const TagName& row = rows.first[(next & 0xFF) - 1];
        if (wanted(row) && named_after_lt(p, row.name) && name_ends(row.end, p[row.name.size()]))
            return &row;
    }
    return nullptr;
}

}  // namespace tagpolish

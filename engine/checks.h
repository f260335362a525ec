// What the checks of the walk act on. The attribute edits are one table
// (attr_edits, below), which the scanner walks in order; the other checks
// declare, state by state, the bytes on which they may act (check_bytes,
// beside examine in engine/scanner.cpp). The fast walk (engine/fast_walk)
// builds the bytes it must stop at from both, so a new check or attribute
// edit is declared in one of those two places and nowhere else.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <span>
#include <string_view>

#include "engine/attr_removal.h"
#include "engine/edit_state.h"
#include "engine/links.h"
#include "lib/sjstr.h"
#include "lib/walk_options.h"

namespace tagpolish {

// Where the walk stands, as far as which checks may act goes. Inside a tag
// it stands where the tag reader does, in the reader's order.
enum class WalkState : unsigned char {
    text,  // outside tags, comments and blocks
    tag_name,
    before_attr,
    attr_name,
    after_attr,
    before_value,
    value,
    caseless_value,
    double_quoted,
    single_quoted,
    declaration,
    declaration_double,
    declaration_single,
    comment,
    script,  // a script block, with or without a comment in it
    raw,     // a style, textarea, xmp or plaintext block
};
inline constexpr std::size_t walk_state_count = 16;

// The walk's state inside a tag whose reader stands at r, and back.
constexpr WalkState in_tag(TagRead r) {
    return static_cast<WalkState>(1 + index_of(r));
}
constexpr TagRead tag_read_of(WalkState s) {
    return static_cast<TagRead>(static_cast<std::size_t>(s) - 1);
}
static_assert(in_tag(TagRead::name) == WalkState::tag_name &&
                  in_tag(TagRead::declaration_single) == WalkState::declaration_single &&
                  static_cast<std::size_t>(WalkState::comment) == 1 + tag_read_count &&
                  static_cast<std::size_t>(WalkState::raw) + 1 == walk_state_count,
              "the tag reader's states lie between text and comment, in its order");

// The state of st, told apart in the order in which examine looks.
inline WalkState walk_state(const EditState& st) {
    if (st.raw_block != BlockKind::none) return WalkState::raw;
    // "<!--" does not open a comment inside a script block.
    if (st.in_script) return WalkState::script;
    if (st.in_comment) return WalkState::comment;
    if (!st.in_tag) return WalkState::text;
    return in_tag(st.tag.state);
}

// A set of walk states, one bit each.
using StateSet = unsigned;
constexpr StateSet in(WalkState s) {
    return 1u << static_cast<unsigned>(s);
}

// The states inside a tag where the reader's state satisfies `holds`.
constexpr StateSet tag_states(bool (*holds)(TagRead)) {
    StateSet set = 0;
    for (std::size_t r = 0; r < tag_read_count; ++r)
        if (holds(static_cast<TagRead>(r))) set |= in(in_tag(static_cast<TagRead>(r)));
    return set;
}
inline constexpr StateSet quoted_tag = tag_states(is_quoted);
inline constexpr StateSet unquoted_tag = tag_states([](TagRead r) { return !is_quoted(r); });

// The checks of a step of the walk, in the order in which they are tried:
// the first that applies decides the step. examine (engine/scanner.cpp)
// tries them in this order, and each declares the bytes it may act on
// (check_bytes).
enum class Check : unsigned char {
    line_end,       // a line's newline or end ends its walk (tested before every step)
    raw_block,      // in a raw block, only the end tag of its kind counts
    comment_open,   // "<!--" opens a comment, which -d:c cuts out
    comment_close,  // "-->" closes it
    script_open,    // "<script>"
    script_close,   // "</script>"
    block_body,     // any other byte of a comment or a script block
    quoted_value,   // quoted values, their quotes, and the edits that act in them too
    double_byte,    // a double-byte character, which -n and -a convert
    tag_open,       // "<" before a letter, "/", "!" or "?" opens a tag; -j's paragraph rule
    tag_close,      // ">" closes it
    tag_byte,       // any other byte of a tag: the attribute edits, "#", letter case
    text_byte,      // any other byte of text, which -k converts
};
inline constexpr std::size_t check_count = 13;
static_assert(static_cast<std::size_t>(Check::text_byte) + 1 == check_count);

// The bytes from lo to hi, both included.
struct ByteRange {
    unsigned char lo, hi;
};

// Where one check of examine may act: on a byte of `first`, in the states
// given, while its option is set (always, without one). A check that
// needs a certain byte after the first (a character of two bytes) names
// the second bytes too; the walk need not stop where another follows.
//
// A check whose whole step at such a byte, in those states, is a walk of
// the line alone (no check before it acts there; being given the line
// only, it cannot change the walk's state) names that step: the fast walk
// may then take it without the other checks. (The bytes that move the tag
// reader are its own table's, engine/tag_reader.h.)
struct CheckBytes {
    Check check;
    StateSet states;
    ByteRange first;
    WalkFlag option = nullptr;
    ByteRange second = {0x00, 0xFF};
    void (*step)(LineBuf& line, const WalkOptions& opt, EditCounts& counts) = nullptr;
};

// The declarations of every check but the attribute edits (beside the
// checks themselves, in engine/scanner.cpp).
std::span<const CheckBytes> check_bytes();

// The states in which a double-byte character is walked whole
// (Check::double_byte), so that a byte counts only where a character
// starts; in the others every byte is looked at alone.
StateSet whole_characters();

// An attribute edit. Its names are tried at the cursor in order, ignoring
// ASCII letter case; the first that stands there is handed to the edit,
// which may still find that it does not apply (AttrEdit::not_here), and
// the next row is tried. An edit that also acts inside quoted values does
// so before the other checks of a tag (Check::quoted_value), wherever its
// name stands; the others act at Check::tag_byte, where an attribute name
// stands or may begin (at_attr_name). It acts while its option is set, in
// the kinds of tag it names, and where it asks for one, inside a table.
// What it does counts as an act of `counted` unless it declined; what it
// passes over as the options ask, as one of `passed`.
struct AttrEditRow {
    std::array<std::string_view, 3> names;  // unused ones empty
    bool in_values;
    WalkFlag option;
    unsigned tag_kinds;  // one bit per TagKind
    bool in_table;
    AttrEdit (*edit)(LineBuf& line, const WalkOptions& opt, std::size_t name);  // name: its length
    Edit counted;
    Edit passed = counted;
};

// The tag kinds given, one bit each; every kind without any.
constexpr unsigned tag_kinds(std::initializer_list<TagKind> kinds = {}) {
    unsigned bits = kinds.size() ? 0 : ~0u;
    for (TagKind k : kinds) bits |= 1u << k;
    return bits;
}

// The attribute edits, in the order in which they are tried. (The tag
// kinds of the link edits arise only with -u.)
inline constexpr AttrEditRow attr_edits[] = {
    {{"charset="}, true, &WalkOptions::del_h, tag_kinds(), false, remove_charset, Edit::charsets},
    {{"src=", "href=", "background="},
     false,
     &WalkOptions::u,
     tag_kinds({TAG_LINK, TAG_IMG, TAG_BODY}),
     false,
     flatten_reference,
     Edit::links,
     Edit::offsite_links},
    {{"href="},
     false,
     &WalkOptions::u,
     tag_kinds({TAG_BASE}),
     false,
     remove_base_href,
     Edit::base_refs},
    {{"bgcolor="}, false, &WalkOptions::del_b, tag_kinds(), false, remove_bgcolor, Edit::bgcolor},
    {{"size="},
     false,
     &WalkOptions::del_s,
     tag_kinds({TAG_FONT}),
     false,
     remove_size,
     Edit::font_sizes},
    {{"valign=", "align="},
     false,
     &WalkOptions::del_l,
     tag_kinds(),
     true,
     remove_align,
     Edit::table_aligns},
};

constexpr unsigned tag_kinds_needed(const AttrEditRow& row) {
    const unsigned kinds = row.tag_kinds == tag_kinds() ? 0 : row.tag_kinds;
    return row.in_table ? kinds | 1u << TAG_TABLE : kinds;
}

// Whether the row acts in a tag of that kind, inside a table or not (its
// option aside).
constexpr bool acts_in(const AttrEditRow& row, unsigned kind, bool table_open) {
    return (row.tag_kinds >> kind & 1) && (!row.in_table || table_open);
}

// Whether the row acts in the open tag where the reader stands (its option
// aside).
inline bool acts_here(const AttrEditRow& row, const EditState& st) {
    return acts_in(row, st.tag_kind, st.table_depth > 0) &&
           (row.in_values || at_attr_name(st.tag.state));
}

// The states in which a row acts.
constexpr StateSet attr_states(const AttrEditRow& row) {
    return row.in_values ? quoted_tag | unquoted_tag : tag_states(at_attr_name);
}

// The length of the first of the row's names that stands at p, or 0.
inline std::size_t name_at(const AttrEditRow& row, const char* p) {
    for (std::string_view name : row.names) {
        if (name.empty()) break;
        // The first byte settles most places: where the names match, it is
        // the same byte with bit 0x20 set.
        if ((p[0] | 0x20) != (name[0] | 0x20)) continue;
        if (StrnCmp(p, name.data(), static_cast<int>(name.size())) == 0) return name.size();
    }
    return 0;
}

}  // namespace tagpolish

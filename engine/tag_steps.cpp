// The steps of the walk in and at tags: opening a tag (telling its kind,
// removing it), its quoted values, and its other bytes with the attribute
// edits that act there.
#include "engine/tag_steps.h"

#include <iterator>
#include <utility>

#include "engine/blocks.h"
#include "engine/checks.h"
#include "engine/markup_error.h"
#include "engine/normalise.h"
#include "engine/tag_names.h"
#include "engine/tag_removal.h"
#include "lib/sjstr.h"

namespace tagpolish {
namespace {

// Tries the attribute edit of row r of the table at the cursor.
template <std::size_t r>
[[gnu::always_inline]] inline AttrEdit try_attribute_edit(EditState& st) {
    constexpr const AttrEditRow& row = attr_edits[r];
    if (!(st.opt.*row.option) || !acts_here(row, st)) return AttrEdit::not_here;
    std::size_t name = name_at(row, st.line_buf.cur());
    if (!name) return AttrEdit::not_here;
    const AttrEdit done = row.edit(st.line_buf, st.opt, name);
    if (done == AttrEdit::changed || done == AttrEdit::removed) count_edit(st.counts, row.counted);
    if (done == AttrEdit::passed_over) count_edit(st.counts, row.passed);
    return done;
}

// The attribute edits of the table that act at this place (inside and
// outside quoted values, or only outside), in their order, until one acts.
// (The table is unrolled when the program is compiled.)
template <bool in_values, std::size_t... r>
AttrEdit attribute_edits(EditState& st, std::index_sequence<r...>) {
    AttrEdit done = AttrEdit::not_here;
    const bool acted = ((attr_edits[r].in_values == in_values &&
                         (done = try_attribute_edit<r>(st)) != AttrEdit::not_here) ||
                        ...);
    return acted ? done : AttrEdit::not_here;
}

template <bool in_values>
AttrEdit attribute_edits(EditState& st) {
    return attribute_edits<in_values>(st, std::make_index_sequence<std::size(attr_edits)>());
}

// Sets tag_kind from the tag name, among the kinds told apart; leaves it
// when none matches. A table opened counts in table_depth.
void classify_tag(EditState& st, const char* p) {
    if (st.kinds_told == 0) return;
    const TagName* row = tag_at<TagUse::kind>(
        p, [&](const TagName& r) { return (st.kinds_told >> r.kind & 1) != 0; });
    if (row == nullptr) return;
    st.tag_kind = row->kind;
    if (row->kind == TAG_TABLE) ++st.table_depth;
}

// A "#" fragment inside a tag: nothing in it is edited or looked at, but
// the tag reader reads it, a character at a time.
void skip_fragment(EditState& st) {
    LineBuf& line = st.line_buf;
    const std::size_t end = line.pos + fragment_length(line.rest());
    while (line.pos < end) {
        const unsigned char c = line.peek();
        const bool pair = !is_quoted(st.tag.state) && is_lead_byte(c) && line.pos + 1 < end;
        read_tag(st, c);
        line.advance(pair ? 2 : 1);
    }
}

// Any other byte of a tag: the reader reads it, and a letter where letters
// change case changes.
void walk_in_tag(EditState& st, unsigned char c) {
    if (c == '#') {
        skip_fragment(st);
        return;
    }
    read_tag(st, c);
    if (letters_change_case(st.tag.state))
        walk_tag_byte(st.line_buf, st.opt, st.counts);
    else
        st.line_buf.advance(1);
}

}  // namespace

bool quoted_value_step(EditState& st, unsigned char c) {
    const bool quoted = is_quoted(st.tag.state);
    const bool moves =
        (c == '"' || c == '\'') && quoted != is_quoted(tag_reads.next[index_of(st.tag.state)][c]);
    // ("charset=" never begins with a quote.)
    if (!moves && attribute_edits<true>(st) == AttrEdit::removed) return true;
    if (!moves && !quoted) return false;
    if (moves) read_tag(st, c);
    st.line_buf.advance(1);
    return true;
}

Step open_tag(EditState& st) {
    LineBuf& line = st.line_buf;
    if (st.in_tag && !st.opt.i) {
        markup_error(st, msg_lt_open, cursor_place(st));
        return Step::error;
    }
    st.in_tag = 1;
    st.tag_opens = BlockKind::none;
    st.tag.start(line.peek(1) == '!');
    st.tag_began = cursor_place(st);
    switch (remove_tag_at(st)) {
        case Removal::removed:
            st.in_tag = 0;
            return Step::next;
        case Removal::refused:
            return Step::error;
        case Removal::none:
            break;
    }
    const char* p = line.cur();
    if (at(p, "</table", 7) && st.table_depth > 0) --st.table_depth;
    classify_tag(st, p);
    st.tag_opens = opened_block(p);
    // Only -j keeps the lines of preformatted text.
    if (st.opt.j) st.in_pre = preformatted_after(st.in_pre, p);
    // The name of an end tag begins after its "/".
    line.advance(p[1] == '/' ? 2 : 1);
    return Step::next;
}

void tag_byte_step(EditState& st, unsigned char c) {
    if (attribute_edits<false>(st) != AttrEdit::removed) walk_in_tag(st, c);
}

void take_options(EditState& st, const WalkOptions& opt) {
    st.opt = opt;
    st.kinds_told = tag_kinds_needed(opt);
    st.removes_tags = false;
    for (const TagName& row : tag_names)
        if (row.use == TagUse::removal && opt.*row.option) st.removes_tags = true;
}

unsigned tag_kinds_needed(const WalkOptions& opt) {
    unsigned kinds = 0;
    for (const AttrEditRow& row : attr_edits)
        if (opt.*row.option) kinds |= tag_kinds_needed(row);
    return kinds;
}

}  // namespace tagpolish

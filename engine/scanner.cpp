// The markup scanner.
//
// Conventions of this file:
// 1. The cursor is LineBuf::pos: the first byte of the line not yet walked.
//    Bytes before it (the walked part) are final for this line.
// 2. Each step examines the byte at the cursor with the checks of `examine`,
//    in their order; the first that applies decides the step.
// 3. A step either walks bytes (they join the walked part, where they are),
//    or edits at the cursor and leaves the cursor where it is: the new byte
//    there is then examined afresh from the first check ("re-examine").
// 4. Only the edit modules move or change bytes, and only at or after the
//    cursor (the closing-space rule of the attribute removals takes back one
//    walked blank).
// 5. The walk of a line ends on its newline or its end; both are tested
//    before every step.
// 6. Before each step, the run of bytes that the checks would only walk over
//    (plain text, comment bodies, quoted values, tag bytes that no edit but
//    the case change touches) is walked in one go (engine/fast_walk); the
//    step then starts on a byte that may matter. The bytes each check may
//    act on are declared below examine (`declared`), and the attribute
//    edits are one table (engine/checks.h): a new check must be declared
//    there too, or the fast walk passes its bytes by.
// 7. Inside a tag, the tag reader (engine/tag_reader) reads every byte as it
//    is walked, the line's end included: it says where names, values and
//    quoted values are, and so where a quote, a letter or an attribute
//    edit counts.

#include "engine/scanner.h"

#include <iterator>
#include <utility>

#include "engine/attr_removal.h"
#include "engine/blocks.h"
#include "engine/checks.h"
#include "engine/join.h"
#include "engine/normalise.h"
#include "engine/fast_walk.h"
#include "engine/tag_reader.h"
#include "engine/tag_removal.h"
#include "engine/tag_names.h"
#include "lib/diag.h"
#include "lib/options.h"
#include "lib/sjstr.h"

namespace tagpolish {
namespace {

// A step's outcome: go on walking, or stop the input after a markup error.
enum class Step { next, error };

// Check 1: "<!--" opens a comment, which -d:c cuts out whole.
Step open_comment(EditState& st) {
    LineBuf& line = st.line_buf;
    st.in_comment = 1;
    if (!del_c) {
        line.advance(4);
        return Step::next;
    }
    line.remove(4);
    std::int64_t count = remove_comment(st.line_no, line, *st.in);
    if (count < 0) {
        markup_error(st, st.line_no, msg_comment_open);
        return Step::error;
    }
    count_edit(st.counts, Edit::comments);
    st.line_no = count;
    st.in_comment = 0;
    return Step::next;
}

// Tries the attribute edit of row r of the table at the cursor.
template <std::size_t r>
[[gnu::always_inline]] inline AttrEdit try_attribute_edit(EditState& st) {
    constexpr const AttrEditRow& row = attr_edits[r];
    if (!*row.option || !acts_here(row, st)) return AttrEdit::not_here;
    std::size_t name = name_at(row, st.line_buf.cur());
    if (!name) return AttrEdit::not_here;
    const AttrEdit done = row.edit(st.line_buf, name);
    if (done == AttrEdit::changed || done == AttrEdit::removed) count_edit(st.counts, row.counted);
    return done;
}

// Check 6 and 12: the attribute edits of the table that act at this place
// (inside and outside quoted values, or only outside), in their order,
// until one acts. (The table is unrolled when the program is compiled.)
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

// Reads byte c at the cursor into the open tag.
void read_tag(EditState& st, unsigned char c) {
    st.tag.read(c, st.line_buf, opt_c || opt_s);
}

// Check 6: quoted values, the quotes that open and close them, and the
// edits that also act inside them. Returns true when the step is over.
bool value_step(EditState& st, unsigned char c) {
    const bool quoted = is_quoted(st.tag.state);
    const bool moves = (c == '"' || c == '\'') &&
                       quoted != is_quoted(tag_reads.next[index_of(st.tag.state)][c]);
    // ("charset=" never begins with a quote.)
    if (!moves && attribute_edits<true>(st) == AttrEdit::removed) return true;
    if (!moves && !quoted) return false;
    if (moves) read_tag(st, c);
    st.line_buf.advance(1);
    return true;
}

// Sets tag_kind by the names that the letter after "<" may begin, if any.
void classify_tag(EditState& st, const char* p) {
    switch (p[1] | 0x20) {
        case 'a':
            if (opt_u && at(p, "<a", 2)) st.tag_kind = TAG_LINK;
            break;
        case 'm':
            if (at(p, "<meta", 5)) st.tag_kind = TAG_META;
            break;
        case 'f':
            if (opt_u && at(p, "<frameset", 9)) st.tag_kind = TAG_LINK;
            else if (at(p, "<font", 5)) st.tag_kind = TAG_FONT;
            break;
        case 'b':
            if (opt_u && at(p, "<bgsound", 8)) st.tag_kind = TAG_LINK;
            else if (opt_u && at(p, "<body", 5)) st.tag_kind = TAG_BODY;
            else if (opt_u && at(p, "<base", 5)) st.tag_kind = TAG_BASE;
            break;
        case 'i':
            if (opt_u && at(p, "<img", 4)) st.tag_kind = TAG_IMG;
            break;
        case 't':
            if (at(p, "<table", 6)) st.tag_kind = TAG_TABLE, ++st.table_depth;
    }
}

// Before check 1, inside a raw block: nothing is looked at but the end tag
// of its kind, which ends the block where it begins and is then walked as
// a tag.
Step raw_step(EditState& st) {
    LineBuf& line = st.line_buf;
    const char* p = line.cur();
    if (p[0] == '<' && ends_raw_block(st.raw_block, p)) {
        st.raw_block = BlockKind::none;
        return Step::next;
    }
    line.advance(1);
    return Step::next;
}

// Check 9: a "<" before a letter, "/", "!" or "?" opens a tag.
Step open_tag(EditState& st) {
    LineBuf& line = st.line_buf;
    if (st.in_tag && !opt_i) {
        markup_error(st, st.line_no, msg_lt_open);
        return Step::error;
    }
    st.in_tag = 1;
    st.tag_opens = BlockKind::none;
    st.tag.start(line.peek(1) == '!');
    std::int64_t began = st.line_no;
    switch (remove_tag_at(st)) {
        case Removal::removed:
            st.in_tag = 0;
            return Step::next;
        case Removal::unclosed:
            markup_error(st, began, msg_lt_open);
            return Step::error;
        case Removal::none:
            break;
    }
    const char* p = line.cur();
    if (at(p, "</table", 7) && st.table_depth > 0) --st.table_depth;
    classify_tag(st, p);
    st.tag_opens = opened_block(p);
    st.in_pre = preformatted_after(st.in_pre, p);
    // The name of an end tag begins after its "/".
    line.advance(p[1] == '/' ? 2 : 1);
    return Step::next;
}

// Check 10: a ">" outside quoted values closes the open tag.
Step close_tag(EditState& st) {
    if (!st.in_tag && !opt_i) {
        markup_error(st, st.line_no, msg_gt_alone);
        return Step::error;
    }
    st.in_tag = 0;
    st.tag_kind = TAG_NONE;
    if (st.tag_opens == BlockKind::script)
        st.in_script = 1;
    else
        st.raw_block = st.tag_opens;
    st.tag_opens = BlockKind::none;
    st.line_buf.advance(1);
    return Step::next;
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

// Check 11: any other byte of a tag, outside quoted values. The tag reader
// reads it, and a letter where letters change case changes.
void walk_in_tag(EditState& st, unsigned char c) {
    if (c == '#') {
        skip_fragment(st);
        return;
    }
    read_tag(st, c);
    if (letters_change_case(st.tag.state))
        walk_tag_byte(st.line_buf, st.counts);
    else
        st.line_buf.advance(1);
}

// One step of the walk: the checks in their order, each declared with the
// bytes it may act on in `declared` below. (Inlined into the walk of a
// line, as it was before walk_step called it too.)
[[gnu::always_inline]] inline Step examine(EditState& st) {
    LineBuf& line = st.line_buf;
    const char* p = line.cur();
    auto c = static_cast<unsigned char>(p[0]);

    if (st.raw_block != BlockKind::none) return raw_step(st);
    // Inside a script block "<!--" only hides the script from old browsers.
    if (c == '<' && p[1] == '!' && p[2] == '-' && p[3] == '-' && !st.in_script)  // 1
        return open_comment(st);
    if (c == '-' && p[1] == '-' && p[2] == '>') {  // 2
        st.in_comment = 0;
        line.advance(3);
        return Step::next;
    }
    if (c == '<' && at(p, "<script>", 8)) {  // 3
        st.in_script = 1;
        line.advance(8);
        return Step::next;
    }
    if (c == '<' && at(p, "</script>", 9)) {  // 4
        st.in_script = 0;
        line.advance(9);
        return Step::next;
    }
    if (st.in_comment || st.in_script) {  // 5
        line.advance(1);
        return Step::next;
    }
    if (st.in_tag && value_step(st, c)) return Step::next;  // 6
    if (is_lead_byte(c) && p[1] != 0) {                     // 7
        if (st.in_tag) read_tag(st, c);
        walk_double_byte(line, st.counts);
        return Step::next;
    }
    // 8: the paragraph rule of -j, outside preformatted text.
    if (opt_j && st.in_pre == Preformatted::none && line.at_line_start() && paragraph_rule(st))
        return Step::next;
    if (c == '<' && opens_tag(p[1])) return open_tag(st);  // 9
    if (c == '>') return close_tag(st);                    // 10
    if (st.in_tag) {                                       // 11
        if (attribute_edits<false>(st) != AttrEdit::removed) walk_in_tag(st, c);
        return Step::next;
    }
    walk_text_byte(line, st.counts);  // 12
    return Step::next;
}

constexpr StateSet text = in(WalkState::text), tag = unquoted_tag, quoted = quoted_tag;
constexpr StateSet comment = in(WalkState::comment), script = in(WalkState::script);
constexpr StateSet raw = in(WalkState::raw);

constexpr ByteRange one(unsigned char c) {
    return {c, c};
}

// The checks of examine, by number, with the bytes they may act on. The
// bytes that move the tag reader from one state to another are its own
// table's (engine/tag_reader.h), and the case change of -c and -s (check
// 11) acts on the letters of the states it names (letters_change_case),
// as they are walked; the attribute edits of check 6 and 11 are the table
// attr_edits.
constexpr CheckBytes declared[] = {
    {"1: \"<!--\" opens a comment", text | tag | quoted | comment, one('<')},
    {"2: \"-->\" closes it", text | tag | quoted | comment | script, one('-')},
    {"3 and 4: \"<script>\" and \"</script>\"", text | tag | quoted | comment | script, one('<')},
    {"before 1: the end tag of a raw block", raw, one('<')},
    {"7: -n converts full-width digits", text | tag, one(0x82), &opt_n, {0x4F, 0x58}},
    {"7: -a converts full-width capitals", text | tag, one(0x82), &opt_a, {0x60, 0x79}},
    {"7: -a converts full-width small letters", text | tag, one(0x82), &opt_a, {0x81, 0x9A}},
    {"8: -j at the start of a line", text | tag, one('<'), &opt_j},
    {"9: \"<\" opens a tag", text | tag, one('<')},
    {"10: \">\" closes it", text | tag, one('>')},
    {"11: \"#\" begins a fragment", tag, one('#')},
    {.check = "12: -k converts half-width katakana",
     .states = text,
     .first = {0xA1, 0xDF},
     .option = &opt_k,
     .step = walk_text_byte},
    {"the line loop: the walk of a line ends on its newline",
     text | tag | quoted | comment | script | raw, one('\n')},
};

// Walks the line in line_buf up to its newline or its end.
Step walk_line(EditState& st, const RunTables& runs) {
    LineBuf& line = st.line_buf;
    for (;;) {
        if (runs.fast) walk_runs(st, runs);
        unsigned char c = line.peek();
        if (c == '\n' || c == 0) {
            if (st.in_tag) {
                // A line end inside a tag ends a name or a value as a blank
                // does.
                if (c == '\n' && !st.in_block()) read_tag(st, c);
                st.tag.line_ends(line);
            }
            return Step::next;
        }
        if (examine(st) == Step::error) return Step::error;
    }
}

// Puts out the finished line; the bytes after the last edit (the whole
// line when no edit acted) go out as the source handed them out.
void put_line(const LineBuf& line, OutputSink& out) {
    if (!line.made().empty()) out.put(line.made());
    if (line.kept().empty()) return;
    if (line.kept_in_source())
        out.put_span(line.kept());
    else
        out.put(line.kept());
}

}  // namespace

bool walk_step(EditState& st) {
    return examine(st) == Step::next;
}

std::span<const CheckBytes> check_bytes() {
    return declared;
}

StateSet whole_characters() {
    return text | tag;
}

void markup_error(const EditState& st, std::int64_t line_no, MarkupFormat fmt) {
    // The lines before the error go out ahead of its message.
    if (st.out) st.out->flush();
    std::string text = st.line_buf.whole();
    errmsg(fmt, st.path, line_no, PageText{text.c_str()});
}

int edit_html(const char* path, std::int64_t& error_line, LineSource& in, OutputSink& out,
              EditCounts* counts) {
    EditState st;
    st.path = path;
    st.in = &in;
    st.out = &out;
    const RunTables runs = run_tables();
    for (;;) {
        std::string_view next = in.next_line();
        if (!next.data()) break;
        st.line_buf.load(next);
        ++st.line_no;
        if (walk_line(st, runs) == Step::error) {
            error_line = st.line_no;
            return -2;
        }
        newline_rule(st);
        put_line(st.line_buf, out);
    }
    if (st.in_tag && !opt_i) {
        out.flush();
        errmsg("%s\n ... '<' unmatch to '>'\n", path);
        error_line = st.line_no;
        return -2;
    }
    if (counts != nullptr) *counts = st.counts;
    return 0;
}

}  // namespace tagpolish

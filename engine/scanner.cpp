// The markup scanner.
//
// Conventions of this file:
// 1. The cursor is LineBuf::pos: the first byte of the line not yet walked.
//    Bytes before it (the walked part) are final for this line.
// 2. Each step examines the byte at the cursor with the checks, one `apply`
//    per value of Check (engine/checks.h), in the order of that enum; the
//    first that applies decides the step. A new check is a value of Check
//    in its place and its `apply`.
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
//    there too, or the fast walk passes its bytes by (the fuzzer and the
//    FastWalkRuns tests hold the two walks equal).
// 7. Inside a tag, the tag reader (engine/tag_reader) reads every byte as it
//    is walked, the line's end included: it says where names, values and
//    quoted values are, and so where a quote, a letter or an attribute
//    edit counts.

#include "engine/scanner.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "engine/blocks.h"
#include "engine/checks.h"
#include "engine/fast_walk.h"
#include "engine/join.h"
#include "engine/normalise.h"
#include "engine/tag_names.h"
#include "engine/tag_removal.h"
#include "engine/tag_steps.h"
#include "lib/sjstr.h"

namespace tagpolish {
namespace {

// Check::comment_open: "<!--" opens a comment, which -d:c cuts out whole.
Step open_comment(EditState& st) {
    st.in_comment = 1;
    if (!st.opt.del_c) {
        st.line_buf.advance(4);
        return Step::next;
    }
    if (!remove_comment(st)) return Step::error;
    count_edit(st.counts, Edit::comments);
    st.in_comment = 0;
    return Step::next;
}

// Check::raw_block: inside a raw block: nothing is looked at but the end tag
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

// Check::tag_close: a ">" outside quoted values closes the open tag.
Step close_tag(EditState& st) {
    if (!st.in_tag && !st.opt.i) {
        markup_error(st, msg_gt_alone, cursor_place(st));
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

// What a check made of a step: it did not apply (the next check is tried),
// or it decided the step, which went on or ended in a markup error.
// (A decided step is its Step's own value.)
enum class Tried {
    next = static_cast<int>(Step::next),
    error = static_cast<int>(Step::error),
    passed
};

constexpr Tried decided(Step step) {
    return static_cast<Tried>(step);
}

// The checks of a step, one per Check, given the cursor's bytes p and its
// first byte c. (Check::line_end is walk_line's, before every step.)
template <Check check>
Tried apply(EditState& st, const char* p, unsigned char c);

template <>
[[gnu::always_inline]] inline Tried apply<Check::raw_block>(EditState& st, const char*,
                                                            unsigned char) {
    return st.raw_block != BlockKind::none ? decided(raw_step(st)) : Tried::passed;
}

// Inside a script block "<!--" only hides the script from old browsers.
template <>
[[gnu::always_inline]] inline Tried apply<Check::comment_open>(EditState& st, const char* p,
                                                               unsigned char c) {
    if (c != '<' || p[1] != '!' || p[2] != '-' || p[3] != '-' || st.in_script) return Tried::passed;
    return decided(open_comment(st));
}

template <>
[[gnu::always_inline]] inline Tried apply<Check::comment_close>(EditState& st, const char* p,
                                                                unsigned char c) {
    if (c != '-' || p[1] != '-' || p[2] != '>') return Tried::passed;
    st.in_comment = 0;
    st.line_buf.advance(3);
    return Tried::next;
}

// "<script>" and "</script>", when marker stands at p, open and close a
// script block.
[[gnu::always_inline]] inline Tried script_marker(EditState& st, const char* p, unsigned char c,
                                                  const char* marker, int n, int opens) {
    if (c != '<' || !at(p, marker, n)) return Tried::passed;
    st.in_script = opens;
    st.line_buf.advance(n);
    return Tried::next;
}

template <>
[[gnu::always_inline]] inline Tried apply<Check::script_open>(EditState& st, const char* p,
                                                              unsigned char c) {
    return script_marker(st, p, c, "<script>", 8, 1);
}

template <>
[[gnu::always_inline]] inline Tried apply<Check::script_close>(EditState& st, const char* p,
                                                               unsigned char c) {
    return script_marker(st, p, c, "</script>", 9, 0);
}

template <>
[[gnu::always_inline]] inline Tried apply<Check::block_body>(EditState& st, const char*,
                                                             unsigned char) {
    if (!st.in_comment && !st.in_script) return Tried::passed;
    st.line_buf.advance(1);
    return Tried::next;
}

template <>
[[gnu::always_inline]] inline Tried apply<Check::quoted_value>(EditState& st, const char*,
                                                               unsigned char c) {
    return st.in_tag && quoted_value_step(st, c) ? Tried::next : Tried::passed;
}

template <>
[[gnu::always_inline]] inline Tried apply<Check::double_byte>(EditState& st, const char* p,
                                                              unsigned char c) {
    if (!is_lead_byte(c) || p[1] == 0) return Tried::passed;
    if (st.in_tag) read_tag(st, c);
    walk_double_byte(st.line_buf, st.opt, st.counts);
    return Tried::next;
}

// Under -j a paragraph tag that begins a line may first need a line break
// before it; the tag is then opened and edited as any other.
template <>
[[gnu::always_inline]] inline Tried apply<Check::tag_open>(EditState& st, const char* p,
                                                           unsigned char c) {
    if (c != '<' || !opens_tag(p[1])) return Tried::passed;
    if (st.opt.j && st.line_buf.at_line_start()) paragraph_rule(st);
    return decided(open_tag(st));
}

template <>
[[gnu::always_inline]] inline Tried apply<Check::tag_close>(EditState& st, const char*,
                                                            unsigned char c) {
    return c == '>' ? decided(close_tag(st)) : Tried::passed;
}

template <>
[[gnu::always_inline]] inline Tried apply<Check::tag_byte>(EditState& st, const char*,
                                                           unsigned char c) {
    if (!st.in_tag) return Tried::passed;
    tag_byte_step(st, c);
    return Tried::next;
}

template <>
[[gnu::always_inline]] inline Tried apply<Check::text_byte>(EditState& st, const char*,
                                                            unsigned char) {
    walk_text_byte(st.line_buf, st.opt, st.counts);
    return Tried::next;
}

// One step of the walk: the checks from Check::raw_block on, in their
// order, until one decides it. (The last always does; the whole is
// inlined into the walk of a line.)
template <std::size_t... i>
[[gnu::always_inline]] inline Step examine(EditState& st, std::index_sequence<i...>) {
    const char* p = st.line_buf.cur();
    const auto c = static_cast<unsigned char>(p[0]);
    Tried tried = Tried::passed;
    (((tried = apply<static_cast<Check>(i + 1)>(st, p, c)) != Tried::passed) || ...);
    return static_cast<Step>(tried);
}

[[gnu::always_inline]] inline Step examine(EditState& st) {
    return examine(st, std::make_index_sequence<check_count - 1>());
}

constexpr StateSet text = in(WalkState::text), tag = unquoted_tag, quoted = quoted_tag;
constexpr StateSet comment = in(WalkState::comment), script = in(WalkState::script);
constexpr StateSet raw = in(WalkState::raw);

constexpr ByteRange one(unsigned char c) {
    return {c, c};
}

// The bytes each check may act on. The bytes that move the tag reader
// from one state to another are its own table's (engine/tag_reader.h), and
// the case change of -c and -s (Check::tag_byte) acts on the letters of
// the states it names (letters_change_case), as they are walked; the
// attribute edits of Check::quoted_value and Check::tag_byte are the table
// attr_edits.
constexpr CheckBytes declared[] = {
    {Check::line_end, text | tag | quoted | comment | script | raw, one('\n')},
    {Check::raw_block, raw, one('<')},
    {Check::comment_open, text | tag | quoted | comment, one('<')},
    {Check::comment_close, text | tag | quoted | comment | script, one('-')},
    {Check::script_open, text | tag | quoted | comment | script, one('<')},
    {Check::script_close, text | tag | quoted | comment | script, one('<')},
    {Check::double_byte, text | tag, one(0x82), &WalkOptions::n, {0x4F, 0x58}},  // digits
    {Check::double_byte, text | tag, one(0x82), &WalkOptions::a, {0x60, 0x79}},  // capitals
    {Check::double_byte, text | tag, one(0x82), &WalkOptions::a, {0x81, 0x9A}},  // small letters
    {Check::tag_open, text | tag, one('<')},
    {Check::tag_close, text | tag, one('>')},
    {Check::tag_byte, tag, one('#')},  // a fragment begins
    {.check = Check::text_byte,
     .states = text,
     .first = {0xA1, 0xDF},
     .option = &WalkOptions::k,
     .step = walk_text_byte},
};

// Every check that acts on bytes of its own declares them, and in the
// order of the checks, so that the table reads as examine does.
constexpr bool declared_in_order() {
    for (std::size_t i = 1; i < std::size(declared); ++i)
        if (declared[i].check < declared[i - 1].check) return false;
    for (Check c : {Check::line_end, Check::raw_block, Check::comment_open, Check::comment_close,
                    Check::script_open, Check::script_close, Check::tag_open, Check::tag_close})
        if (std::none_of(std::begin(declared), std::end(declared),
                         [c](const CheckBytes& d) { return d.check == c; }))
            return false;
    return true;
}
static_assert(declared_in_order());

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
                quote_open_tag(st);
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

int edit_html(const WalkOptions& opt, const char* path, LineSource& in, OutputSink& out,
              EditCounts* counts) {
    EditState st;
    take_options(st, opt);
    st.path = path;
    st.in = &in;
    st.out = &out;
    // A long line goes out as it is walked, written where the source holds
    // it: it is never held twice. The blank that -j owes comes first.
    st.line_buf.writes_into(&in);
    st.line_buf.spill = [&st](std::string_view part) {
        put_owed_blank(st, static_cast<unsigned char>(part[0]));
        st.out->put(part);
    };
    const RunTables runs = run_tables(opt);
    for (;;) {
        std::string_view next = in.next_line();
        if (!next.data()) break;
        st.line_buf.load(next);
        st.source_line = next;
        ++st.line_no;
        if (walk_line(st, runs) == Step::error) return -2;
        newline_rule(st);
        put_line(st.line_buf, out);
    }
    if (st.in_tag && !opt.i) {
        markup_error(st, msg_lt_unmatch, st.tag_began, st.tag_quote);
        return -2;
    }
    if (counts != nullptr) *counts = st.counts;
    return 0;
}

}  // namespace tagpolish

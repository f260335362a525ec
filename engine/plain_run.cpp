#include "engine/plain_run.h"

#include <string_view>

#include "driver/options.h"
#include "lib/sjstr.h"

namespace tagpolish {
namespace {

using Roles = std::array<RunRole, 256>;

// Every markup test of the walk begins with "<" or "-"; the walk of a line
// ends on "\n" or NUL.
constexpr unsigned char markup_bytes[] = {'<', '-', '\n', '\0'};

// A run that pairs double-byte characters as the walk does: a lead byte
// takes the byte after it, whatever that is, unless the text ends there.
std::size_t paired_run(std::string_view s, const Roles& roles, const RunTables& t) {
    std::size_t k = 0;
    while (k < s.size()) {
        auto c = static_cast<unsigned char>(s[k]);
        RunRole r = roles[c];
        if (r == RunRole::plain) {
            ++k;
            continue;
        }
        if (r == RunRole::stop || k + 1 >= s.size()) break;
        auto second = static_cast<unsigned char>(s[k + 1]);
        if (second == 0 || (c == 0x82 && t.wide_stop[second])) break;
        k += 2;
    }
    return k;
}

// A run byte by byte, as inside comments, scripts and quoted values.
std::size_t single_run(std::string_view s, const std::array<bool, 256>& stop, unsigned char quote) {
    std::size_t k = 0;
    while (k < s.size()) {
        auto c = static_cast<unsigned char>(s[k]);
        if (stop[c] || c == quote) break;
        ++k;
    }
    return k;
}

// Whether an attribute edit may act on a byte of the open tag (the options
// that act in every tag are in RunTables::tag_runs). Mirrors the conditions
// of the attribute edits in the scanner.
bool tag_edits_may_act(const EditState& st) {
    TagKind kind = st.tag_kind;
    return kind == TAG_LINK || kind == TAG_IMG || kind == TAG_BODY ||
           (opt_u && kind == TAG_BASE) || (del_s && kind == TAG_FONT) ||
           (del_l && st.table_depth > 0);
}

}  // namespace

RunTables run_tables() {
    RunTables t;
    for (int c = 0; c < 256; ++c) {
        RunRole role = is_lead_byte(static_cast<unsigned char>(c)) ? RunRole::lead : RunRole::plain;
        t.text[c] = t.tag[c] = role;
    }
    for (unsigned char c : markup_bytes) {
        t.text[c] = t.tag[c] = RunRole::stop;
        t.skip_stop[c] = t.quoted_stop[c] = true;
    }
    // ">" closes a tag, or is an error outside one; inside quoted values,
    // comments and scripts it is ordinary.
    t.text['>'] = t.tag['>'] = RunRole::stop;
    for (unsigned char c : {'"', '\'', '#'}) t.tag[c] = RunRole::stop;
    if (del_h) {
        for (unsigned char c : {'c', 'C'}) t.tag[c] = RunRole::stop, t.quoted_stop[c] = true;
    }
    if (opt_k) {
        for (int c = 0xA1; c <= 0xDF; ++c) t.text[c] = RunRole::stop;
    }
    // The case changes and the bgcolor removal may act on any byte of a tag.
    t.tag_runs = !opt_c && !opt_s && !del_b;
    if (opt_n || opt_a) {
        // Full-width digits and letters; hiragana, which share their lead
        // byte, follow them and still pass.
        for (int c = 0x4F; c <= 0x9A; ++c) t.wide_stop[c] = true;
    }
    return t;
}

std::size_t plain_run(const EditState& st, const RunTables& t) {
    std::string_view s = st.line_buf.rest();
    // Where a byte that needs the checks follows another, as in a stretch
    // of half-width katakana under -k, the first byte settles it cheaply.
    auto first = static_cast<unsigned char>(s.empty() ? 0 : s[0]);
    if (st.in_comment || st.in_script) return t.skip_stop[first] ? 0 : single_run(s, t.skip_stop, 0);
    if (!st.in_tag) return t.text[first] == RunRole::stop ? 0 : paired_run(s, t.text, t);
    if (st.quote_chr) return single_run(s, t.quoted_stop, static_cast<unsigned char>(st.quote_chr));
    if (!t.tag_runs || t.tag[first] == RunRole::stop || tag_edits_may_act(st)) return 0;
    return paired_run(s, t.tag, t);
}

}  // namespace tagpolish

#include "engine/plain_run.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "engine/normalise.h"
#include "lib/options.h"
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

// Whether the character pairing from the start of s puts a character start
// at j: a byte that is no lead byte always ends a character, so only the
// lead bytes right before j count, and they pair up among themselves.
bool starts_character(std::string_view s, std::size_t j) {
    std::size_t leads = 0;
    while (leads < j && is_lead_byte(static_cast<unsigned char>(s[j - leads - 1]))) ++leads;
    return leads % 2 == 0;
}

// paired_run for tables whose every stop lies below 0x40 and that convert
// no double-byte character. Eight bytes at a time are passed while none of
// them is below 0x40, which in Japanese text is most of the time; a stop
// found then ends the run only where it begins a character. (This loop and
// tag_run are kept out of plain_run, whose every call would otherwise pay
// for their registers.)
[[gnu::noinline]] std::size_t low_stop_run(std::string_view s, const Roles& roles) {
    constexpr std::uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;
    const std::size_t n = s.size();
    std::size_t j = 0;
    while (j < n) {
        for (std::uint64_t w; j + 8 <= n; j += 8) {
            std::memcpy(&w, s.data() + j, 8);
            if ((w - ones * 0x40) & ~w & highs) break;
        }
        for (std::size_t end = std::min(n, j + 8); j < end; ++j) {
            if (roles[static_cast<unsigned char>(s[j])] != RunRole::stop) continue;
            if (starts_character(s, j)) return j;
            // A lead byte takes the byte after it unless that is NUL.
            if (s[j] == 0) return j - 1;
        }
    }
    // A lead byte with nothing after it is left to the checks.
    if (n > 0 && is_lead_byte(static_cast<unsigned char>(s[n - 1])) && starts_character(s, n - 1))
        return n - 1;
    return n;
}

// Whether an attribute name that an edit looks for ("src=", "href=",
// "background=", "bgcolor=", "size=", "align=", "valign=", "charset=") may
// begin at k, judged by its first two bytes in either case. A letter that
// begins none of them is walked like any other byte; any other stop is
// left to the checks.
bool may_begin_attribute(std::string_view s, std::size_t k) {
    // For a letter, c | 0x20 is its small form; no other byte gives one of
    // the letters tested here.
    const unsigned char first = static_cast<unsigned char>(s[k]) | 0x20;
    const unsigned char second = k + 1 < s.size() ? static_cast<unsigned char>(s[k + 1]) | 0x20 : 0;
    switch (first) {
        case 'a':
            return second == 'l';
        case 'b':
            return second == 'a' || second == 'g';
        case 'c':
            return second == 'h';
        case 'h':
            return second == 'r';
        case 's':
            return second == 'r' || second == 'i';
        case 'v':
            return second == 'a';
        default:
            return true;
    }
}

// A run byte by byte, as inside comments, scripts and quoted values.
std::size_t single_run(std::string_view s, const std::array<bool, 256>& stop, unsigned char quote) {
    std::size_t k = 0;
    while (k < s.size()) {
        auto c = static_cast<unsigned char>(s[k]);
        if (c == quote || (stop[c] && may_begin_attribute(s, k))) break;
        ++k;
    }
    return k;
}

// Whether an attribute edit may act in the open tag. Mirrors the
// conditions of the attribute edits in the scanner.
bool tag_edits_may_act(const EditState& st) {
    TagKind kind = st.tag_kind;
    return kind == TAG_LINK || kind == TAG_IMG || kind == TAG_BODY || (opt_u && kind == TAG_BASE) ||
           del_b || (del_s && kind == TAG_FONT) || (del_l && st.table_depth > 0);
}

bool in_open_tag(const EditState& st) {
    return st.in_tag && !st.quote_chr && !st.in_block();
}

bool in_text(const EditState& st) {
    return !st.in_tag && !st.in_block();
}

bool is_quote(unsigned char c) {
    return c == '"' || c == '\'';
}

// A run inside a tag. A quoted value that closes before any byte in it
// needs the checks is walked with the tag: its quote opens and closes
// again, which leaves the state as it was. So is a letter that begins no
// attribute name an edit looks for.
[[gnu::noinline]] std::size_t tag_run(std::string_view s, const Roles& roles, const RunTables& t,
                                      bool low) {
    auto run_from = [&](std::size_t k) {
        std::string_view rest = s.substr(k);
        return k + (low ? low_stop_run(rest, roles) : paired_run(rest, roles, t));
    };
    std::size_t k = run_from(0);
    while (k < s.size()) {
        auto c = static_cast<unsigned char>(s[k]);
        if (is_quote(c)) {
            std::size_t close = k + 1 + single_run(s.substr(k + 1), t.quoted_stop, c);
            if (close >= s.size() || static_cast<unsigned char>(s[close]) != c) break;
            k = run_from(close + 1);
        } else if (!may_begin_attribute(s, k)) {
            k = run_from(k + 1);
        } else {
            break;
        }
    }
    return k;
}

// The case change that walk_tag_byte makes, over the n bytes of a run at
// the cursor, in place. The run holds whole characters and whole quoted
// values: a lead byte's partner is in it too, and stays as it is, and so
// do the bytes between two quotes. (Kept out of walk_run, whose every call
// would otherwise pay for its registers.)
[[gnu::noinline]] void change_case(LineBuf& line, std::size_t n) {
    // The bytes are read from the run as it was: each is read before it
    // may be written, and the line is copied to be written into only when
    // a letter changes.
    const std::string_view run = line.rest().substr(0, n);
    const unsigned char first = opt_s ? 'A' : 'a';
    char* out = nullptr;
    for (std::size_t k = 0; k < n; ++k) {
        auto c = static_cast<unsigned char>(run[k]);
        if (is_lead_byte(c)) {
            ++k;
        } else if (is_quote(c)) {
            do ++k;
            while (k < n && static_cast<unsigned char>(run[k]) != c);
        } else if (static_cast<unsigned char>(c - first) < 26) {
            if (!out) out = line.ahead_to_write();
            out[k] = static_cast<char>(c ^ 0x20);  // the other case
        }
    }
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
    // A style block ends only where "</style" begins.
    for (unsigned char c : {'<', '\n', '\0'}) t.style_stop[c] = true;
    // ">" closes a tag, or is an error outside one; inside quoted values,
    // comments and scripts it is ordinary.
    t.text['>'] = t.tag['>'] = RunRole::stop;
    // Quotes open values; "#" starts a fragment, passed over unchanged.
    for (unsigned char c : {'"', '\'', '#'}) t.tag[c] = RunRole::stop;
    if (del_h) {
        for (unsigned char c : {'c', 'C'}) t.tag[c] = RunRole::stop, t.quoted_stop[c] = true;
    }
    // Every attribute name that an edit looks for begins with one of these.
    t.tag_attr = t.tag;
    for (unsigned char c : {'a', 'b', 'h', 's', 'v'})
        t.tag_attr[c] = t.tag_attr[c - 0x20] = RunRole::stop;
    // Under -k half-width katakana end a text run; walk_kana converts them.
    if (opt_k) {
        for (int c = 0xA1; c <= 0xDF; ++c) t.text[c] = RunRole::stop;
    }
    t.text_kana = opt_k != 0;
    if (opt_n || opt_a) {
        // Full-width digits and letters; hiragana, which share their lead
        // byte, follow them and still pass.
        for (int c = 0x4F; c <= 0x9A; ++c) t.wide_stop[c] = true;
    }
    t.tag_case = opt_c || opt_s;
    auto all_low = [](const Roles& roles) {
        for (int c = 0x40; c < 256; ++c)
            if (roles[c] == RunRole::stop) return false;
        return true;
    };
    bool wide = opt_n || opt_a;
    t.text_low = !wide && all_low(t.text);
    t.tag_low = !wide && all_low(t.tag);
    return t;
}

std::size_t plain_run(const EditState& st, const RunTables& t) {
    std::string_view s = st.line_buf.rest();
    // Where a byte that needs the checks follows another, as in a stretch
    // of half-width katakana under -k, the first byte settles it cheaply.
    auto first = static_cast<unsigned char>(s.empty() ? 0 : s[0]);
    if (st.in_style) return t.style_stop[first] ? 0 : single_run(s, t.style_stop, 0);
    if (st.in_comment || st.in_script)
        return t.skip_stop[first] ? 0 : single_run(s, t.skip_stop, 0);
    if (!st.in_tag) {
        if (t.text[first] == RunRole::stop) return 0;
        return t.text_low ? low_stop_run(s, t.text) : paired_run(s, t.text, t);
    }
    if (st.quote_chr) return single_run(s, t.quoted_stop, static_cast<unsigned char>(st.quote_chr));
    bool attr = tag_edits_may_act(st);
    const Roles& roles = attr ? t.tag_attr : t.tag;
    bool low = !attr && t.tag_low;
    return tag_run(s, roles, t, low);
}

void walk_run(EditState& st, const RunTables& t, std::size_t n) {
    LineBuf& line = st.line_buf;
    if (t.tag_case && in_open_tag(st)) change_case(line, n);
    line.advance(n);
}

bool walk_kana(EditState& st) {
    // Every check but the conversion passes half-width katakana in text by.
    LineBuf& line = st.line_buf;
    if (!in_text(st) || !is_half_kana(line.peek())) return false;
    do walk_text_byte(line);
    while (is_half_kana(line.peek()));
    return true;
}

}  // namespace tagpolish

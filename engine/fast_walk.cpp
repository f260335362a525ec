#include "engine/fast_walk.h"

#include <algorithm>
#include <bit>
#include <map>
#include <vector>

#include "engine/normalise.h"

namespace tagpolish {
namespace {

bool fast_walk_on = true;

// The byte in the other letter case, as StrnCmp folds it; c itself for a
// byte that is no ASCII letter.
unsigned char other_case(unsigned char c) {
    return c == ascii_lower(c) ? ascii_upper(c) : ascii_lower(c);
}

// Hands out one bit per pair rule. Should they run out, the last bit is
// shared by the rules still to come, and it is in force in every state: the
// walk then stops at their pairs wherever their first bytes stop it.
constexpr std::uint32_t shared_rule = 1u << 31;
struct RuleBits {
    std::uint32_t next = 1;
    std::uint32_t take() {
        std::uint32_t bit = next;
        if (next != shared_rule) next <<= 1;
        return bit;
    }
};

// Marks the bytes of a declared check in the states it names.
void declare_check(RunTables& t, const CheckBytes& d, RuleBits& bits) {
    const bool whole_range = d.second.lo == 0x00 && d.second.hi == 0xFF;
    const std::uint32_t bit = whole_range ? 0 : bits.take();
    StopRole role = bit ? StopRole::pair : StopRole::stop;
    unsigned char which = 0;
    if (d.step && !bit) {
        auto known = std::find(t.steps.begin(), t.steps.end(), d.step);
        which = static_cast<unsigned char>(known - t.steps.begin());
        if (known == t.steps.end()) t.steps.push_back(d.step);
        role = StopRole::step;
    }
    for (int c = d.first.lo; c <= d.first.hi; ++c) {
        auto first = static_cast<unsigned char>(c);
        for (int s = d.second.lo; bit && s <= d.second.hi; ++s)
            t.pairs.add(first, static_cast<unsigned char>(s), bit);
        for (std::size_t i = 0; i < walk_state_count; ++i) {
            if (!(d.states & (1u << i))) continue;
            t.bare[i].mark(first, role, which);
            for (RunTables::EditCase& e : t.cases) e.rules[i] |= bit;
        }
    }
}

// Marks the bytes that move the tag reader to another state, as entering
// it (a byte that another check acts on stops: see mark).
void declare_tag_reader(RunTables& t) {
    for (std::size_t r = 0; r < tag_read_count; ++r) {
        const auto from = static_cast<TagRead>(r);
        StopRoles& roles = t.bare[index_of(in_tag(from))];
        for (int c = 1; c < 256; ++c) {
            const TagRead to = tag_reads.next[r][c];
            if (to != from)
                roles.mark(static_cast<unsigned char>(c), StopRole::enter,
                           static_cast<unsigned char>(in_tag(to)));
        }
        roles.mark(0, StopRole::stop);
    }
}

// Marks the first bytes of an attribute edit's names, in either case, in
// the states where it acts; their first two bytes make its pair rule, in
// force in the tags where the edit acts.
void declare_attr_edit(RunTables& t, const AttrEditRow& row, std::uint32_t bit) {
    for (std::size_t i = 0; i < walk_state_count; ++i) {
        if (!(attr_states(row) & (1u << i))) continue;
        for (std::size_t k = 0; k < 2 * tag_kind_count; ++k) {
            if (!acts_in(row, static_cast<unsigned>(k / 2), k % 2)) continue;
            t.cases[k].rules[i] |= bit;
            t.cases[k].attrs |= 1u << i;
        }
    }
    for (std::string_view name : row.names) {
        if (name.empty()) break;
        const auto first = static_cast<unsigned char>(name[0]);
        for (unsigned char f : {first, other_case(first)}) {
            if (name.size() < 2) {
                for (std::size_t i = 0; i < walk_state_count; ++i)
                    if (attr_states(row) & (1u << i)) t.with_attrs[i].mark(f, StopRole::stop);
                continue;
            }
            const auto second = static_cast<unsigned char>(name[1]);
            t.pairs.add(f, second, bit);
            t.pairs.add(f, other_case(second), bit);
            for (std::size_t i = 0; i < walk_state_count; ++i)
                if (attr_states(row) & (1u << i)) t.with_attrs[i].mark(f, StopRole::pair);
        }
    }
}

// What byte c does in tag reader state r in edit case k.
unsigned char tag_act(const RunTables& t, std::size_t k, TagRead r, unsigned char c) {
    std::uint32_t rules;
    const StopRoles& roles = roles_in(t, t.cases[k], index_of(in_tag(r)), rules);
    switch (c ? roles.role[c] : StopRole::stop) {
        case StopRole::pass:
            return static_cast<unsigned char>(index_of(r));
        case StopRole::enter:
            return static_cast<unsigned char>(index_of(tag_read_of(WalkState{roles.step[c]})));
        case StopRole::pair:
            return RunTables::TagActs::pair;
        default:
            return RunTables::TagActs::stop;
    }
}

// Folds the roles of the tag reader's states into their table: the bytes
// that do the same in every state and edit case share a class.
void build_tag_acts(RunTables& t) {
    RunTables::TagActs& a = t.tag;
    std::map<std::vector<unsigned char>, unsigned char> classes;
    std::vector<std::vector<unsigned char>> of_class;
    for (int c = 0; c < 256; ++c) {
        std::vector<unsigned char> acts;
        for (std::size_t k = 0; k < t.cases.size(); ++k)
            for (std::size_t r = 0; r < tag_read_count; ++r)
                acts.push_back(
                    tag_act(t, k, static_cast<TagRead>(r), static_cast<unsigned char>(c)));
        auto [it, added] = classes.emplace(acts, static_cast<unsigned char>(of_class.size()));
        if (added) of_class.push_back(acts);
        a.byte_class[c] = it->second;
    }
    while ((1u << a.class_shift) < of_class.size()) ++a.class_shift;
    a.acts.assign((t.cases.size() * tag_read_count) << a.class_shift, RunTables::TagActs::stop);
    for (std::size_t cls = 0; cls < of_class.size(); ++cls)
        for (std::size_t i = 0; i < t.cases.size() * tag_read_count; ++i)
            a.acts[(i << a.class_shift) + cls] = of_class[cls][i];
    for (std::size_t r = 0; r < tag_read_count; ++r) {
        const auto read = static_cast<TagRead>(r);
        a.paired |= (whole_characters() >> index_of(in_tag(read)) & 1) << r;
        a.cases |= (t.letters_change && letters_change_case(read)) << r;
    }
}

}  // namespace

void set_fast_walk(bool on) {
    fast_walk_on = on;
}

RunTables run_tables(const WalkOptions& opt) {
    RunTables t;
    t.fast = fast_walk_on;
    RuleBits bits;
    for (const CheckBytes& d : check_bytes())
        if (!d.option || opt.*d.option) declare_check(t, d, bits);
    declare_tag_reader(t);
    t.with_attrs = t.bare;
    for (const AttrEditRow& row : attr_edits)
        if (opt.*row.option) declare_attr_edit(t, row, bits.take());
    for (RunTables::EditCase& e : t.cases)
        for (std::uint32_t& rules : e.rules) rules |= shared_rule;
    for (std::size_t i = 0; i < walk_state_count; ++i)
        t.bare[i].paired = t.with_attrs[i].paired = (whole_characters() >> i) & 1;
    // Inside a tag the walk reads byte by byte (walk_tag_bytes); the bytes
    // that stop it there need not be found a block at a time.
    std::array<bool, 256> may{};
    for (std::size_t i = 0; i < walk_state_count; ++i)
        for (int c = 0; !((unquoted_tag | quoted_tag) >> i & 1) && c < 256; ++c)
            may[c] = may[c] || t.with_attrs[i].role[c] != StopRole::pass;
    t.classes.compile(may);
    t.letters_change = opt.c || opt.s;
    t.opt = opt;
    build_tag_acts(t);
    return t;
}

namespace {

// Walks a tag byte by byte: its runs are a few bytes long (names, values),
// between bytes that only move the tag reader, which are read and walked
// as bytes of the state they lead to. Stops on a byte that the checks must
// look at.
template <bool letters_change>
void walk_tag_bytes(LineBuf& line, TagReader& reader, const RunTables& t, std::size_t k,
                    EditCounts& counts) {
    const RunTables::TagActs& tag = t.tag;
    const unsigned char* acts = tag.in_case(k);
    const auto* p = reinterpret_cast<const unsigned char*>(line.text.data());
    const CaseChange change = letters_change ? tag_case(t.opt) : CaseChange{};
    auto r = static_cast<unsigned char>(index_of(reader.state));
    // Bytes that the case change writes go into the line's own copy; the
    // bytes ahead are read where they were, as they are the same.
    char* own = nullptr;
    std::size_t at = line.pos;
    for (;;) {
        const unsigned char c = p[at];
        const unsigned char act = acts[(std::size_t{r} << tag.class_shift) + tag.byte_class[c]];
        if (act != r) {
            if (act == RunTables::TagActs::stop) break;
            if (act == RunTables::TagActs::pair) {
                if (t.pairs.bits(c, p[at + 1]) & t.cases[k].rules[index_of(in_tag(reader.state))])
                    break;
            } else {
                // The reader notes where a name begins by the walked bytes.
                if (letters_change) line.pos = at;
                reader.enter(static_cast<TagRead>(act), line, letters_change);
                r = static_cast<unsigned char>(index_of(reader.state));
            }
        }
        if (is_lead_byte(c) && (tag.paired >> r & 1) && p[at + 1] != 0) {
            at += 2;
            continue;
        }
        if (letters_change && (tag.cases >> r & 1) && change.of(c) != c) {
            if (!own) {
                line.set(at - line.pos, static_cast<char>(change.of(c)));
                own = line.ahead_to_write() - line.pos;
            }
            own[at] = static_cast<char>(change.of(c));
            count_edit(counts, Edit::letter_case);
        }
        ++at;
    }
    line.pos = at;
}

}  // namespace

std::size_t walk_runs_from(EditState& st, const RunTables& t, WalkState state,
                           const StopRoles* roles, std::uint32_t rules) {
    LineBuf& line = st.line_buf;
    const std::size_t start = line.pos;
    if ((unquoted_tag | quoted_tag) >> index_of(state) & 1) {
        // The tag reader is followed there, and handed back to st at the
        // end. (Which edits may act changes only where a tag opens or
        // closes, and the walk stops there.)
        TagReader reader = st.tag;
        if (t.letters_change)
            walk_tag_bytes<true>(line, reader, t, edit_case(st), st.counts);
        else
            walk_tag_bytes<false>(line, reader, t, edit_case(st), st.counts);
        st.tag = reader;
        return line.pos - start;
    }
    unsigned char c = line.peek();
    LineSearch search(line.text, line.version(), t.classes, t.pairs, st.block);
    for (;;) {
        if (roles->role[c] == StopRole::pass || roles->role[c] == StopRole::pair) {
            const std::size_t stop = search.find(line.pos, *roles, rules);
            line.advance(stop - line.pos);
            c = line.peek();
            if (c == 0) break;
        }
        if (roles->role[c] != StopRole::step) break;
        // A run of bytes that the same step walks (half-width katakana
        // under -k) is walked one after the other.
        const unsigned version = line.version();
        const unsigned char which = roles->step[c];
        do {
            t.steps[which](line, st.opt, st.counts);
            c = line.peek();
        } while (roles->role[c] == StopRole::step && roles->step[c] == which);
        // A step changes the line only, never the state or the roles.
        if (line.version() != version)
            search = LineSearch(line.text, line.version(), t.classes, t.pairs, st.block);
    }
    return line.pos - start;
}

}  // namespace tagpolish

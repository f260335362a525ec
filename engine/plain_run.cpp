#include "engine/plain_run.h"

#include <algorithm>
#include <bit>

#include "engine/normalise.h"
#include "lib/options.h"

namespace tagpolish {
namespace {

bool fast_walk_on = true;

// The byte in the other letter case, as StrnCmp folds it; c itself for a
// byte that is no ASCII letter.
unsigned char other_case(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 0x20);
    return c;
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
    } else if (d.enters && !bit) {
        which = static_cast<unsigned char>(*d.enters);
        role = StopRole::enter;
    }
    for (int c = d.first.lo; c <= d.first.hi; ++c) {
        auto first = static_cast<unsigned char>(c);
        for (int s = d.second.lo; bit && s <= d.second.hi; ++s)
            t.pairs.add(first, static_cast<unsigned char>(s), bit);
        for (std::size_t i = 0; i < walk_state_count; ++i) {
            if (!(d.states & (1u << i))) continue;
            t.bare[i].mark(first, role, which);
            for (std::uint32_t& rules : t.states[i].rules) rules |= bit;
        }
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
            t.states[i].rules[k] |= bit;
            t.states[i].edits |= 1u << k;
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

}  // namespace

void set_fast_walk(bool on) {
    fast_walk_on = on;
}

bool fast_walk() {
    return fast_walk_on;
}

RunTables run_tables() {
    RunTables t;
    t.fast = fast_walk_on;
    RuleBits bits;
    for (const CheckBytes& d : check_bytes())
        if (!d.option || *d.option) declare_check(t, d, bits);
    t.with_attrs = t.bare;
    for (const AttrEditRow& row : attr_edits)
        if (*row.option) declare_attr_edit(t, row, bits.take());
    for (RunTables::StateRuns& runs : t.states)
        for (std::uint32_t& rules : runs.rules) rules |= shared_rule;
    for (std::size_t i = 0; i < walk_state_count; ++i)
        t.bare[i].paired = t.with_attrs[i].paired = (whole_characters() >> i) & 1;
    std::array<bool, 256> may{};
    for (const StopRoles& roles : t.with_attrs)
        for (int c = 0; c < 256; ++c) may[c] = may[c] || roles.role[c] != StopRole::pass;
    t.classes.compile(may);
    t.states[index_of(WalkState::tag)].case_change = opt_c || opt_s;
    return t;
}

std::size_t walk_runs_from(EditState& st, const RunTables& t, WalkState state,
                           const StopRoles* roles, std::uint32_t rules) {
    LineBuf& line = st.line_buf;
    const std::size_t start = line.pos;
    unsigned char c = line.peek();
    // The state is followed here as the declared checks change it, and
    // handed back to st at the end.
    bool entered = false;
    LineSearch search(line.text, line.version(), t.classes, t.pairs, st.block);
    for (;;) {
        if (roles->role[c] == StopRole::pass || roles->role[c] == StopRole::pair) {
            const std::size_t stop = search.find(line.pos, *roles, rules);
            // The case change writes only behind the cursor.
            if (t.states[index_of(state)].case_change)
                walk_tag_run(line, stop - line.pos);
            else
                line.advance(stop - line.pos);
            c = line.peek();
            if (c == 0) break;
        }
        if (roles->role[c] == StopRole::enter) {
            // A state entered and left again before anything in it needs
            // the checks (a quoted value) is walked whole.
            const auto inside = static_cast<WalkState>(roles->step[c]);
            std::uint32_t inside_rules;
            const StopRoles& inner = roles_in(st, t, index_of(inside), inside_rules);
            const std::size_t end = search.find(line.pos + 1, inner, inside_rules);
            const auto last = static_cast<unsigned char>(line.text.data()[end]);
            const bool back = inner.role[last] == StopRole::enter && last != 0 &&
                              inner.step[last] == static_cast<unsigned char>(state);
            if (back && !t.states[index_of(inside)].case_change) {
                line.advance(end + 1 - line.pos);
                c = line.peek();
                continue;
            }
            line.advance(1);
            state = inside;
            entered = true;
        } else if (roles->role[c] == StopRole::step) {
            // A run of bytes that the same step walks (half-width katakana
            // under -k) is walked one after the other.
            const unsigned version = line.version();
            const unsigned char which = roles->step[c];
            do {
                t.steps[which](line);
                c = line.peek();
            } while (roles->role[c] == StopRole::step && roles->step[c] == which);
            // A step changes the line only, never the state or the roles.
            if (line.version() != version)
                search = LineSearch(line.text, line.version(), t.classes, t.pairs, st.block);
            continue;
        } else {
            break;
        }
        roles = &roles_in(st, t, index_of(state), rules);
        c = line.peek();
    }
    if (entered) enter_state(st, state);
    return line.pos - start;
}

}  // namespace tagpolish

// The fast walk: runs of bytes that no check of the walk acts on, found a
// block at a time (engine/block_search) and walked in one go. The bytes
// that end a run, state by state, are built from the declarations of the
// checks and from the table of attribute edits (engine/checks).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "engine/block_search.h"
#include "engine/checks.h"
#include "engine/scanner.h"

namespace tagpolish {

// Whether the walk takes runs in one go (on unless turned off). Off, every
// byte goes through the checks one step at a time: the plain walk, which
// the tests and the fuzzer hold the fast one against.
void set_fast_walk(bool on);
bool fast_walk();

// The kinds of tag, TAG_NONE to TAG_META.
inline constexpr std::size_t tag_kind_count = 8;

// What the runs stop at under the option flags in force when it was built.
struct RunTables {
    bool fast = true;  // the switch, as it stood
    // Per walk state: the roles of the bytes while no attribute edit may
    // act in the open tag, and while some may.
    std::array<StopRoles, walk_state_count> bare, with_attrs;
    ByteClasses classes;  // every byte that may stop in some state
    PairTable pairs;
    // Per state: the pair rules in force and whether an attribute edit may
    // act, for each kind of the open tag inside a table or not (see
    // edit_case), and whether letters change case in its runs.
    struct StateRuns {
        std::array<std::uint32_t, 2 * tag_kind_count> rules{};
        std::uint32_t edits = 0;  // one bit per edit_case where an edit may act
        bool case_change = false;
    };
    std::array<StateRuns, walk_state_count> states{};
    std::vector<void (*)(LineBuf&)> steps;  // the steps that StopRoles::step names
};

// Builds the tables from the declarations and the current option flags.
RunTables run_tables();

inline std::size_t index_of(WalkState s) {
    return static_cast<std::size_t>(s);
}

// What of the open tag decides which attribute edits may act: its kind,
// and whether a table is open.
inline std::size_t edit_case(const EditState& st) {
    return 2 * static_cast<std::size_t>(st.tag_kind) + (st.table_depth > 0);
}

// The roles of the bytes in state i of the walk, and the pair rules in
// force there.
inline const StopRoles& roles_in(const EditState& st, const RunTables& t, std::size_t i,
                                 std::uint32_t& rules) {
    const std::size_t k = edit_case(st);
    rules = t.states[i].rules[k];
    return (t.states[i].edits >> k & 1) ? t.with_attrs[i] : t.bare[i];
}

// walk_runs from the cursor on a byte that is not a stop, in the state
// given, with its roles and rules.
std::size_t walk_runs_from(EditState& st, const RunTables& t, WalkState state,
                           const StopRoles* roles, std::uint32_t rules);

// Walks from the cursor the runs of bytes that no check acts on (inside a
// tag, letters may change case under -c or -s), and between them the bytes
// whose check declares its step, with that step. Stops on the first byte
// that needs the other checks; returns how many bytes it walked.
inline std::size_t walk_runs(EditState& st, const RunTables& t) {
    const WalkState state = walk_state(st);
    std::uint32_t rules;
    const StopRoles& roles = roles_in(st, t, index_of(state), rules);
    // Where one stop follows another, the first byte settles it.
    const unsigned char c = st.line_buf.peek();
    if (c == 0 || roles.role[c] == StopRole::stop) return 0;
    return walk_runs_from(st, t, state, &roles, rules);
}

}  // namespace tagpolish

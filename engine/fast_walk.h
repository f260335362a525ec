// The fast walk: runs of bytes that no check of the walk acts on, found a
// block at a time (engine/block_search) and walked in one go; inside a tag,
// where runs are short and the tag reader moves often, byte by byte. The
// bytes that end a run, state by state, are built from the declarations
// of the checks, the tag reader's table (engine/tag_reader) and the table
// of attribute edits (engine/checks).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "engine/block_search.h"
#include "engine/checks.h"
#include "engine/edit_state.h"

namespace tagpolish {

// Whether the walk takes runs in one go (on unless turned off). Off, every
// byte goes through the checks one step at a time: the plain walk, which
// the tests and the fuzzer hold the fast one against.
void set_fast_walk(bool on);

// What the runs stop at under the options it was built for.
struct RunTables {
    bool fast = true;  // the switch, as it stood
    WalkOptions opt;   // the options
    // Per walk state: the roles of the bytes while no attribute edit may
    // act in the open tag, and while some may.
    std::array<StopRoles, walk_state_count> bare, with_attrs;
    ByteClasses classes;  // every byte that may stop in some state
    PairTable pairs;
    // Per kind of the open tag, inside a table or not (see edit_case): the
    // pair rules in force in each state, and the states where an attribute
    // edit may act (one bit each).
    struct EditCase {
        std::array<std::uint32_t, walk_state_count> rules{};
        StateSet attrs = 0;
    };
    std::array<EditCase, 2 * tag_kind_count> cases{};
    bool letters_change = false;  // -c or -s
    std::vector<void (*)(LineBuf&, const WalkOptions&, EditCounts&)>
        steps;  // StopRoles::step names them

    // Inside a tag the walk reads byte by byte, through the same roles
    // folded into one small table per edit case: each byte falls into a
    // class, and what a class does in each state of the tag reader is the
    // state it leads to (its own: it is walked), stop or pair.
    struct TagActs {
        static constexpr unsigned char stop = 0xFF, pair = 0xFE;
        std::array<unsigned char, 256> byte_class{};
        unsigned class_shift = 0;         // 1 << class_shift entries per state
        std::vector<unsigned char> acts;  // by edit case, tag reader state, class
        unsigned paired = 0, cases = 0;   // tag reader states (one bit each)

        const unsigned char* in_case(std::size_t k) const {
            return acts.data() + ((k * tag_read_count) << class_shift);
        }
    };
    TagActs tag;
};

// Builds the tables from the declarations and the options.
RunTables run_tables(const WalkOptions& opt);

inline std::size_t index_of(WalkState s) {
    return static_cast<std::size_t>(s);
}

// What of the open tag decides which attribute edits may act: its kind,
// and whether a table is open.
inline std::size_t edit_case(const EditState& st) {
    return 2 * static_cast<std::size_t>(st.tag_kind) + (st.table_depth > 0);
}

// The roles of the bytes in state i of the walk in edit case e, and the
// pair rules in force there.
inline const StopRoles& roles_in(const RunTables& t, const RunTables::EditCase& e, std::size_t i,
                                 std::uint32_t& rules) {
    rules = e.rules[i];
    return (e.attrs >> i & 1) ? t.with_attrs[i] : t.bare[i];
}

// walk_runs from the cursor on a byte that is not a stop, in the state
// given, with its roles and rules.
std::size_t walk_runs_from(EditState& st, const RunTables& t, WalkState state,
                           const StopRoles* roles, std::uint32_t rules);

// Walks from the cursor the runs of bytes that no check acts on (inside a
// tag, letters may change case under -c or -s), and between them the bytes
// whose check declares its step, with that step, and those that only move
// the tag reader. Stops on the first byte that needs the other checks;
// returns how many bytes it walked.
inline std::size_t walk_runs(EditState& st, const RunTables& t) {
    const WalkState state = walk_state(st);
    std::uint32_t rules;
    const StopRoles& roles = roles_in(t, t.cases[edit_case(st)], index_of(state), rules);
    // Where one stop follows another, the first byte settles it.
    const unsigned char c = st.line_buf.peek();
    if (c == 0 || roles.role[c] == StopRole::stop) return 0;
    return walk_runs_from(st, t, state, &roles, rules);
}

}  // namespace tagpolish

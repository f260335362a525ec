// Runs of bytes that the walk would pass over unchanged, found with one
// table look-up per byte instead of the full list of checks.
#pragma once

#include <array>
#include <cstddef>

#include "engine/scanner.h"

namespace tagpolish {

// What a byte means to a run: it can be passed over alone, it begins a
// double-byte character, or a check of the walk may act on it.
enum class RunRole : unsigned char { plain, lead, stop };

// The byte roles for the option flags in force when they were built.
struct RunTables {
    std::array<RunRole, 256> text{};      // outside tags, comments and scripts
    std::array<RunRole, 256> tag{};       // inside a tag, no quote open
    std::array<bool, 256> wide_stop{};    // second bytes after 0x82 that -n or -a may convert
    std::array<bool, 256> skip_stop{};    // inside comments and scripts
    std::array<bool, 256> quoted_stop{};  // inside a quoted value, besides the quote itself
    bool tag_runs = false;                // whether the options leave some tags to runs
};

// Builds the tables from the current option flags.
RunTables run_tables();

// How many bytes from the cursor the checks would walk over without any
// edit or change of state; 0 when the byte at the cursor needs them.
std::size_t plain_run(const EditState& st, const RunTables& t);

}  // namespace tagpolish

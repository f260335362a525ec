// Runs of bytes that the walk would pass over without any check acting,
// found with one table look-up per byte instead of the full list of checks.
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
    std::array<RunRole, 256> tag_attr{};  // the same where an attribute edit may act
    std::array<bool, 256> wide_stop{};    // second bytes after 0x82 that -n or -a may convert
    std::array<bool, 256> skip_stop{};    // inside comments and scripts
    std::array<bool, 256> style_stop{};   // inside style blocks
    std::array<bool, 256> quoted_stop{};  // inside a quoted value, besides the quote itself
    bool tag_case = false;                // -c or -s changes letters inside tags
    bool text_low = false;                // every stop of `text` lies below 0x40
    bool tag_low = false;                 // every stop of `tag` lies below 0x40
    bool text_kana = false;               // -k: walk_kana converts half-width katakana
};

// Builds the tables from the current option flags.
RunTables run_tables();

// How many bytes from the cursor the checks would walk over without an
// edit or a change of state (inside a tag, letters may change case under
// -c or -s); 0 when the byte at the cursor needs the checks.
std::size_t plain_run(const EditState& st, const RunTables& t);

// Walks the run of n bytes that plain_run found, changing the case of the
// letters in it where the open tag asks for that.
void walk_run(EditState& st, const RunTables& t, std::size_t n);

// A half-width katakana byte.
inline bool is_half_kana(unsigned char c) {
    return c >= 0xA1 && c <= 0xDF;
}

// Converts the half-width katakana at the cursor, under -k, when it stands
// in text. True when there were any: another run may follow them.
bool walk_kana(EditState& st);

}  // namespace tagpolish

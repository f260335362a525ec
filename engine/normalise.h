// Character normalisation: full-width digits and letters to ASCII (-n, -a),
// half-width katakana to full-width (-k), letter case inside tags (-c, -s).
#pragma once

#include "engine/edits.h"
#include "engine/line_buf.h"
#include "lib/walk_options.h"

namespace tagpolish {

// The conversion tables as Shift_JIS bytes; they pair up by position.
extern const char zen_alnum[];   // 62 full-width digits and letters
extern const char han_alnum[];   // their 62 ASCII counterparts
extern const char han_kana[];    // the 63 half-width katakana bytes 0xA1-0xDF
extern const char zen_kana[];    // their 63 full-width characters
extern const char han_dakuon[];  // 26 half-width pairs with a sound mark
extern const char zen_dakuon[];  // their 26 full-width characters

// Each of these walks one character at the cursor, converting it when an
// option asks, and adds the characters it converted to counts.

// The cursor is on a double-byte character outside quoted values: converts a
// full-width digit (-n) or letter (-a), else walks the character.
void walk_double_byte(LineBuf& line, const WalkOptions& opt, EditCounts& counts);

// The cursor is on a byte of text outside tags: converts half-width
// katakana under -k, else walks the byte.
void walk_text_byte(LineBuf& line, const WalkOptions& opt, EditCounts& counts);

// The length of the "#" fragment at the start of rest: the "#", the blanks
// after it and the characters up to ">", a blank or the end (a line end
// included). Nothing in a fragment is edited.
std::size_t fragment_length(std::string_view rest);

// The cursor is on a byte inside a tag where letters change case (a name,
// or a caseless value): walks it, changing its case under -s or -c.
void walk_tag_byte(LineBuf& line, const WalkOptions& opt, EditCounts& counts);

// The letters that -s or -c changes inside tags, and by how much. (Read
// once per run of the walk: writes into the line could alias the option
// flags.)
struct CaseChange {
    unsigned char first = 1, last = 0;  // none
    int by = 0;

    unsigned char of(unsigned char c) const {
        return c >= first && c <= last ? static_cast<unsigned char>(c + by) : c;
    }
};
CaseChange tag_case(const WalkOptions& opt);

}  // namespace tagpolish

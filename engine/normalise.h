// Character normalisation: full-width digits and letters to ASCII (-n, -a),
// half-width katakana to full-width (-k), letter case inside tags (-c, -s).
#pragma once

#include "engine/line_buf.h"

namespace tagpolish {

// The conversion tables as Shift_JIS bytes; they pair up by position.
extern const char zen_alnum[];   // 62 full-width digits and letters
extern const char han_alnum[];   // their 62 ASCII counterparts
extern const char han_kana[];    // the 63 half-width katakana bytes 0xA1-0xDF
extern const char zen_kana[];    // their 63 full-width characters
extern const char han_dakuon[];  // 26 half-width pairs with a sound mark
extern const char zen_dakuon[];  // their 26 full-width characters

// The cursor is on a double-byte character outside quoted values: converts a
// full-width digit (-n) or letter (-a), else walks the character.
void walk_double_byte(LineBuf& line);

// The cursor is on a byte of text outside tags: converts half-width
// katakana under -k, else walks the byte.
void walk_text_byte(LineBuf& line);

// The cursor is on a byte inside a tag, outside quoted values, that no
// attribute removal took. Passes over a "#" fragment, leaving the cursor on
// the byte that ends it (to be examined afresh), or walks the byte, changing
// its case under -s or -c.
void walk_tag_byte(LineBuf& line);

// Walks n bytes inside a tag, outside quoted values, that hold whole
// characters and no byte that any other check acts on ("#", a quote, the
// start of an attribute name an edit looks for): walk_tag_byte over each.
void walk_tag_run(LineBuf& line, std::size_t n);

}  // namespace tagpolish

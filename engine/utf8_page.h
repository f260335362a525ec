// Moving a page to UTF-8 (--to-utf8): a stage after the walk, on the text
// as it is to be written, line ends and all. Every declaration of
// Shift_JIS the browser reads (the meta tags' charsets, the XML
// declaration's encoding, a style sheet's @charset) is made to say UTF-8 in
// place; a page with no meta declaration gets one near its top; a form that
// posts to another site keeps sending Shift_JIS; the text is decoded as
// browsers decode Shift_JIS. Nothing else changes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "engine/edits.h"

namespace tagpolish {

// What a text is: a page, whose markup is read, or a file a page loads.
enum class Utf8Kind : unsigned char { page, style_sheet, script };

struct Utf8Settings {
    Utf8Kind kind = Utf8Kind::page;
    bool replace = false;   // a sequence that makes no character becomes U+FFFD
    bool end_mark = false;  // the text ended at a 0x1A mark, which it keeps
    // Whether the script file that a page's <script src=...> names is
    // converted too, so that its charset may say UTF-8; none is when unset.
    std::function<bool(std::string_view src)> script_converted{};
};

// Where a text first fails to convert: its line and the byte in that line,
// both from 1.
struct Utf8Failure {
    std::uint64_t line = 0, byte = 0;
};

// A text in UTF-8.
struct Utf8Text {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    std::string_view view() const { return {bytes.get(), size}; }
};

// Converts text into out, counting what it changed. False (out is then
// of no use) when a byte sequence makes no character and replace is not
// set.
bool convert_to_utf8(std::string_view text, const Utf8Settings& how, Utf8Text& out,
                     EditCounts& counts, Utf8Failure& failure);

// The declaration a page without one gets.
inline constexpr std::string_view utf8_meta = "<meta charset=\"UTF-8\">";

// Whether name (blanks around it and letter case aside) is a name of
// Shift_JIS.
bool names_shift_jis(std::string_view name);

}  // namespace tagpolish

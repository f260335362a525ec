// The edits the program makes, each named once: the name that --report
// gives it, and the count of its acts that the engine keeps for a page.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace tagpolish {

enum class Edit : unsigned char {
    link_tags,      // -d:a: <a ...> and </a> removed
    image_tags,     // -d:i
    font_tags,      // -d:f: <font ...> and </font> removed
    bgsound_tags,   // -d:o
    comments,       // -d:c
    bgcolor,        // -d:b: bgcolor= attributes removed
    font_sizes,     // -d:s
    table_aligns,   // -d:l: align= and valign= removed inside tables
    charsets,       // -d:h: charset= settings removed
    full_width,     // -n, -a: full-width digits, letters and their punctuation
    katakana,       // -k: half-width katakana made full-width
    letter_case,    // -c, -s: letters inside tags changed in case
    joined,         // -j: line ends removed
    links,          // -u: references flattened
    offsite_links,  // -u: references to other sites left as they were
    base_refs,      // -u: base references removed
    // The conversion to UTF-8 (--to-utf8), after the walk:
    utf8_declarations,  // declarations of Shift_JIS made to say UTF-8
    utf8_declared,      // a UTF-8 declaration put in a page that had none
    utf8_characters,    // characters beyond ASCII converted
    utf8_replaced,      // sequences that make no character become U+FFFD
    forms_marked,       // forms that post to another site keep Shift_JIS
    scripts_kept,       // script charsets of Shift_JIS left as they were
};

struct EditName {
    Edit edit;
    const char* name;  // as --report names it
};

// In the order of a report line.
inline constexpr EditName edit_names[] = {
    {Edit::link_tags, "link tags"},
    {Edit::image_tags, "image tags"},
    {Edit::font_tags, "font tags"},
    {Edit::bgsound_tags, "bgsound tags"},
    {Edit::comments, "comments"},
    {Edit::bgcolor, "bgcolor attributes"},
    {Edit::font_sizes, "font sizes"},
    {Edit::table_aligns, "table alignments"},
    {Edit::charsets, "charset settings"},
    {Edit::full_width, "full-width characters"},
    {Edit::katakana, "half-width katakana"},
    {Edit::letter_case, "letters cased"},
    {Edit::joined, "lines joined"},
    {Edit::links, "links flattened"},
    {Edit::offsite_links, "off-site links passed over"},
    {Edit::base_refs, "base references"},
    {Edit::utf8_declarations, "declarations made UTF-8"},
    {Edit::utf8_declared, "declarations added"},
    {Edit::utf8_characters, "characters converted"},
    {Edit::utf8_replaced, "characters replaced"},
    {Edit::forms_marked, "forms marked Shift_JIS"},
    {Edit::scripts_kept, "script charsets kept"},
};
inline constexpr std::size_t edit_count = std::size(edit_names);
static_assert(edit_count == static_cast<std::size_t>(Edit::scripts_kept) + 1,
              "every edit has its name");

// How many times each edit acted, by Edit.
using EditCounts = std::array<std::uint64_t, edit_count>;

inline void count_edit(EditCounts& counts, Edit edit, std::uint64_t n = 1) {
    counts[static_cast<std::size_t>(edit)] += n;
}

}  // namespace tagpolish

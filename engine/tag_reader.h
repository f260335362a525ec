// The tag reader: how the bytes inside a tag split into the tag's name,
// the names of its attributes and their values, as a browser splits a
// start tag. A quote opens a value only where a value begins (right after
// "=" and its blanks); anywhere else it is a byte of a name or of an
// unquoted value. Inside a declaration ("<!DOCTYPE ...") a quote opens and
// closes anywhere. The walk, the fast walk, the tag removals and the
// paragraph rule of -j all read tags through this one table.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "engine/line_buf.h"
#include "lib/sjstr.h"

namespace tagpolish {

// Where the reader stands inside a tag.
enum class TagRead : unsigned char {
    name,            // the tag's own name
    before_attr,     // where an attribute name may begin: blanks, or after "/" or a quoted value
    attr_name,       // an attribute name
    after_attr,      // blanks after an attribute name, where "=" may follow
    before_value,    // after "=", blanks before the value
    value,           // an unquoted value
    caseless_value,  // an unquoted value that HTML reads without regard to letter case
    double_quoted,
    single_quoted,
    declaration,  // a tag that begins "<!": quotes open and close anywhere
    declaration_double,
    declaration_single,
};
inline constexpr std::size_t tag_read_count = 12;

constexpr std::size_t index_of(TagRead r) {
    return static_cast<std::size_t>(r);
}

// Blanks inside a tag (is_tag_blank, lib/sjstr.h) end names and unquoted
// values; the line end is one of them.

// The state that byte c leads to from state r. A byte that begins a
// double-byte character reads as any letter would, and so does its second
// byte, which is never a byte that moves the reader. A ">" outside quoted
// values leaves the state as it is: it closes the tag, which is the walk's.
constexpr TagRead next_read(TagRead r, unsigned char c) {
    using enum TagRead;
    switch (r) {
        case name:
            return is_tag_blank(c) || c == '/' ? before_attr : name;
        case before_attr:
        case after_attr:
            if (c == '>') return r;
            if (is_tag_blank(c)) return r;
            if (c == '/') return before_attr;
            return r == after_attr && c == '=' ? before_value : attr_name;
        case attr_name:
            if (is_tag_blank(c)) return after_attr;
            if (c == '/') return before_attr;
            return c == '=' ? before_value : attr_name;
        case before_value:
            if (is_tag_blank(c) || c == '>') return before_value;
            return c == '"' ? double_quoted : c == '\'' ? single_quoted : value;
        case value:
        case caseless_value:
            return is_tag_blank(c) ? before_attr : r;
        case double_quoted:
            return c == '"' ? before_attr : r;
        case single_quoted:
            return c == '\'' ? before_attr : r;
        case declaration:
            return c == '"' ? declaration_double : c == '\'' ? declaration_single : r;
        case declaration_double:
            return c == '"' ? declaration : r;
        case declaration_single:
            return c == '\'' ? declaration : r;
    }
    return r;
}

// next_read for every state and byte, looked up as the walk goes.
struct TagReadTable {
    std::array<std::array<TagRead, 256>, tag_read_count> next{};
    constexpr TagReadTable() {
        for (std::size_t r = 0; r < tag_read_count; ++r)
            for (int c = 0; c < 256; ++c)
                next[r][c] = next_read(static_cast<TagRead>(r), static_cast<unsigned char>(c));
    }
};
inline constexpr TagReadTable tag_reads;

// Inside a quoted value, where the walk edits nothing but "charset=".
constexpr bool is_quoted(TagRead r) {
    return r == TagRead::double_quoted || r == TagRead::single_quoted ||
           r == TagRead::declaration_double || r == TagRead::declaration_single;
}

// Where -c and -s change letters: the tag's name, attribute names, the
// values of the attributes in caseless_attributes, and declarations.
constexpr bool letters_change_case(TagRead r) {
    return r == TagRead::name || r == TagRead::attr_name || r == TagRead::caseless_value ||
           r == TagRead::declaration;
}

// Where an attribute name stands or may begin: the attribute edits look
// for their names there, also at the end of a longer name (lowsrc=).
constexpr bool at_attr_name(TagRead r) {
    return r == TagRead::before_attr || r == TagRead::attr_name || r == TagRead::after_attr;
}

// Whether a "<" followed by byte c opens a tag: a letter, "/", "!" or "?".
// Any other "<" is text, as browsers read it.
constexpr bool opens_tag(unsigned char c) {
    return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '/' || c == '!' || c == '?';
}

// The attributes whose values HTML reads without regard to letter case;
// only their unquoted values change case under -c and -s.
inline constexpr std::array<std::string_view, 29> caseless_attributes = {
    "align",       "valign",   "clear",    "color",     "bgcolor", "text",
    "link",        "vlink",    "alink",    "method",    "shape",   "scrolling",
    "frameborder", "dir",      "language", "nowrap",    "checked", "selected",
    "disabled",    "readonly", "multiple", "noshade",   "compact", "noresize",
    "frame",       "rules",    "behavior", "direction", "loop"};

// Whether name (any letter case) is one of caseless_attributes.
bool is_caseless_attribute(std::string_view name);

// The reader as the walk carries it from byte to byte and line to line.
struct TagReader {
    TagRead state = TagRead::name;
    // Only -c and -s need to know which attribute a value belongs to, so
    // the rest is only followed while letters change case. The name is
    // looked up where an unquoted value begins, or where the line ends
    // before that (when its walked bytes go).
    std::size_t name_at = 0, name_size = 0;  // in the walked bytes of the line
    bool name_unread = false;                // the last name read is yet to be looked up
    bool caseless = false;                   // it takes a caseless value

    // Starts reading a tag after its "<" (a declaration after "<!").
    void start(bool is_declaration) {
        state = is_declaration ? TagRead::declaration : TagRead::name;
        name_unread = caseless = false;
    }
    // Reads byte c, which stands at the cursor of line and is not yet
    // walked; `cases` says whether letters change case.
    void read(unsigned char c, const LineBuf& line, bool cases) {
        enter(tag_reads.next[index_of(state)][c], line, cases);
    }
    // Moves to state `to`, which the byte at the cursor leads to.
    void enter(TagRead to, const LineBuf& line, bool cases) {
        state = cases ? follow_name(to, line) : to;
    }
    // Where the walk of a line ends inside the tag, and its walked bytes
    // go. (A name still being read there runs on past a line end that a
    // comment holds: it is no name that takes a caseless value.)
    void line_ends(const LineBuf& line) {
        if (name_unread) look_up_name(line);
        if (state == TagRead::attr_name) name_at = std::string_view::npos;
    }

  private:
    // The state that `to` is for the names and values read so far.
    TagRead follow_name(TagRead to, const LineBuf& line) {
        if (to == TagRead::attr_name) {
            if (state != TagRead::attr_name) name_at = line.walked_size();
        } else if (state == TagRead::attr_name) {
            const std::size_t walked = line.walked_size();
            name_size = walked > name_at ? walked - name_at : 0;
            name_unread = true;
        } else if (to == TagRead::value) {
            if (name_unread) look_up_name(line);
            if (caseless) return TagRead::caseless_value;
        }
        return to;
    }
    // Finds out whether the last name read, in the walked bytes of line,
    // takes a caseless value.
    void look_up_name(const LineBuf& line);
};

// A search for the ">" that ends a tag, reading it as the walk does and
// stepping over comments ("<!--" outside quoted values, to "-->"). Its
// state carries over from one line to the next.
struct TagEnd {
    TagRead read = TagRead::name;
    bool in_comment = false;
    // Whether a "<" that opens a tag, outside quoted values and comments,
    // ends the search too: the tag lacks its ">" there, as the walk finds.
    bool stops_at_tags = false;
    bool at_tag = false;  // the search ended at such a "<"

    // The position after the ">" that ends the tag, searching text from k;
    // or that of a "<" that opens a tag before it (see stops_at_tags); npos
    // when the text ends first.
    std::size_t find(std::string_view text, std::size_t k);
};

}  // namespace tagpolish

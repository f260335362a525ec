#include "engine/tag_removal.h"

#include "engine/tag_reader.h"
#include "engine/tag_names.h"
#include "lib/options.h"

namespace tagpolish {
namespace {

// Where the search of a removal stands: a position in the working line's
// unwalked text, and the lines taken so far.
struct Search {
    LineBuf& line;
    LineSource& in;
    std::size_t k;
    std::int64_t count;

    // Replaces everything from the construct's start with the next line of
    // the input. False when the input has no further line.
    bool next_line() {
        // The walked bytes must be kept before the source moves on.
        line.keep_walked();
        std::string_view next = in.next_line();
        if (!next.data()) return false;
        line.continue_with(next);
        k = 0;
        ++count;
        return true;
    }
    // Cuts the construct out: from the cursor through the byte before k.
    std::int64_t finish() {
        line.remove(k - line.pos);
        return count;
    }
};

}  // namespace

std::int64_t remove_tag(std::int64_t line_no, LineBuf& line, LineSource& in) {
    // The tag is read as the walk reads tags, from the byte after its "<".
    Search s{line, in, line.pos + 1, line_no};
    TagEnd end;
    for (;;) {
        const std::size_t after = end.find(line.text, s.k);
        if (after != std::string_view::npos) {
            s.k = after;
            return s.finish();
        }
        if (!s.next_line()) return -1;
    }
}

std::int64_t remove_comment(std::int64_t line_no, LineBuf& line, LineSource& in) {
    Search s{line, in, line.pos, line_no};
    for (;;) {
        std::size_t end = std::string_view(line.text).find("-->", s.k);
        if (end != std::string_view::npos) {
            s.k = end + 3;
            return s.finish();
        }
        if (!s.next_line()) return -1;
    }
}

namespace {

// The tag whose "<" is at p, when an option asks that it go: the edit
// that removes it, and whether it is a start tag (removed through its
// ">", wherever that is) rather than an end tag of known length.
struct Doomed {
    Edit edit;
    std::size_t end_length;  // 0 for a start tag
};

bool doomed_tag(const char* p, Doomed& doomed) {
    // The letter after "<" picks the names to compare.
    switch (p[1] | 0x20) {
        case '/':
            if (del_a && at(p, "</a>", 4)) return doomed = {Edit::link_tags, 4}, true;
            if (del_f && at(p, "</font>", 7)) return doomed = {Edit::font_tags, 7}, true;
            return false;
        case 'a':
            // A link is "<a" and the end of the name; the other names are
            // prefixes.
            if (del_a && at(p, "<a", 2) && (ends_tag_name(p[2]) || p[2] == '\0'))
                return doomed = {Edit::link_tags, 0}, true;
            return false;
        case 'i':
            if (del_i && at(p, "<img", 4)) return doomed = {Edit::image_tags, 0}, true;
            return false;
        case 'f':
            if (del_f && at(p, "<font", 5)) return doomed = {Edit::font_tags, 0}, true;
            return false;
        case 'b':
            if (del_o && at(p, "<bgsound", 8)) return doomed = {Edit::bgsound_tags, 0}, true;
            return false;
        default:
            return false;
    }
}

}  // namespace

Removal remove_tag_at(EditState& st) {
    LineBuf& line = st.line_buf;
    Doomed doomed;
    if (!doomed_tag(line.cur(), doomed)) return Removal::none;
    if (doomed.end_length) {
        line.remove(doomed.end_length);
    } else {
        std::int64_t count = remove_tag(st.line_no, line, *st.in);
        if (count < 0) return Removal::unclosed;
        st.line_no = count;
    }
    count_edit(st.counts, doomed.edit);
    return Removal::removed;
}

}  // namespace tagpolish

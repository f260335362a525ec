#include "engine/join.h"

#include <string_view>

#include "engine/tag_reader.h"
#include "lib/sjstr.h"

namespace tagpolish {
namespace {

// A byte of ASCII text that shows as a character: a line end next to one
// shows as a blank in a browser, so joining there needs one.
bool shows_as_ascii(unsigned char c) {
    return c > 0x20 && c < 0x7F;
}

// Whether walked byte k back is a byte of its own, not the second byte of
// a double-byte character. A byte that is no lead byte always ends a
// character, so only the lead bytes right before it count, and they pair
// up among themselves.
bool walked_alone(const LineBuf& line, std::size_t k) {
    std::size_t leads = 0;
    while (is_lead_byte(static_cast<unsigned char>(line.walked_back(k + 1 + leads)))) ++leads;
    return leads % 2 == 0;
}

}  // namespace

void put_owed_blank(EditState& st, unsigned char first) {
    if (!st.blank_owed) return;
    st.blank_owed = false;
    if (shows_as_ascii(first)) st.out->put(" ");
}

void paragraph_rule(EditState& st) {
    if (st.in_pre != Preformatted::none) return;
    const LineBuf& line = st.line_buf;
    const char* p = line.cur();
    if (StrnCmp(p, "<p ", 3) != 0 && StrnCmp(p, "<p\t", 3) != 0 && StrnCmp(p, "<p>", 3) != 0)
        return;
    std::string_view rest = line.rest();
    // The tag ends at the ">" where the tag reader ends it, not at one in a
    // quoted value; one that runs on to a later line gets no newline.
    TagEnd end;
    std::size_t stop = end.find(rest, 2);
    if (stop == std::string_view::npos) return;
    for (;;) {
        if (stop < rest.size() && (rest[stop] == ' ' || rest[stop] == '\t')) {
            stop += 1;
        } else if (rest.substr(stop, 2) == "\x81\x40") {  // full-width space
            stop += 2;
        } else {
            break;
        }
    }
    // Nothing but blanks after the tag at the end of the input: no text
    // follows that needs a line of its own.
    if (st.nl_kept_flg || stop == rest.size()) return;
    st.out->put_newline();
    st.blank_owed = false;  // the newline stands between the two lines
}

void newline_rule(EditState& st) {
    LineBuf& line = st.line_buf;
    const std::string_view first = line.made().empty() ? line.kept() : line.made();
    put_owed_blank(st, first.empty() ? 0 : static_cast<unsigned char>(first[0]));
    if (line.peek() == 0) {
        st.nl_kept_flg = 0;
        return;
    }
    if (!st.opt.j || st.in_pre != Preformatted::none) return;
    // A newline inside a tag separates attributes, and one inside a script
    // (or a comment, which often hides one) may end a "//" comment: joining
    // there would change the markup or the code. Style sheets keep theirs.
    if (st.in_tag || st.in_block()) return;
    // A "\r" before the newline belongs to the line end (a page whose line
    // ends were mixed up in transfer): the byte before it decides, and a
    // line that holds nothing else is empty.
    const std::size_t cr = line.walked_back(0) == '\r' && walked_alone(line, 0) ? 1 : 0;
    if (line.walked_size() == cr) return;
    const auto last = static_cast<unsigned char>(line.walked_back(cr));
    if (last == '>') {
        st.nl_kept_flg = 1;
        return;
    }
    // The second byte of a double-byte character may be an ASCII byte, but
    // it is Japanese text, which needs no blank.
    st.blank_owed = shows_as_ascii(last) && walked_alone(line, cr);
    if (cr) line.drop_last_walked();
    line.remove(1);
    count_edit(st.counts, Edit::joined);
    st.nl_kept_flg = 0;
}

}  // namespace tagpolish

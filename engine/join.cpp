#include "engine/join.h"

#include "engine/tag_reader.h"
#include "lib/options.h"
#include "lib/sjstr.h"

namespace tagpolish {

bool paragraph_rule(EditState& st) {
    LineBuf& line = st.line_buf;
    const char* p = line.cur();
    if (StrnCmp(p, "<p ", 3) != 0 && StrnCmp(p, "<p\t", 3) != 0 && StrnCmp(p, "<p>", 3) != 0)
        return false;
    std::string_view rest = line.rest();
    // The tag ends at the ">" where the tag reader ends it, not at one in a
    // quoted value.
    TagEnd end;
    std::size_t stop = end.find(rest, 2);
    if (stop == std::string_view::npos) return false;
    for (;;) {
        if (stop < rest.size() && (rest[stop] == ' ' || rest[stop] == '\t')) {
            stop += 1;
        } else if (rest.substr(stop, 2) == "\x81\x40") {  // full-width space
            stop += 2;
        } else {
            break;
        }
    }
    if (!st.nl_kept_flg && stop < rest.size()) st.out->put_newline();
    line.advance(stop);
    return true;
}

namespace {

// Whether the last walked byte is a "\r" of its own, not the second byte of
// a double-byte character. A byte that is no lead byte always ends a
// character, so only the lead bytes right before the "\r" count, and they
// pair up among themselves.
bool walked_lone_cr(const LineBuf& line) {
    if (line.walked_back(0) != '\r') return false;
    std::size_t leads = 0;
    while (is_lead_byte(static_cast<unsigned char>(line.walked_back(leads + 1)))) ++leads;
    return leads % 2 == 0;
}

}  // namespace

void newline_rule(EditState& st) {
    LineBuf& line = st.line_buf;
    if (line.peek() == 0) {
        st.nl_kept_flg = 0;
        return;
    }
    if (!opt_j || st.in_pre != Preformatted::none) return;
    // A newline inside a tag separates attributes, and one inside a script
    // (or a comment, which often hides one) may end a "//" comment: joining
    // there would change the markup or the code. Style sheets keep theirs.
    if (st.in_tag || st.in_block()) return;
    // A "\r" before the newline belongs to the line end (a page whose line
    // ends were mixed up in transfer): the byte before it decides, and a
    // line that holds nothing else is empty.
    std::size_t cr = walked_lone_cr(line) ? 1 : 0;
    if (line.walked_size() == cr) return;
    if (line.walked_back(cr) == '>') {
        st.nl_kept_flg = 1;
        return;
    }
    if (cr) line.drop_last_walked();
    line.remove(1);
    count_edit(st.counts, Edit::joined);
    st.nl_kept_flg = 0;
}

}  // namespace tagpolish

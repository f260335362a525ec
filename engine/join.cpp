#include "engine/join.h"

#include "driver/options.h"
#include "lib/sjstr.h"

namespace tagpolish {

bool paragraph_rule(EditState& st) {
    LineBuf& line = st.line_buf;
    const char* p = line.cur();
    if (StrnCmp(p, "<p ", 3) != 0 && StrnCmp(p, "<p\t", 3) != 0 && StrnCmp(p, "<p>", 3) != 0)
        return false;
    std::string_view rest = line.rest();
    std::size_t gt = rest.find('>', 2);
    if (gt == std::string_view::npos) return false;
    std::size_t stop = gt + 1;
    for (;;) {
        if (stop < rest.size() && (rest[stop] == ' ' || rest[stop] == '\t')) {
            stop += 1;
        } else if (rest.substr(stop, 2) == "\x81\x40") {  // full-width space
            stop += 2;
        } else {
            break;
        }
    }
    if (!st.nl_kept_flg && stop < rest.size()) st.out->put("\n");
    line.advance(stop);
    return true;
}

void newline_rule(EditState& st) {
    LineBuf& line = st.line_buf;
    if (line.peek() == 0) {
        st.nl_kept_flg = 0;
        return;
    }
    if (!opt_j || line.at_line_start() || st.in_pre) return;
    // A newline inside a tag separates attributes, and one inside a script
    // (or a comment, which often hides one) may end a "//" comment: joining
    // there would change the markup or the code. Style sheets keep theirs.
    if (st.in_tag || st.in_block()) return;
    if (line.last_walked() == '>') {
        st.nl_kept_flg = 1;
        return;
    }
    line.remove(1);
    st.nl_kept_flg = 0;
}

}  // namespace tagpolish

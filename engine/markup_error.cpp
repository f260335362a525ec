#include "engine/markup_error.h"

#include "engine/edit_state.h"
#include "lib/page_text.h"

namespace tagpolish {

// A quote is cut from the bytes the line buffer keeps of a line it writes
// in place; the cut looks one byte past its end.
static_assert(LineBuf::head_kept > msg_len_max + 1);

void LineQuote::take(std::int64_t line_no, std::string_view source_line) {
    if (source_line.ends_with('\n')) source_line.remove_suffix(1);
    line = line_no;
    text.assign(source_line.substr(0, whole_characters(source_line, msg_len_max)));
}

void markup_error(const EditState& st, MarkupFormat fmt, PagePlace at, const LineQuote& quote) {
    if (st.out) st.out->flush();
    const char* text = quote.line == at.line ? quote.text.c_str() : "";
    errmsg(fmt, st.path, at.line, at.column, PageText{text});
}

void markup_error(const EditState& st, MarkupFormat fmt, PagePlace at) {
    LineQuote quote;
    quote.take(at.line, st.line_buf.as_read());
    markup_error(st, fmt, at, quote);
}

// The cursor's index in the working line is its byte's in the line as the
// source handed it out: edits only skip bytes there or write over them
// (the bytes that a link flattening moves up are an attribute's name and
// its "=", where no bracket error stands).
PagePlace cursor_place(const EditState& st) {
    return {st.line_no, static_cast<std::int64_t>(st.line_buf.pos) + 1};
}

void quote_open_tag(EditState& st) {
    if (st.in_tag && st.tag_began.line == st.line_no)
        st.tag_quote.take(st.line_no, st.line_buf.as_read());
}

}  // namespace tagpolish

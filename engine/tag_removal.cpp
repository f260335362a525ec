#include "engine/tag_removal.h"

#include "engine/tag_names.h"
#include "engine/tag_reader.h"

namespace tagpolish {
namespace {

// Where the search of a removal stands: a position in the working line's
// unwalked text, and the lines taken so far.
struct Search {
    EditState& st;
    LineQuote* quote;  // keeps the construct's first line, once the search leaves it
    std::size_t k;
    std::int64_t count;
    bool moved = false;  // further lines were taken
    LineMark from = 0;   // then: the construct's first line

    // Replaces everything from the construct's start with the next line of
    // the input. False when the input has no further line.
    bool next_line() {
        if (!moved) {
            moved = true;
            from = st.in->mark();
            quote_open_tag(st);
            if (quote) quote->take(count, st.line_buf.as_read());
        }
        // The walked bytes must be kept before the source moves on.
        st.line_buf.keep_walked();
        std::string_view next = st.in->next_line();
        if (!next.data()) return false;
        st.line_buf.continue_with(next);
        st.source_line = next;
        k = 0;
        ++count;
        return true;
    }
    // Cuts the construct out: from the cursor through the byte before k.
    void finish() {
        st.line_buf.remove(k - st.line_buf.pos);
        st.line_no = count;
    }
};

// The tag to remove lacks its ">" before the "<" at inner, where another
// tag opens. The walk would refuse the page there; under -i the tag stays
// as it stands, and the walk goes back to its "<" at `at` to walk it.
Removal lacks_end(Search& s, std::size_t at, std::size_t inner) {
    EditState& st = s.st;
    if (!st.opt.i) {
        st.line_no = s.count;
        markup_error(st, msg_lt_open, {s.count, static_cast<std::int64_t>(inner) + 1});
        return Removal::refused;
    }
    if (s.moved) {
        st.in->rewind(s.from);
        st.source_line = st.in->next_line();
        st.line_buf.resume(st.source_line, at);
    }
    return Removal::none;
}

// Removes the start tag whose "<" is at the cursor, read as the walk reads
// tags, from the byte after its "<".
Removal remove_tag(EditState& st) {
    LineBuf& line = st.line_buf;
    const std::size_t at = line.pos;
    Search s{st, nullptr, at + 1, st.line_no};
    TagEnd end;
    end.stops_at_tags = true;
    for (;;) {
        const std::size_t stop = end.find(line.text, s.k);
        if (stop != std::string_view::npos) {
            if (end.at_tag) return lacks_end(s, at, stop);
            s.k = stop;
            s.finish();
            return Removal::removed;
        }
        if (!s.next_line()) {
            markup_error(st, msg_removed_open, st.tag_began, st.tag_quote);
            return Removal::refused;
        }
    }
}

}  // namespace

bool remove_comment(EditState& st) {
    LineBuf& line = st.line_buf;
    const PagePlace began = cursor_place(st);
    // "<!-->" does not close the comment it opens.
    Search s{st, &st.comment_quote, line.pos + 4, st.line_no};
    for (;;) {
        std::size_t end = std::string_view(line.text).find("-->", s.k);
        if (end != std::string_view::npos) {
            s.k = end + 3;
            s.finish();
            return true;
        }
        if (!s.next_line()) {
            markup_error(st, msg_comment_open, began, st.comment_quote);
            return false;
        }
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

bool doomed_tag(const WalkOptions& opt, const char* p, Doomed& doomed) {
    const TagName* row =
        tag_at<TagUse::removal>(p, [&](const TagName& r) { return opt.*r.option != 0; });
    if (row == nullptr) return false;
    doomed = {row->removal, row->end_length()};
    return true;
}

}  // namespace

Removal remove_tag_at(EditState& st) {
    LineBuf& line = st.line_buf;
    Doomed doomed;
    if (!st.removes_tags || !doomed_tag(st.opt, line.cur(), doomed)) return Removal::none;
    if (doomed.end_length) {
        line.remove(doomed.end_length);
    } else if (const Removal done = remove_tag(st); done != Removal::removed) {
        return done;
    }
    count_edit(st.counts, doomed.edit);
    return Removal::removed;
}

}  // namespace tagpolish

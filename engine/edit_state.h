// The engine's state for one input, shared by the scanner and the edits
// that it hooks into its walk, so that the edits need not know the scanner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/block_search.h"
#include "engine/blocks.h"
#include "engine/edits.h"
#include "engine/line_buf.h"
#include "engine/line_io.h"
#include "engine/markup_error.h"
#include "engine/tag_names.h"
#include "engine/tag_reader.h"
#include "lib/walk_options.h"

namespace tagpolish {

// The kinds of tag (one bit each) that the attribute edits asked for by the
// options act in; a table is told apart where an edit acts only inside one.
unsigned tag_kinds_needed(const WalkOptions& opt);

struct EditState;

// Hands st the options of its walk, and what they make it tell apart.
void take_options(EditState& st, const WalkOptions& opt);

// The engine's state for one input; every field starts at zero but the
// options and the kinds of tag told apart, which they give.
struct EditState {
    WalkOptions opt;  // what the walk is asked to do
    LineBuf line_buf;
    std::int64_t line_no = 0;      // lines taken from the line source so far
    std::string_view source_line;  // the line walked, as the source handed it out
    int in_comment = 0;
    int in_script = 0;
    BlockKind raw_block = BlockKind::none;  // the raw block the walk is in
    int in_tag = 0;
    BlockKind tag_opens = BlockKind::none;  // what the open tag opens at its ">"
    TagReader tag;                          // how far the open tag is read
    PagePlace tag_began;                    // where the open tag's "<" stands
    LineQuote tag_quote;                    // its line, once the walk has left it
    LineQuote comment_quote;                // the line where a comment being removed began
    Preformatted in_pre = Preformatted::none;
    int nl_kept_flg = 0;      // the last joined-or-not line kept its newline
    bool blank_owed = false;  // the last line was joined after ASCII text
    TagKind tag_kind = TAG_NONE;
    unsigned kinds_told = 0;    // the kinds that tag_kind tells apart (tag_kinds_needed)
    bool removes_tags = false;  // an option asks for a tag removal
    int table_depth = 0;
    const char* path = "";
    LineSource* in = nullptr;
    OutputSink* out = nullptr;
    BlockCache block;     // what the fast walk last classified of line_buf
    EditCounts counts{};  // how many times each edit acted

    // Inside a comment, a script block or a raw block, where the walk edits
    // nothing.
    bool in_block() const { return in_comment || in_script || raw_block != BlockKind::none; }
};

}  // namespace tagpolish

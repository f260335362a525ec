// Editing one input: the checks it passes first, then the walk of its
// lines into standard output or, under -w, into the new file of its
// rewrite (a worker's part of a run).
#pragma once

#include <functional>
#include <optional>
#include <utility>

#include "driver/input/input_checks.h"
#include "driver/input/line_source.h"
#include "driver/rewrite/rewrite.h"
#include "driver/site/converted_scripts.h"
#include "driver/site/page.h"
#include "engine/utf8_page.h"
#include "lib/walk_options.h"
#include "platform/file_ops.h"

namespace tagpolish {

// Refuses an input that cannot be edited safely (reported for name).
// Returns 0 when it may be; rewrite: it is to be written back.
int check_input(const char* name, const InputInfo& info, bool rewrite);

// Reports lines that ended before the text did. Returns 0 when they did
// not.
int check_lines(const char* name, const BlockLines& lines);

// Under --to-utf8 (to_utf8 set), passes over an input already in UTF-8,
// saying so, and answers true.
bool passes_over_utf8(const char* name, const InputInfo& info,
                      const std::optional<Utf8Settings>& to_utf8);

// What is done to an input's text: the walk, then, if set, the conversion.
struct TextEdits {
    const WalkOptions& walk;
    const std::optional<Utf8Settings>& to_utf8;
};

// Edits the checked input open as fd, read again through ops, to standard
// output, counting the edits' acts in counts; why receives the errno of a
// failed write (ECANCELED when a stop cut a wait short). Returns 0 or
// non-zero after a failure (reported, but for the write).
int edit_to_stdout(const TextEdits& edits, const char* name, int fd, const InputInfo& info,
                   InputBuffer& buf, int& why, EditCounts& counts, FileOps& ops);

// What a worker edits pages with.
struct PageWork {
    PageWork(const WalkOptions& edits, const RewriteSettings& how, FileOps& ops,
             const char* backup_suffix, bool follow_links, std::function<bool()> letting_go)
        : edits(edits),
          how(how),
          ops(ops),
          backup_suffix(backup_suffix),
          follow_links(follow_links),
          letting_go(std::move(letting_go)) {}

    const WalkOptions& edits;
    std::optional<Utf8Settings> to_utf8;  // how the text is converted, if it is
    ConvertedScripts* scripts = nullptr;  // the scripts converted with the pages, under to_utf8
    const RewriteSettings& how;
    FileOps& ops;
    const char* backup_suffix;  // of the backups passed over, or null
    bool follow_links;          // of the walk
    // Whether the run lets go of its pages (then no page waits for a lock).
    std::function<bool()> letting_go;
    InputBuffer buf;
};

// Opens, checks and edits the page under -w into the new file of its
// rewrite, and answers its fate: done (its rewrite, whose new text is
// whole, is in page.file), unchanged, passed_over, failed, stopped, busy
// (another holds its lock and the page may not wait) or not_reached (a
// stop). What it says goes to the thread's destination.
Fate edit_page(Page& page, PageWork& work);

}  // namespace tagpolish

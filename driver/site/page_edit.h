// Editing one page under -w: its checks, then the walk of its lines into
// the new file of its rewrite (a worker's part of a run), with the pieces
// that an edit to standard output takes too (driver/input/input_edit).
#pragma once

#include <functional>
#include <optional>
#include <utility>

#include "driver/input/input_checks.h"
#include "driver/input/input_edit.h"
#include "driver/input/line_source.h"
#include "driver/rewrite/rewrite.h"
#include "driver/site/converted_scripts.h"
#include "driver/site/page.h"
#include "engine/utf8_page.h"
#include "lib/walk_options.h"
#include "platform/file_ops.h"

namespace tagpolish {

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

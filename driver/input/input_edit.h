// Editing one input's text: the checks it passes first, the walk of its
// lines into a sink (and the conversion to UTF-8 after it), and the edit
// of a whole input to standard output. A rewrite under -w walks its pages
// with the same pieces (driver/site/page_edit).
#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "driver/input/input_checks.h"
#include "driver/input/line_source.h"
#include "driver/input/output.h"
#include "engine/edits.h"
#include "engine/line_io.h"
#include "engine/utf8_page.h"
#include "lib/diag.h"
#include "lib/walk_options.h"
#include "platform/file_ops.h"

namespace tagpolish {

// The message of an input that another program wrote, replaced or removed
// while it was read (or, under -w, before its rewrite).
inline constexpr MsgFormat<const char*> msg_changed = "%s: the file changed while it was read\n";

// Reports an input that cannot be opened: "not found" when nothing is
// there by its name (scripts read these words), "cannot open" for any other
// reason (no permission, too many open files, a link that loops); the
// system's reason follows on a line of its own.
void say_unopened(const char* name, int error);

// Refuses an input that cannot be edited safely (reported for name).
// Returns 0 when it may be; rewrite: it is to be written back.
int check_input(const char* name, const InputInfo& info, bool rewrite);

// Reports lines that ended before the text did. Returns 0 when they did
// not.
int check_lines(const char* name, const BlockLines& lines);

// Reports a file that another program wrote while this one read it;
// returns -1.
int changed_meanwhile(const char* name);

// Under --to-utf8 (to_utf8 set), passes over an input already in UTF-8,
// saying so, and answers true.
bool passes_over_utf8(const char* name, const InputInfo& info,
                      const std::optional<Utf8Settings>& to_utf8);

// What is done to an input's text: the walk, then, if set, the conversion.
struct TextEdits {
    const WalkOptions& walk;
    const std::optional<Utf8Settings>& to_utf8;
};

// Sets sink to convert the text of the input name, if it is to be, with
// script_converted (when set) saying which scripts are converted with the
// page. The walk never sees an end-of-file mark; the converted text keeps
// it.
void set_conversion(FdSink& sink, const char* name, const InputInfo& info,
                    const std::optional<Utf8Settings>& to_utf8, EditCounts& counts,
                    std::function<bool(std::string_view src)> script_converted = {});

// Walks the lines of the input into sink, or, for a style sheet or a
// script that is only converted, hands them on as they are.
int walk_text(const TextEdits& edits, const char* name, LineSource& lines, OutputSink& sink,
              EditCounts& counts);

// Ends the text in sink once it was walked; false, said for name, when it
// does not convert.
bool finish_text(FdSink& sink, const char* name);

// Edits the checked input open as fd, read again through ops, to standard
// output, counting the edits' acts in counts; why receives the errno of a
// failed write (ECANCELED when a stop cut a wait short). Returns 0 or
// non-zero after a failure (reported, but for the write).
int edit_to_stdout(const TextEdits& edits, const char* name, int fd, const InputInfo& info,
                   InputBuffer& buf, int& why, EditCounts& counts, FileOps& ops);

}  // namespace tagpolish

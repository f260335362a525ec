// What a run under -w tells of the files it changes: each name on standard
// output as its file is replaced, and a count of the inputs at the end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "driver/input/output.h"
#include "engine/edits.h"

namespace tagpolish {

// Names files on a file descriptor, one per line ended in end ("\n", or
// NUL for xargs -0); each line is written out at once, so that a reader
// down a pipe has it while the run goes on. A failed write is reported
// once; a reader gone (EPIPE) stops the run.
class Listing {
  public:
    Listing(int fd, char end) : sink_(fd, LineEnd::lf), end_(end) {}
    void name(std::string_view path);
    // Whether a line could not be written (reported once).
    bool failed() const { return sink_.error() != 0; }

  private:
    FdSink sink_;
    char end_;
};

// How the inputs of a run under -w ended, for its summary.
struct Tally {
    std::int64_t rewritten = 0;  // (restored, removed)
    std::int64_t unchanged = 0;  // left as they were: the same text, or passed over
    std::int64_t failed = 0;
    std::int64_t passed_over = 0;  // of them, passed over
    std::uint64_t bytes = 0;       // read
    EditCounts edits{};            // the acts of each edit in the pages rewritten
};

// What a run under -w does to each input.
enum class RunJob { edit, restore, remove };

// Puts "N files rewritten, M unchanged, K failed" on standard error (under
// a dry run, "N files would be rewritten, ..."; restored or removed for
// backups), then "P passed over, S seconds".
void put_summary(const Tally& tally, RunJob job, bool dry_run, double seconds);

// What the status line says of the inputs counted as rewritten:
// "rewritten", "restored", "removed", or under a dry run what would be done
// to them ("would change", ...).
const char* changed_word(RunJob job, bool dry_run);

// The line of --report for a page: its name and the count of each edit
// that acted, in the order of the table of edits ("index.htm: font tags
// 12, comments 3"); for the summary, "in all: ..." with the totals ("in
// all: no edits" when no page changed).
std::string report_line(std::string_view name, const EditCounts& counts);

}  // namespace tagpolish

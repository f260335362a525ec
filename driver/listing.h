// What a run under -w tells of the files it changes: each name on standard
// output as its file is replaced, and a count of the inputs at the end.
#pragma once

#include "driver/output.h"

namespace tagpolish {

// Names files on a file descriptor, one per line ended in end ("\n", or
// NUL for xargs -0); each line is written out at once, so that a reader
// down a pipe has it while the run goes on. A failed write is reported
// once; a reader gone (EPIPE) stops the run.
class Listing {
  public:
    Listing(int fd, char end) : sink_(fd, LineEnd::lf), end_(end) {}
    void name(const char* path);
    // Whether a line could not be written (reported once).
    bool failed() const { return sink_.error() != 0; }

  private:
    FdSink sink_;
    char end_;
};

// How the inputs of a run under -w ended, for its summary.
struct Tally {
    int rewritten = 0;
    int unchanged = 0;  // left as they were: the same text, or passed over
    int failed = 0;
};

// Puts "N files rewritten, M unchanged, K failed" on standard error (under
// a dry run, "N files would be rewritten, ...").
void put_summary(const Tally& tally, bool dry_run);

}  // namespace tagpolish

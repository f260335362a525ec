// Standard error as the thread that tells the pages' fates writes to it:
// every message passes through, and on a terminal a status line stands
// under them, rewritten in place.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "lib/diag.h"

namespace tagpolish {

// Where a run stands, as the status line shows it.
struct Progress {
    std::uint64_t done = 0;   // pages whose fate is told
    std::uint64_t found = 0;  // pages found so far
    std::uint64_t bytes = 0;  // read from the pages done
    std::uint64_t rewritten = 0;
    std::uint64_t failed = 0;
    double seconds = 0;
    bool all_found = true;              // false while the walk is still finding pages
    const char* changed = "rewritten";  // what is said of the pages counted in rewritten
};

// The status line for p, cut to width columns (all ASCII).
std::string progress_text(const Progress& p, std::size_t width);

class StatusLine : public MsgDest {
  public:
    // The line is shown only when on (standard error is a terminal, and
    // the run is not quiet).
    explicit StatusLine(bool on);
    // Clears the line.
    ~StatusLine() override;
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    // Writes a message: the line is cleared before it and drawn again
    // after it. Any thread may.
    void take(std::string_view text) override;
    // Draws the line for p, unless it was drawn less than a tenth of a
    // second ago.
    void show(const Progress& p);
    // Clears the line for good.
    void clear();

  private:
    void write_line();

    std::mutex mutex_;
    bool on_;
    std::string line_;  // as drawn; "" when there is none
    std::chrono::steady_clock::time_point drawn_{};
};

}  // namespace tagpolish

#include "driver/site/progress.h"

#include <cstdio>

#include "platform/console.h"

namespace tagpolish {
namespace {

// "\r" goes back to the start of the line, and ESC [ K clears from there
// on: the line is drawn over itself without scrolling.
constexpr std::string_view back_and_clear = "\r\x1b[K";

}  // namespace

std::string progress_text(const Progress& p, std::size_t width) {
    char text[160];
    std::snprintf(text, sizeof text, "%llu of %llu pages%s, %.1f MB, %llu %s, %llu failed, %.1f s",
                  static_cast<unsigned long long>(p.done), static_cast<unsigned long long>(p.found),
                  p.all_found ? "" : " found so far",
                  static_cast<double>(p.bytes) / (1024.0 * 1024.0),
                  static_cast<unsigned long long>(p.rewritten), p.changed,
                  static_cast<unsigned long long>(p.failed), p.seconds);
    // A line as wide as the terminal would wrap, and the next one would
    // not be drawn over it.
    std::string line(text);
    if (width > 0 && line.size() >= width) line.resize(width - 1);
    return line;
}

StatusLine::StatusLine(bool on) : on_(on) {}

StatusLine::~StatusLine() {
    clear();
}

void StatusLine::write_line() {
    std::string out(back_and_clear);
    out += line_;
    write_stderr(out);
}

void StatusLine::take(std::string_view text) {
    std::lock_guard lock(mutex_);
    if (line_.empty()) {
        write_stderr(text);
        return;
    }
    write_stderr(back_and_clear);
    write_stderr(text);
    write_stderr(line_);
}

void StatusLine::show(const Progress& p) {
    if (!on_) return;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    if (!line_.empty() && now - drawn_ < std::chrono::milliseconds(100)) return;
    drawn_ = now;
    line_ = progress_text(p, standard_error_width());
    write_line();
}

void StatusLine::clear() {
    std::lock_guard lock(mutex_);
    if (line_.empty()) return;
    write_stderr(back_and_clear);
    line_.clear();
    on_ = false;
}

}  // namespace tagpolish

// The line source: every line of the current input, held in memory.
#pragma once

#include <string_view>

#include "driver/encoding_check.h"
#include "driver/line_end.h"
#include "engine/line_io.h"
#include "lib/namelist.h"

namespace tagpolish {

// The line store of the current input.
extern NameList input_lines;

// What loading found out about the input besides its lines.
struct InputInfo {
    LineEnd line_end = LineEnd::lf;
    bool read_error = false;     // reading failed; the lines are incomplete
    int read_errno = 0;          // why reading failed
    bool text_after_eof = false; // bytes follow the first 0x1A
    bool lossless = true;        // writing the lines back as read restores the bytes
    int nul_line = 0;            // 1-based line of the first NUL byte, or 0
    EncodingVerdict encoding;    // what the text looks like, when not Shift_JIS
};

// Loads everything readable from fd into input_lines.
InputInfo load_lines(int fd);

// Loads a text already in memory, exactly as load_lines would from a file.
InputInfo load_text(std::string_view raw);

// mode 2: stored line n (from 0), or null out of range;
// mode -1: release every stored line. Other modes do nothing. Returns null
// except for a successful fetch.
const char* get_line(int mode, int n);

// Stored line n with its length; null data when out of range.
std::string_view get_line_view(int n);

// The stored lines, handed out in order from the first.
class StoredLines : public LineSource {
public:
    std::string_view next_line() override {
        std::string_view line = get_line_view(next_);
        if (line.data()) ++next_;
        return line;
    }

private:
    int next_ = 0;
};

}  // namespace tagpolish

// Messages: one printf-style routine that writes to standard error.
#pragma once

#include <cstdarg>

namespace tagpolish {

// Expansion stops once the text reaches this many bytes.
inline constexpr int msg_len_max = 1024;
// An over-long %s argument cuts the text back to this length.
inline constexpr int msg_cut_len = 768;

// Expands fmt (%c %d %x %f %s only, no widths) into a static buffer and
// returns it; the buffer is overwritten by the next call.
const char* err_edit(const char* fmt, va_list args);

// Writes the expanded message to standard error as it is: no prefix, no
// added line break. Never ends the program.
void errmsg(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tagpolish

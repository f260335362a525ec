// Conversions between the program's encodings that take the system's
// converters: a Shift_JIS character of a page to UTF-8 for a message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tagpolish {

// The most bytes that SjisToUtf8 writes for one byte of Shift_JIS.
inline constexpr std::size_t sjis_utf8_growth = 4;

// The system's converter from Shift_JIS (Microsoft's CP932, as the pages
// use it) to UTF-8, for one text: the C library's iconv, or Windows' code
// page 932.
class SjisToUtf8 {
  public:
    SjisToUtf8();
    ~SjisToUtf8();
    SjisToUtf8(const SjisToUtf8&) = delete;
    SjisToUtf8& operator=(const SjisToUtf8&) = delete;

    // Writes the character ch (one or two bytes) at out, which has room
    // for sjis_utf8_growth bytes for each of them; returns how many bytes
    // it wrote, or 0 when ch does not convert (or there is no converter).
    std::size_t convert(std::string_view ch, char* out);

  private:
    void* state_;
};

}  // namespace tagpolish

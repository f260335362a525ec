#include "platform/text_convert.h"

#include <windows.h>

namespace tagpolish {

// Windows converts without a state of its own.
SjisToUtf8::SjisToUtf8() : state_(nullptr) {}

SjisToUtf8::~SjisToUtf8() = default;

std::size_t SjisToUtf8::convert(std::string_view ch, char* out) {
    if (ch.empty() || ch.size() > 2) return 0;
    wchar_t wide[2];
    const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, ch.data(),
                                      static_cast<int>(ch.size()), wide, 2);
    if (n <= 0) return 0;
    const int room = static_cast<int>(sjis_utf8_growth * ch.size());
    const int written = WideCharToMultiByte(CP_UTF8, 0, wide, n, out, room, nullptr, nullptr);
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

}  // namespace tagpolish

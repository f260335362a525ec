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

std::wstring to_wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), n);
    return wide;
}

std::string from_wide(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), n, nullptr, nullptr);
    return utf8;
}

}  // namespace tagpolish

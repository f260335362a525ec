#include "platform/console.h"

#include <io.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/windows/utf16.h"

namespace tagpolish {
namespace {

HANDLE error_handle() {
    return reinterpret_cast<HANDLE>(_get_osfhandle(2));
}

// A console, not a file, a pipe or the NUL device (which _isatty takes for
// a terminal): only a console has a console mode.
bool is_console(HANDLE handle) {
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

void write_console(HANDLE console, std::string_view text) {
    const std::wstring wide = utf16_of(text);
    std::wstring_view rest = wide;
    while (!rest.empty()) {
        DWORD written = 0;
        const auto n = static_cast<DWORD>(rest.size() < 8192 ? rest.size() : 8192);
        if (!WriteConsoleW(console, rest.data(), n, &written, nullptr) || written == 0) return;
        rest.remove_prefix(written);
    }
}

}  // namespace

ErrorTerminal standard_error_terminal() {
    static const ErrorTerminal what =
        is_console(error_handle()) ? ErrorTerminal::unicode : ErrorTerminal::none;
    return what;
}

void write_standard_error(std::string_view text) {
    const HANDLE handle = error_handle();
    if (standard_error_terminal() == ErrorTerminal::unicode && is_console(handle)) {
        write_console(handle, text);
        return;
    }
    while (!text.empty()) {
        DWORD written = 0;
        const auto n = static_cast<DWORD>(text.size() < (1u << 30) ? text.size() : (1u << 30));
        if (!WriteFile(handle, text.data(), n, &written, nullptr) || written == 0) return;
        text.remove_prefix(written);
    }
}

std::size_t standard_error_width() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!is_console(error_handle()) || !GetConsoleScreenBufferInfo(error_handle(), &info))
        return 80;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<std::size_t>(columns) : 80;
}

std::string_view system_error_text(int errnum, char* buf, std::size_t size) {
    if (strerror_s(buf, size, errnum) != 0) buf[0] = '\0';
    return buf;
}

}  // namespace tagpolish

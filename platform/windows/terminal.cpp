#include "platform/terminal.h"

#include <windows.h>

namespace tagpolish {
namespace {

// A console answers GetConsoleMode; a pipe or a file does not (the C
// runtime's isatty says yes to any character device, NUL among them).
bool console_info(CONSOLE_SCREEN_BUFFER_INFO* info) {
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (err == INVALID_HANDLE_VALUE || err == nullptr || !GetConsoleMode(err, &mode)) return false;
    return info == nullptr || GetConsoleScreenBufferInfo(err, info);
}

}  // namespace

bool messages_to_terminal() {
    return console_info(nullptr);
}

std::size_t message_terminal_width() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!console_info(&info)) return 80;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<std::size_t>(columns) : 80;
}

}  // namespace tagpolish

#include "platform/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tagpolish {

ErrorTerminal standard_error_terminal() {
    static const ErrorTerminal what =
        isatty(STDERR_FILENO) == 1 ? ErrorTerminal::by_locale : ErrorTerminal::none;
    return what;
}

void write_standard_error(std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(STDERR_FILENO, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::size_t standard_error_width() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return size.ws_col;
}

std::string_view system_error_text(int errnum, char* buf, std::size_t size) {
    // The GNU strerror_r, which may return its own text instead of filling
    // buf.
    return strerror_r(errnum, buf, size);
}

}  // namespace tagpolish

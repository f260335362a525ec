#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace tagpolish {

bool messages_to_terminal() {
    return isatty(STDERR_FILENO) == 1;
}

std::size_t message_terminal_width() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return size.ws_col;
}

}  // namespace tagpolish

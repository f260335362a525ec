// Messages: a small formatter with a bounded result, and its writer.
#include "lib/diag.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

namespace tagpolish {

namespace {

// The longest text one conversion can add: "%f" of the largest double, a
// sign, its integer digits, the point and six decimals. A %s never passes
// msg_len_max (it is appended whole only when it fits, else cut).
constexpr int conv_len_max = 1 + std::numeric_limits<double>::max_exponent10 + 1 + 1 + 6;

// A conversion that starts below msg_len_max is always completed.
char msg_buf[msg_len_max + conv_len_max + 1];

// Appends the whole of s, or cuts the text back to msg_cut_len when s does
// not fit below msg_len_max. Text already past msg_cut_len gets nothing.
int append_string(int len, const char* s) {
    if (s == nullptr) s = "(null)";
    const std::size_t room = static_cast<std::size_t>(msg_len_max - len);
    std::size_t n = std::strlen(s);
    if (n > room) n = len < msg_cut_len ? static_cast<std::size_t>(msg_cut_len - len) : 0;
    std::memcpy(msg_buf + len, s, n);
    return len + static_cast<int>(n);
}

// Appends what printf would give for one int or double conversion.
template <typename T>
int append_number(int len, const char* conv, T value) {
    char num[conv_len_max + 1];
    const int n = std::snprintf(num, sizeof num, conv, value);
    if (n <= 0) return len;
    std::memcpy(msg_buf + len, num, static_cast<std::size_t>(n));
    return len + n;
}

}  // namespace

const char* err_edit(const char* fmt, va_list args) {
    int len = 0;
    const char* p = fmt;
    while (len < msg_len_max && *p != '\0') {
        if (*p != '%') {
            msg_buf[len++] = *p++;
            continue;
        }
        const char conv = p[1];
        if (conv == '\0') {  // a lone '%' at the very end
            msg_buf[len++] = '%';
            break;
        }
        p += 2;
        switch (conv) {
            case 'c':
                msg_buf[len++] = static_cast<char>(va_arg(args, int));
                break;
            case 'd':
                len = append_number(len, "%d", va_arg(args, int));
                break;
            case 'x':
                len = append_number(len, "%x", static_cast<unsigned>(va_arg(args, int)));
                break;
            case 'f':
                len = append_number(len, "%f", va_arg(args, double));
                break;
            case 's':
                len = append_string(len, va_arg(args, const char*));
                break;
            default:  // no flags, widths or "%%": both bytes go out as they are
                msg_buf[len++] = '%';
                msg_buf[len++] = conv;
                break;
        }
    }
    msg_buf[len] = '\0';
    return msg_buf;
}

void put_msg(int errnum, const char* fmt, ...) {
    const char* text = fmt;
    if (std::strchr(fmt, '%') != nullptr) {
        va_list args;
        va_start(args, fmt);
        text = err_edit(fmt, args);
        va_end(args);
    }
    // The reason goes out in the same write, so that the messages of runs
    // that share standard error (xargs -P) cannot come between the lines.
    std::string_view parts[] = {text, "", "", ""};
    if (errnum != 0) {
        parts[1] = "  ";
        parts[2] = std::strerror(errnum);
        parts[3] = "\n";
    }
    iovec iov[4];
    int count = 0;
    for (std::string_view part : parts)
        if (!part.empty()) iov[count++] = {const_cast<char*>(part.data()), part.size()};
    // Nothing can be done about a message that cannot be written.
    for (int i = 0; i < count;) {
        const ssize_t n = ::writev(STDERR_FILENO, iov + i, count - i);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        auto done = static_cast<std::size_t>(n);
        while (i < count && done >= iov[i].iov_len) done -= iov[i++].iov_len;
        if (i < count) {
            iov[i].iov_base = static_cast<char*>(iov[i].iov_base) + done;
            iov[i].iov_len -= done;
        }
    }
}

}  // namespace tagpolish

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

// A conversion that starts below msg_len_max is always completed; page
// text shown as UTF-8 may take utf8_growth bytes for each of its own.
char msg_buf[utf8_growth * msg_len_max + conv_len_max + 1];

// The message being expanded: its bytes in msg_buf, and its length as the
// limits count it, where page text counts the bytes it has in the page,
// however many it takes to show.
struct MsgText {
    int len = 0;  // counted
    int end = 0;  // in msg_buf

    void put(char c) {
        msg_buf[end++] = c;
        ++len;
    }
    void put(const char* p, std::size_t n) {
        std::memcpy(msg_buf + end, p, n);
        end += static_cast<int>(n);
        len += static_cast<int>(n);
    }
};

// How many bytes of a %s of n bytes go in: all when they fit below
// msg_len_max, else so many that the text is cut back to msg_cut_len
// (none when it is already past it).
std::size_t string_room(const MsgText& text, std::size_t n) {
    const auto room = static_cast<std::size_t>(msg_len_max - text.len);
    if (n <= room) return n;
    return text.len < msg_cut_len ? static_cast<std::size_t>(msg_cut_len - text.len) : 0;
}

void append_string(MsgText& text, const char* s) {
    if (s == nullptr) s = "(null)";
    text.put(s, string_room(text, std::strlen(s)));
}

// Page text is cut as any string, but shown as UTF-8 it is cut between
// characters, and converted after the cut.
void append_page(MsgText& text, const char* s, PageView view) {
    if (s == nullptr || view == PageView::bytes) {
        append_string(text, s);
        return;
    }
    const std::string_view page(s);
    const std::size_t n = whole_characters(page, string_room(text, page.size()));
    text.end += static_cast<int>(show_as_utf8(page.substr(0, n), msg_buf + text.end));
    text.len += static_cast<int>(n);
}

// Appends what printf would give for one integer or double conversion.
template <typename T>
void append_number(MsgText& text, const char* conv, T value) {
    char num[conv_len_max + 1];
    const int n = std::snprintf(num, sizeof num, conv, value);
    if (n > 0) text.put(num, static_cast<std::size_t>(n));
}

}  // namespace

const char* err_edit(const char* fmt, va_list args, unsigned page_args, PageView view) {
    MsgText text;
    const char* p = fmt;
    unsigned arg_bit = 1;  // the page_args bit of the next argument
    while (text.len < msg_len_max && *p != '\0') {
        if (*p != '%') {
            text.put(*p++);
            continue;
        }
        const char conv = p[1];
        if (conv == '\0') {  // a lone '%' at the very end
            text.put('%');
            break;
        }
        p += 2;
        switch (conv) {
            case 'c':
                text.put(static_cast<char>(va_arg(args, long long)));
                break;
            case 'd':
                append_number(text, "%lld", va_arg(args, long long));
                break;
            case 'x':
                append_number(text, "%x", static_cast<unsigned>(va_arg(args, long long)));
                break;
            case 'f':
                append_number(text, "%f", va_arg(args, double));
                break;
            case 's':
                if (page_args & arg_bit)
                    append_page(text, va_arg(args, const char*), view);
                else
                    append_string(text, va_arg(args, const char*));
                break;
            default:  // no flags, widths or "%%": both bytes go out as they are
                text.put('%');
                text.put(conv);
                continue;
        }
        arg_bit <<= 1;
    }
    msg_buf[text.end] = '\0';
    return msg_buf;
}

void put_msg(int errnum, unsigned page_args, const char* fmt, ...) {
    const char* text = fmt;
    if (std::strchr(fmt, '%') != nullptr) {
        va_list args;
        va_start(args, fmt);
        text = err_edit(fmt, args, page_args, page_args != 0 ? page_view() : PageView::bytes);
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

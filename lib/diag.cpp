// Messages: a small formatter with a bounded result, and its writer.
#include "lib/diag.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

#include "platform/console.h"

namespace tagpolish {

namespace {

// The longest text one conversion can add: "%f" of the largest double, a
// sign, its integer digits, the point and six decimals. A %s never passes
// msg_len_max (it is appended whole only when it fits, else cut).
constexpr int conv_len_max = 1 + std::numeric_limits<double>::max_exponent10 + 1 + 1 + 6;

// A conversion that starts below msg_len_max is always completed; page
// text shown as UTF-8 may take utf8_growth bytes for each of its own.
constexpr std::size_t msg_buf_size = utf8_growth * msg_len_max + conv_len_max + 1;

// The reason line after a message: two blanks, the system's words, a line
// end.
constexpr std::size_t reason_max = 256;

// Each thread expands its messages in a buffer of its own, with room for
// the reason line behind the message.
thread_local char msg_buf[msg_buf_size + reason_max];

// Where this thread's messages go; null for standard error.
thread_local MsgDest* msg_dest = nullptr;

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

MsgTo::MsgTo(MsgDest* dest) : before_(msg_dest) {
    msg_dest = dest;
}

MsgTo::~MsgTo() {
    msg_dest = before_;
}

void write_stderr(std::string_view text) {
    write_standard_error(text);
}

// The words of the errors that the program meets are its own, the same on
// every system (they are those of the GNU C library, which the program
// has always printed); any other error takes the system's.
std::span<const ErrorReason> error_reasons() {
    static constexpr ErrorReason reasons[] = {
        {EPERM, "Operation not permitted"},
        {ENOENT, "No such file or directory"},
        {EINTR, "Interrupted system call"},
        {EIO, "Input/output error"},
        {ENXIO, "No such device or address"},
        {EBADF, "Bad file descriptor"},
        {EAGAIN, "Resource temporarily unavailable"},
#if EWOULDBLOCK != EAGAIN
        {EWOULDBLOCK, "Resource temporarily unavailable"},
#endif
        {ENOMEM, "Cannot allocate memory"},
        {EACCES, "Permission denied"},
        {EBUSY, "Device or resource busy"},
        {EEXIST, "File exists"},
        {EXDEV, "Invalid cross-device link"},
        {ENODEV, "No such device"},
        {ENOTDIR, "Not a directory"},
        {EISDIR, "Is a directory"},
        {EINVAL, "Invalid argument"},
        {ENFILE, "Too many open files in system"},
        {EMFILE, "Too many open files"},
        {ETXTBSY, "Text file busy"},
        {EFBIG, "File too large"},
        {ENOSPC, "No space left on device"},
        {ESPIPE, "Illegal seek"},
        {EROFS, "Read-only file system"},
        {EMLINK, "Too many links"},
        {EPIPE, "Broken pipe"},
        {ENAMETOOLONG, "File name too long"},
        {ENOLCK, "No locks available"},
        {ENOSYS, "Function not implemented"},
        {ENOTEMPTY, "Directory not empty"},
        {ELOOP, "Too many levels of symbolic links"},
        {EOVERFLOW, "Value too large for defined data type"},
        {EILSEQ, "Invalid or incomplete multibyte or wide character"},
        {EOPNOTSUPP, "Operation not supported"},
#if ENOTSUP != EOPNOTSUPP
        {ENOTSUP, "Operation not supported"},
#endif
        {ENODATA, "No data available"},
        {ETIMEDOUT, "Connection timed out"},
        {ECANCELED, "Operation canceled"},
#ifdef ESTALE
        {ESTALE, "Stale file handle"},
#endif
#ifdef EDQUOT
        {EDQUOT, "Disk quota exceeded"},
#endif
    };
    return reasons;
}

namespace {

// Puts the reason line for errnum behind the message at text, which is
// in msg_buf or is a format; returns the whole.
std::string_view add_reason(std::string_view text, int errnum) {
    char words[reason_max - 4];
    std::string_view why;
    for (const ErrorReason& r : error_reasons())
        if (r.errnum == errnum) why = r.text;
    if (why.data() == nullptr) why = system_error_text(errnum, words, sizeof words);
    if (text.data() != msg_buf) {
        const std::size_t n = std::min(text.size(), msg_buf_size - 1);
        std::memcpy(msg_buf, text.data(), n);
        text = std::string_view(msg_buf, n);
    }
    std::size_t end = text.size();
    for (std::string_view part :
         {std::string_view("  "), why.substr(0, sizeof words - 1), std::string_view("\n")}) {
        std::memcpy(msg_buf + end, part.data(), part.size());
        end += part.size();
    }
    return std::string_view(msg_buf, end);
}

}  // namespace

void put_msg(int errnum, unsigned page_args, const char* fmt, ...) {
    std::string_view text = fmt;
    if (std::strchr(fmt, '%') != nullptr) {
        va_list args;
        va_start(args, fmt);
        text = err_edit(fmt, args, page_args, page_args != 0 ? page_view() : PageView::bytes);
        va_end(args);
    }
    // The reason goes out in the same write, so that the messages of runs
    // that share standard error (xargs -P) cannot come between the lines.
    if (errnum != 0) text = add_reason(text, errnum);
    if (msg_dest != nullptr)
        msg_dest->take(text);
    else
        write_stderr(text);
}

}  // namespace tagpolish

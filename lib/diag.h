// Messages: one printf-style routine that writes to standard error.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <span>
#include <string_view>
#include <type_traits>

#include "lib/page_text.h"

namespace tagpolish {

// Expansion stops once the text reaches this many bytes.
inline constexpr int msg_len_max = 1024;
// An over-long %s argument cuts the text back to this length.
inline constexpr int msg_cut_len = 768;

// Bytes of a page that a message quotes (the line of a markup error), for
// a %s: they are shown as they are, or on a terminal that expects UTF-8 as
// characters (lib/page_text.h).
struct PageText {
    const char* bytes;
};

// Expands fmt (%c %d %x %f %s only, no widths) into a buffer of the
// calling thread and returns it; the buffer is overwritten by the thread's
// next call. Integer
// arguments are long long (see msg_arg). The %s of argument k (from 0) is
// a page's text when bit k of page_args is set, shown as view says.
const char* err_edit(const char* fmt, va_list args, unsigned page_args = 0,
                     PageView view = PageView::bytes);

// Where the messages of a thread go instead of standard error: the record
// of the page that a worker edits, so that a page's messages come out
// together, or a writer that keeps a status line clear of them.
class MsgDest {
  public:
    virtual ~MsgDest() = default;
    // Takes one whole message, its reason line included; the bytes need
    // not outlive the call.
    virtual void take(std::string_view text) = 0;
};

// While one lives, the messages of the thread that made it go to dest
// (null: to standard error); then where they went before.
class MsgTo {
  public:
    explicit MsgTo(MsgDest* dest);
    ~MsgTo();
    MsgTo(const MsgTo&) = delete;
    MsgTo& operator=(const MsgTo&) = delete;

  private:
    MsgDest* before_;
};

// Writes text to standard error whole, in as few writes as it takes;
// nothing can be done about a failure, which is ignored.
void write_stderr(std::string_view text);

// The words that a message's reason line gives for an error number.
struct ErrorReason {
    int errnum;
    const char* text;
};

// The errors whose words are the program's own, alike on every system;
// the reason for any other is the system's.
std::span<const ErrorReason> error_reasons();

// Expands the message as it is: no prefix, no added line break; when
// errnum is not 0, the system's words for it follow on a line of their
// own, indented by two spaces. The whole message goes in one piece to the
// thread's destination (MsgTo), or in one write to standard error. Page
// text goes out in the view of page_view(). Never ends the program. errmsg
// and errmsg_why are its checked fronts.
void put_msg(int errnum, unsigned page_args, const char* fmt, ...);

// Whether an argument of type T suits the conversion letter conv, as
// err_edit takes it: an int (or a smaller type that becomes one) for %c
// %x, any signed integer up to 64 bits (or a smaller unsigned one) for %d,
// a double for %f, a C string or page text for %s.
template <class T>
constexpr bool msg_arg_fits(char conv) {
    using U = std::remove_cv_t<T>;
    constexpr bool int_like = std::is_integral_v<U> &&
                              (std::is_signed_v<U> || sizeof(U) < sizeof(int)) &&
                              sizeof(U) <= sizeof(int);
    constexpr bool wide_int = std::is_integral_v<U> &&
                              (std::is_signed_v<U> || sizeof(U) < sizeof(long long)) &&
                              sizeof(U) <= sizeof(long long);
    switch (conv) {
        case 'c':
        case 'x':
            return int_like;
        case 'd':
            return wide_int;
        case 'f':
            return std::is_same_v<U, double> || std::is_same_v<U, float>;
        case 's':
            return std::is_same_v<U, const char*> || std::is_same_v<U, char*> ||
                   std::is_same_v<U, PageText>;
        default:
            return false;
    }
}

// An argument as it travels to err_edit: every integer as a long long, so
// that a line count past 2^31 prints whole; page text as its bytes.
template <class T>
auto msg_arg(T arg) {
    if constexpr (std::is_integral_v<T>)
        return static_cast<long long>(arg);
    else if constexpr (std::is_same_v<T, float>)
        return static_cast<double>(arg);
    else if constexpr (std::is_same_v<T, PageText>)
        return arg.bytes;
    else
        return arg;
}

// The bits of err_edit's page_args for the argument types Args.
template <class... Args>
constexpr unsigned page_args_of() {
    unsigned bits = 0, bit = 1;
    ((bits |= std::is_same_v<Args, PageText> ? bit : 0, bit <<= 1), ...);
    return bits;
}

// Whether fmt holds only conversions that err_edit implements, one for each
// argument, each of the argument's kind. A '%' before anything else (a
// flag, a width, a length modifier, another '%') does not pass: err_edit
// would print it as text and leave the argument for the next conversion.
template <class... Args>
constexpr bool msg_format_ok(const char* fmt) {
    std::size_t used = 0;
    for (const char* p = fmt; *p != '\0'; ++p) {
        if (*p != '%') continue;
        [[maybe_unused]] const char conv = *++p;
        [[maybe_unused]] std::size_t i = 0;
        bool fits = false;
        ((fits = fits || (i++ == used && msg_arg_fits<Args>(conv))), ...);
        if (!fits) return false;
        ++used;
    }
    return used == sizeof...(Args);
}

// Never defined: a call to it in a constant evaluation stops the build.
void message_format_does_not_match_its_arguments();

// A message format checked against its arguments when the program is
// compiled, so that a conversion err_edit lacks cannot reach it.
template <class... Args>
class MsgFormat {
  public:
    consteval MsgFormat(const char* fmt) : text_(fmt) {
        if (!msg_format_ok<Args...>(fmt)) message_format_does_not_match_its_arguments();
    }
    const char* text() const { return text_; }

  private:
    const char* text_;
};

// Writes a message to standard error (see put_msg).
template <class... Args>
void errmsg(std::type_identity_t<MsgFormat<Args...>> fmt, Args... args) {
    put_msg(0, page_args_of<Args...>(), fmt.text(), msg_arg(args)...);
}

// Writes a message and, when errnum is not 0, the system's reason for it on
// the line below.
template <class... Args>
void errmsg_why(int errnum, std::type_identity_t<MsgFormat<Args...>> fmt, Args... args) {
    put_msg(errnum, page_args_of<Args...>(), fmt.text(), msg_arg(args)...);
}

}  // namespace tagpolish

// Messages: one printf-style routine that writes to standard error.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <type_traits>

namespace tagpolish {

// Expansion stops once the text reaches this many bytes.
inline constexpr int msg_len_max = 1024;
// An over-long %s argument cuts the text back to this length.
inline constexpr int msg_cut_len = 768;

// Expands fmt (%c %d %x %f %s only, no widths) into a static buffer and
// returns it; the buffer is overwritten by the next call.
const char* err_edit(const char* fmt, va_list args);

// Writes the expanded message to standard error as it is: no prefix, no
// added line break; when errnum is not 0, the system's words for it follow
// on a line of their own, indented by two spaces, in the same write. Never
// ends the program. errmsg and errmsg_why are its checked fronts.
void put_msg(int errnum, const char* fmt, ...);

// Whether an argument of type T suits the conversion letter conv, as
// err_edit takes it: an int (or a smaller type that becomes one) for %c %d
// %x, a double for %f, a C string for %s.
template <class T>
constexpr bool msg_arg_fits(char conv) {
    using U = std::remove_cv_t<T>;
    constexpr bool int_like = std::is_integral_v<U> &&
                              (std::is_signed_v<U> || sizeof(U) < sizeof(int)) &&
                              sizeof(U) <= sizeof(int);
    switch (conv) {
        case 'c':
        case 'd':
        case 'x':
            return int_like;
        case 'f':
            return std::is_same_v<U, double> || std::is_same_v<U, float>;
        case 's':
            return std::is_same_v<U, const char*> || std::is_same_v<U, char*>;
        default:
            return false;
    }
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
    put_msg(0, fmt.text(), args...);
}

// Writes a message and, when errnum is not 0, the system's reason for it on
// the line below.
template <class... Args>
void errmsg_why(int errnum, std::type_identity_t<MsgFormat<Args...>> fmt, Args... args) {
    put_msg(errnum, fmt.text(), args...);
}

}  // namespace tagpolish

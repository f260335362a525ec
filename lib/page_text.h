// The bytes of a page that a message quotes, as a terminal shows them.
#pragma once

#include <cstddef>
#include <string_view>

namespace tagpolish {

// How a message shows the page bytes it quotes.
enum class PageView {
    bytes,  // exactly as they are in the page
    utf8,   // as characters, converted from Shift_JIS (show_as_utf8)
};

// The view that suits standard error: utf8 when it is a terminal and the
// locale's character set (from the first of LC_ALL, LC_CTYPE and LANG that
// is set and not empty) is UTF-8, or when it is a Windows console, which
// takes the messages as UTF-16 whatever its code page. Decided at the
// first call. These are the
// only environment variables the program reads: scripts and logs, which
// take standard error from a file or a pipe, always get the page's bytes.
PageView page_view();

// page_view's decision from its parts; a null variable is one not set.
PageView page_view_for(bool terminal, const char* lc_all, const char* lc_ctype, const char* lang);

// The most bytes that show_as_utf8 writes for one byte of page text.
inline constexpr std::size_t utf8_growth = 4;

// Writes the Shift_JIS bytes as UTF-8 at out, which has room for
// utf8_growth bytes for each of them, and returns how many it wrote. A
// character goes whole (a lead byte with its second byte) through the
// system's CP932 converter (platform/text_convert.h); a character that
// does not convert, and a control byte other than tab and line feed, is
// written as \xNN, one for each of its bytes, so that no byte of a page
// can act on the terminal.
std::size_t show_as_utf8(std::string_view sjis, char* out);

// How many of the first n bytes of text (at most its size) form whole
// characters: n, or one less when byte n - 1 is a lead byte whose second
// byte lies beyond.
std::size_t whole_characters(std::string_view text, std::size_t n);

}  // namespace tagpolish

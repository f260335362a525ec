#include "engine/links.h"

#include "lib/sjstr.h"

namespace tagpolish {
namespace {

// Where the query part ("?" or "#" and what follows) of a reference's text
// begins, stepping over double-byte characters; npos when it has none.
std::size_t query_start(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b == '?' || b == '#') return i;
        i += char_length(text, i);
    }
    return std::string_view::npos;
}

bool is_ascii_letter(unsigned char c) {
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

bool in_scheme(unsigned char c) {
    return is_ascii_letter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

bool is_slash(std::string_view text, std::size_t i) {
    return i < text.size() && (text[i] == '/' || text[i] == '\\');
}

}  // namespace

// As a browser reads a reference: after the blanks and control bytes it skips, a scheme ("http:",
// "mailto:", "javascript:", "file:": a letter, then letters, digits, "+", "-" or "." up to ":",
// tabs and line ends left out) or two slashes ("//host/", where a backslash counts as a slash). One
// letter before the ":" is a Windows drive (C:/site/a.gif), a path on the author's own disk, which
// is flattened as any path.
bool leads_off_site(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= 0x20) ++i;
    if (is_slash(text, i) && is_slash(text, i + 1)) return true;
    std::size_t letters = 0;
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\t' || c == '\n' || c == '\r') continue;
        if (letters == 0 ? !is_ascii_letter(c) : !in_scheme(c)) break;
        ++letters;
    }
    return letters > 1 && i < text.size() && text[i] == ':';
}

AttrEdit flatten_reference(LineBuf& line, const WalkOptions& opt, std::size_t name) {
    const char* p = line.cur();
    const char* value = sp_skip(p + name);
    const char* end = optionStr_skip(value);
    bool quoted = *value == '"' || *value == '\'';
    const char* text = quoted ? value + 1 : value;
    if (text >= end) return AttrEdit::declined;
    bool closed = quoted && end - 1 > value && end[-1] == *value;
    const std::string_view whole(text, static_cast<std::size_t>(end - text) - (closed ? 1 : 0));
    // Only the path counts: a "/" in the query part is the query's own.
    const std::size_t query = query_start(whole);
    const std::string_view path = whole.substr(0, query);
    // A path that is already "./" stays as it is, so that a second run
    // does not take away what the first left of a directory reference.
    if (path == "./") return AttrEdit::declined;
    // The "?" or "#" stands where the closing quote of a value without a
    // query part does.
    const char* stop = query == std::string_view::npos ? end : text + query + 1;
    const char* slash = Strrchr(path, '/');
    if (!slash || slash == text || slash == stop - 1) return AttrEdit::declined;
    auto from = static_cast<std::size_t>(text - p);
    auto n = static_cast<std::size_t>(slash - text) + 1;
    // Another site's files are not beside the page, unless it mirrors them.
    if (!opt.flatten_offsite && leads_off_site(whole)) return AttrEdit::passed_over;
    // A directory reference such as '/docs/' keeps a "./" so it stays one.
    bool keep_dot = slash == stop - 2 && slash - text >= 3;
    line.replace_ahead(from, n, keep_dot ? "./" : "");
    return AttrEdit::changed;
}

AttrEdit remove_base_href(LineBuf& line, const WalkOptions&, std::size_t name) {
    const char* p = line.cur();
    if (p[name] != '"' && p[name] != '\'') return AttrEdit::not_here;
    // The partner quote, found stepping over double-byte characters; a ">"
    // before it, taken byte by byte, or no partner leaves the attribute. The
    // search stops at the first ">", so it never runs on to the end of a
    // long line.
    const char quote = p[name];
    for (const char* k = p + name + 1; *k; ++k) {
        if (*k == '>') return AttrEdit::declined;
        if (*k == quote) {
            line.remove(static_cast<std::size_t>(k - p) + 1);
            return AttrEdit::removed;
        }
        if (is_lead_byte(static_cast<unsigned char>(*k)) && k[1]) {
            if (k[1] == '>') return AttrEdit::declined;
            ++k;
        }
    }
    return AttrEdit::declined;
}

}  // namespace tagpolish

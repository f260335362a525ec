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
        i += is_lead_byte(b) && i + 1 < text.size() ? 2 : 1;
    }
    return std::string_view::npos;
}

}  // namespace

AttrEdit flatten_reference(LineBuf& line, std::size_t name) {
    const char* p = line.cur();
    const char* value = sp_skip(p + name);
    const char* end = optionStr_skip(value);
    bool quoted = *value == '"' || *value == '\'';
    const char* text = quoted ? value + 1 : value;
    if (text >= end) return AttrEdit::declined;
    bool closed = quoted && end - 1 > value && end[-1] == *value;
    // Only the path counts: a "/" in the query part is the query's own.
    std::string_view path(text, static_cast<std::size_t>(end - text) - (closed ? 1 : 0));
    const std::size_t query = query_start(path);
    path = path.substr(0, query);
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
    // A directory reference such as '/docs/' keeps a "./" so it stays one.
    bool keep_dot = slash == stop - 2 && slash - text >= 3;
    line.replace_ahead(from, n, keep_dot ? "./" : "");
    return AttrEdit::changed;
}

AttrEdit remove_base_href(LineBuf& line, std::size_t name) {
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

#include "engine/attr_removal.h"

#include "lib/sjstr.h"

namespace tagpolish {
namespace {

bool is_quote(char c) {
    return c == '"' || c == '\'';
}
bool is_sign_or_digit(char c) {
    return c == '+' || c == '-' || (c >= '0' && c <= '9');
}

// Position after the blanks that follow position k of s.
std::size_t skip_blanks(std::string_view s, std::size_t k) {
    while (k < s.size() && is_space_or_tab(static_cast<unsigned char>(s[k]))) ++k;
    return k;
}

// Cuts out the n bytes of an attribute at the cursor. When a blank stands
// before it and a ">" now follows, that blank goes too, so the ">" closes the
// tag right after the last attribute.
AttrEdit cut_attribute(LineBuf& line, std::size_t n) {
    line.remove(n);
    if (!line.at_line_start() && line.last_walked() == ' ' && line.peek() == '>')
        line.drop_last_walked();
    return AttrEdit::removed;
}

// End of a bgcolor value starting at v, or npos when it does not qualify.
std::size_t bgcolor_end(std::string_view s, std::size_t v) {
    if (v < s.size() && is_quote(s[v])) {
        char q = s[v];
        std::size_t k = v + 1;
        while (k < s.size() && s[k] != q && s[k] != '>') ++k;
        if (k < s.size() && s[k] == q) return k + 1;
        return k == v + 1 ? k : std::string_view::npos;  // a lone quote at the end goes
    }
    if (v == s.size()) return std::string_view::npos;
    std::size_t k = v;
    while (k < s.size() && s[k] != ' ' && s[k] != '>') ++k;
    return k;
}

// End of a size value starting at v, or npos when it does not qualify.
std::size_t size_end(std::string_view s, std::size_t v) {
    std::size_t k = v;
    char q = v < s.size() && is_quote(s[v]) ? s[v] : 0;
    if (q) ++k;
    while (k < s.size() && is_sign_or_digit(s[k])) ++k;
    if (q) return k < s.size() && s[k] == q ? k + 1 : std::string_view::npos;
    if (k < s.size() && (s[k] == '>' || is_space_or_tab(static_cast<unsigned char>(s[k]))))
        return k;
    return std::string_view::npos;
}

// End of an align or valign value starting at v, or npos.
std::size_t align_end(std::string_view s, std::size_t v) {
    if (v < s.size() && is_quote(s[v])) {
        std::size_t close = s.find(s[v], v + 1);
        return close == std::string_view::npos ? close : close + 1;
    }
    std::size_t k = v;
    while (k < s.size() && s[k] != ' ' && s[k] != '\t' && s[k] != '>') ++k;
    return k;
}

// End of a charset value starting at v; it always qualifies.
std::size_t charset_end(std::string_view s, std::size_t v) {
    std::size_t k = v;
    if (v < s.size() && is_quote(s[v])) {
        char q = s[v], other = q == '"' ? '\'' : '"';
        ++k;
        while (k < s.size() && s[k] != q && s[k] != '>' && s[k] != other) ++k;
        return k < s.size() && s[k] == q ? k + 1 : k;
    }
    auto in_name = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.' || c == '_';
    };
    while (k < s.size() && in_name(s[k])) ++k;
    return k;
}

}  // namespace

AttrEdit remove_charset(LineBuf& line, const WalkOptions&, std::size_t name) {
    std::string_view s = line.rest();
    line.remove(charset_end(s, skip_blanks(s, name)));
    return AttrEdit::removed;
}

AttrEdit remove_bgcolor(LineBuf& line, const WalkOptions&, std::size_t name) {
    std::string_view s = line.rest();
    std::size_t end = bgcolor_end(s, skip_blanks(s, name));
    if (end == std::string_view::npos) return AttrEdit::declined;
    return cut_attribute(line, end);
}

AttrEdit remove_size(LineBuf& line, const WalkOptions&, std::size_t name) {
    std::string_view s = line.rest();
    std::size_t end = size_end(s, name);
    if (end == std::string_view::npos) return AttrEdit::declined;
    if (end < s.size() && s[end] == ' ') ++end;
    return cut_attribute(line, end);
}

AttrEdit remove_align(LineBuf& line, const WalkOptions&, std::size_t name) {
    std::string_view s = line.rest();
    std::size_t end = align_end(s, skip_blanks(s, name));
    if (end == std::string_view::npos) return AttrEdit::declined;
    if (end < s.size() && s[end] == ' ') ++end;
    return cut_attribute(line, end);
}

}  // namespace tagpolish

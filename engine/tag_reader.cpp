#include "engine/tag_reader.h"

#include <algorithm>
#include <cstdint>

#include "lib/sjstr.h"

namespace tagpolish {
namespace {

constexpr std::size_t longest_caseless = [] {
    std::size_t n = 0;
    for (std::string_view name : caseless_attributes) n = std::max(n, name.size());
    return n;
}();

// For each length, the first letters of the caseless names of that length
// (bit 0 for a): most names are told apart by these alone.
constexpr std::array<std::uint32_t, longest_caseless + 1> caseless_starts = [] {
    std::array<std::uint32_t, longest_caseless + 1> starts{};
    for (std::string_view name : caseless_attributes) starts[name.size()] |= 1u << (name[0] - 'a');
    return starts;
}();

}  // namespace

bool is_caseless_attribute(std::string_view name) {
    if (name.empty() || name.size() > longest_caseless) return false;
    const unsigned char first = ascii_lower(static_cast<unsigned char>(name[0]));
    if (first < 'a' || first > 'z' || !(caseless_starts[name.size()] >> (first - 'a') & 1))
        return false;
    auto same = [name](std::string_view known) {
        if (known.size() != name.size()) return false;
        for (std::size_t k = 0; k < name.size(); ++k)
            if (ascii_lower(static_cast<unsigned char>(name[k])) != known[k]) return false;
        return true;
    };
    return std::any_of(caseless_attributes.begin(), caseless_attributes.end(), same);
}

void TagReader::look_up_name(const LineBuf& line) {
    name_unread = false;
    caseless = false;
    // A blank taken back by an attribute removal may leave the name short.
    const std::size_t walked = line.walked_size();
    if (name_size > longest_caseless || name_at + name_size > walked) return;
    char name[longest_caseless];
    const std::size_t back = walked - name_at - name_size;
    for (std::size_t k = 0; k < name_size; ++k)
        name[name_size - 1 - k] = line.walked_back(back + k);
    caseless = is_caseless_attribute({name, name_size});
}

std::size_t TagEnd::find(std::string_view text, std::size_t k) {
    while (k < text.size()) {
        // In a comment or a quoted value only its end counts.
        if (in_comment || is_quoted(read)) {
            const bool single =
                read == TagRead::single_quoted || read == TagRead::declaration_single;
            const std::string_view end = in_comment ? "-->" : single ? "'" : "\"";
            const std::size_t at = text.find(end, k);
            if (at == std::string_view::npos) return at;
            if (in_comment)
                in_comment = false;
            else
                read = tag_reads.next[index_of(read)][static_cast<unsigned char>(end[0])];
            k = at + end.size();
            continue;
        }
        // The bytes that leave the reader where it is, "<" and ">" aside.
        const auto& next = tag_reads.next[index_of(read)];
        auto c = static_cast<unsigned char>(text[k]);
        while (next[c] == read && c != '>' && c != '<') {
            k += char_length(text, k);
            if (k >= text.size()) return std::string_view::npos;
            c = static_cast<unsigned char>(text[k]);
        }
        if (c == '>') return k + 1;
        if (c == '<' && text.compare(k, 4, "<!--") == 0) {
            in_comment = true;
            k += 4;
            continue;
        }
        if (c == '<' && stops_at_tags && k + 1 < text.size() &&
            opens_tag(static_cast<unsigned char>(text[k + 1]))) {
            at_tag = true;
            return k;
        }
        read = next[c];
        k += char_length(text, k);
    }
    return std::string_view::npos;
}

}  // namespace tagpolish

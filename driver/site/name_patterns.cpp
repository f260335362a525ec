#include "driver/site/name_patterns.h"

#include <bitset>
#include <cctype>
#include <cstddef>
#include <utility>
#include <vector>

#include "platform/paths.h"

namespace tagpolish {
namespace {

// One step of a pattern: "*", or one byte out of a set.
struct Token {
    bool star = false;
    std::bitset<256> bytes;
    bool exact = true;  // false: a bracket taken for any byte
};

using Tokens = std::vector<Token>;

// Both letter cases of every ASCII letter in the set.
void fold(std::bitset<256>& bytes) {
    for (int c = 'a'; c <= 'z'; ++c)
        if (bytes[static_cast<std::size_t>(c)] || bytes[static_cast<std::size_t>(c - 'a' + 'A')])
            bytes.set(static_cast<std::size_t>(c)).set(static_cast<std::size_t>(c - 'a' + 'A'));
}

// The byte at p[j], or the one after it when p[j] is a backslash that
// escapes it; j is moved past it.
unsigned char take_byte(std::string_view p, std::size_t& j) {
    if (p[j] == '\\' && j + 1 < p.size()) ++j;
    return static_cast<unsigned char>(p[j++]);
}

// Reads the bracket expression that starts at p[i] ("[") into t and moves
// i past it; false when it has no end, so that "[" is itself.
bool bracket(std::string_view p, std::size_t& i, Token& t) {
    std::size_t j = i + 1;
    const bool negate = j < p.size() && (p[j] == '!' || p[j] == '^');
    if (negate) ++j;
    bool any = false;
    for (bool first = true;; first = false) {
        if (j >= p.size()) return false;
        if (p[j] == ']' && !first) break;
        // A class ("[:alpha:]"), an equivalence class or a collating
        // element.
        const char kind = j + 1 < p.size() && p[j] == '[' ? p[j + 1] : '\0';
        if (kind == ':' || kind == '=' || kind == '.') {
            const std::size_t end = p.find(std::string{kind, ']'}, j + 2);
            if (end != std::string_view::npos) {
                any = true;
                j = end + 2;
                continue;
            }
        }
        const unsigned char lo = take_byte(p, j);
        unsigned char hi = lo;
        if (j + 1 < p.size() && p[j] == '-' && p[j + 1] != ']') {
            ++j;
            hi = take_byte(p, j);
        }
        for (unsigned c = lo; c <= hi; ++c) t.bytes.set(c);
    }
    i = j + 1;
    t.exact = !any;
    if (any)
        t.bytes.set();
    else if (negate)
        t.bytes.flip();
    return true;
}

Tokens tokens_of(std::string_view p, bool casefold) {
    Tokens tokens;
    for (std::size_t i = 0; i < p.size();) {
        Token t;
        if (p[i] == '*') {
            t.star = true;
            ++i;
        } else if (p[i] == '?') {
            t.bytes.set();
            ++i;
        } else if (p[i] != '[' || !bracket(p, i, t)) {
            t.bytes.set(take_byte(p, i));
        }
        if (casefold) fold(t.bytes);
        tokens.push_back(t);
    }
    return tokens;
}

// The states of a pattern that can be reached from state (the number of
// tokens matched) without a byte: past each "*".
void close(const Tokens& t, std::vector<bool>& states) {
    for (std::size_t i = 0; i < t.size(); ++i)
        if (states[i] && t[i].star) states[i + 1] = true;
}

// Whether the pattern, from state, matches the whole of text.
bool matches_from(const Tokens& t, std::size_t state, std::string_view text) {
    std::vector<bool> states(t.size() + 1, false);
    states[state] = true;
    close(t, states);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        std::vector<bool> next(t.size() + 1, false);
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (!states[i]) continue;
            if (t[i].star)
                next[i] = true;
            else if (t[i].bytes[c])
                next[i + 1] = true;
        }
        states = std::move(next);
        close(t, states);
    }
    return states[t.size()];
}

// Where a pattern goes from state on byte c, or npos when it cannot.
std::size_t step(const Tokens& t, std::size_t state, unsigned char c) {
    if (state == t.size()) return std::string_view::npos;
    if (t[state].star) return state;
    return t[state].bytes[c] ? state + 1 : std::string_view::npos;
}

}  // namespace

// The pairs of states that the two patterns can reach on one and the same
// name are searched; a pair where first has matched the whole name, and
// second can go on to match the suffix, answers yes. A name holds no
// separator of paths and no NUL byte.
bool suffix_joins(std::string_view first, std::string_view suffix, std::string_view second,
                  bool casefold) {
    const Tokens a = tokens_of(first, casefold), b = tokens_of(second, casefold);
    const std::size_t width = b.size() + 1;
    std::vector<bool> seen((a.size() + 1) * width, false);
    std::vector<std::pair<std::size_t, std::size_t>> to_visit;
    auto reach = [&](std::size_t i, std::size_t j) {
        if (seen[i * width + j]) return;
        seen[i * width + j] = true;
        to_visit.emplace_back(i, j);
    };
    reach(0, 0);
    while (!to_visit.empty()) {
        const auto [i, j] = to_visit.back();
        to_visit.pop_back();
        if (i == a.size() && matches_from(b, j, suffix)) return true;
        if (i < a.size() && a[i].star) reach(i + 1, j);
        if (j < b.size() && b[j].star) reach(i, j + 1);
        for (unsigned c = 1; c < 256; ++c) {
            if (is_path_separator(static_cast<char>(c))) continue;
            const std::size_t ni = step(a, i, static_cast<unsigned char>(c));
            const std::size_t nj = step(b, j, static_cast<unsigned char>(c));
            if (ni != std::string_view::npos && nj != std::string_view::npos) reach(ni, nj);
        }
    }
    return false;
}

bool matches_every_end(std::string_view pattern, std::string_view suffix, bool casefold) {
    const Tokens t = tokens_of(pattern, casefold);
    if (t.empty() || !t[0].star || t.size() - 1 > suffix.size()) return false;
    const std::string_view end = suffix.substr(suffix.size() - (t.size() - 1));
    for (std::size_t k = 1; k < t.size(); ++k)
        if (t[k].star || !t[k].exact || !t[k].bytes[static_cast<unsigned char>(end[k - 1])])
            return false;
    return true;
}

}  // namespace tagpolish

// The working line of the scanner, split at the cursor.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tagpolish {

// The line being walked. Bytes before the cursor are final and sit in
// `done`; the unwalked rest is text[pos..], NUL-terminated. Every edit works
// at or after the cursor, so removing bytes there only moves `pos`, and new
// bytes are appended to `done`: no edit moves the rest of the line, and the
// cost of an edit is the number of bytes it changes.
struct LineBuf {
    std::string done;
    std::string text;
    std::size_t pos = 0;
    // End (in text) of the last unquoted value that the reference
    // flattening searched; a name found before it lies inside that value.
    std::size_t flat_end = 0;

    // Starts a new line.
    void load(std::string_view line) {
        done.clear();
        text.assign(line);
        pos = 0;
        flat_end = 0;
    }
    // Replaces the rest of the line, from the cursor on, with a further
    // stored line (a tag or comment that runs on).
    void continue_with(std::string_view line) {
        text.assign(line);
        pos = 0;
        flat_end = 0;
    }

    // The rest of the line from the cursor, NUL-terminated.
    const char* cur() const { return text.c_str() + pos; }
    std::string_view rest() const { return std::string_view(text).substr(pos); }
    // Byte k after the cursor, 0 at or past the end.
    unsigned char peek(std::size_t k = 0) const {
        return pos + k < text.size() ? static_cast<unsigned char>(text[pos + k]) : 0;
    }
    // Whether the cursor stands on the first byte of the working line.
    bool at_line_start() const { return done.empty(); }

    // Walks n bytes: they become final as they are.
    void advance(std::size_t n) {
        done.append(text, pos, n);
        pos += n;
    }
    // Drops n bytes at the cursor.
    void remove(std::size_t n) { pos += n; }
    // Appends new bytes before the cursor.
    void emit(std::string_view bytes) { done.append(bytes); }
    void emit(char c) { done.push_back(c); }
    // Overwrites byte k after the cursor.
    void set(std::size_t k, char c) { text[pos + k] = c; }

    // Replaces the n bytes that start `from` bytes after the cursor with
    // repl (no longer than n). The bytes between the cursor and the edit
    // move up instead of the tail moving down.
    void replace_ahead(std::size_t from, std::size_t n, std::string_view repl);

    // The working line as it stands: walked part and rest.
    std::string whole() const { return done + std::string(rest()); }
};

}  // namespace tagpolish

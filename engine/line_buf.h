// The working line of the scanner, split at the cursor.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tagpolish {

// The line being walked. Bytes before the cursor (the walked part) are
// final; the unwalked rest is text[pos..], NUL-terminated. Every edit works
// at or after the cursor, so removing bytes there only moves `pos`, and new
// bytes go at the end of the walked part: no edit moves the rest of the
// line, and the cost of an edit is the number of bytes it changes.
//
// Walking copies nothing. The walked part is `done_`, the bytes made real
// so far, followed by text[mark_..pos), which still sit where they were
// read; they are copied into done_ only when an edit needs the walked part
// to end at the cursor.
struct LineBuf {
    std::string text;
    std::size_t pos = 0;
    // End (in text) of the last unquoted value that the reference
    // flattening searched; a name found before it lies inside that value.
    std::size_t flat_end = 0;

    // Starts a new line.
    void load(std::string_view line) {
        done_.clear();
        start(line);
    }
    // Replaces the rest of the line, from the cursor on, with a further
    // stored line (a tag or comment that runs on).
    void continue_with(std::string_view line) {
        settle();
        start(line);
    }

    // The rest of the line from the cursor, NUL-terminated.
    const char* cur() const { return text.c_str() + pos; }
    std::string_view rest() const { return std::string_view(text).substr(pos); }
    // Byte k after the cursor, 0 at or past the end.
    unsigned char peek(std::size_t k = 0) const {
        return pos + k < text.size() ? static_cast<unsigned char>(text[pos + k]) : 0;
    }
    // Whether the walked part is empty: the cursor stands on the first byte
    // of the working line.
    bool at_line_start() const { return pos == mark_ && done_.empty(); }
    // The last walked byte; the walked part must not be empty.
    char last_walked() const { return pos > mark_ ? text[pos - 1] : done_.back(); }
    // Takes the last walked byte back out of the line.
    void drop_last_walked();

    // Walks n bytes: they become final as they are.
    void advance(std::size_t n) { pos += n; }
    // Drops n bytes at the cursor.
    void remove(std::size_t n) {
        settle();
        pos += n;
        mark_ = pos;
    }
    // Appends new bytes before the cursor.
    void emit(std::string_view bytes) {
        settle();
        done_.append(bytes);
    }
    void emit(char c) {
        settle();
        done_.push_back(c);
    }
    // Overwrites byte k after the cursor.
    void set(std::size_t k, char c) { text[pos + k] = c; }

    // Replaces the n bytes that start `from` bytes after the cursor with
    // repl (no longer than n). The bytes between the cursor and the edit
    // move up instead of the tail moving down.
    void replace_ahead(std::size_t from, std::size_t n, std::string_view repl);

    // The finished line (walked to its end) is made() followed by kept():
    // the bytes made real by edits, then the bytes after them as they sit
    // in text (the whole line when no edit acted).
    std::string_view made() const { return done_; }
    std::string_view kept() const { return std::string_view(text).substr(mark_); }

    // The working line as it stands: walked part and rest.
    std::string whole() const;

  private:
    void start(std::string_view line) {
        text.assign(line);
        pos = 0;
        mark_ = 0;
        flat_end = 0;
    }
    // Makes the walked part real: text[mark_..pos) joins done_.
    void settle() {
        if (pos == mark_) return;
        done_.append(text, mark_, pos - mark_);
        mark_ = pos;
    }

    std::string done_;
    std::size_t mark_ = 0;
};

}  // namespace tagpolish

// The working line of the scanner, split at the cursor.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "engine/line_io.h"

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
// to end at the cursor. `text` is the source's line itself until the first
// write into the rest, which takes a copy of its own first, so the source's
// line is never changed, unless the source lets the walk write into it in
// place (writes_into): a long line is then never held twice. A line that
// no edit acts on is thus put out as the source handed it out.
//
// A walked part that grows long goes to `spill` as it grows, all but its
// last bytes (which the look-backs need), so that a long line is put out
// while it is walked instead of being held whole a second time.
struct LineBuf {
    std::string_view text;
    std::size_t pos = 0;
    // Takes the front of a long walked part, in order, before the rest of
    // the line is put out. Unset: the walked part is held whole.
    std::function<void(std::string_view)> spill;
    // The walked part is spilled from this size on, keeping at least
    // spill_keep bytes of it, from the start of a character.
    static constexpr std::size_t spill_at = std::size_t{1} << 20;
    static constexpr std::size_t spill_keep = std::size_t{64} << 10;
    // Bytes of a line that as_read keeps once the line is written in place.
    static constexpr std::size_t head_kept = 1100;

    // Writes into the lines of source in place where it allows (see
    // LineSource::writable) instead of taking a copy.
    void writes_into(LineSource* source) { source_ = source; }

    // Starts a new line. Its bytes, and the NUL after them, must stay as
    // they are while the line is worked on.
    void load(std::string_view line) {
        done_.clear();
        spilled_ = 0;
        spill_next_ = spill_at;
        start(line);
    }
    // Copies the walked bytes that still sit in the line out of it, so
    // that the line's own bytes are no longer needed but from the cursor on.
    void keep_walked() { settle(); }
    // Replaces the rest of the line, from the cursor on, with a further
    // line (a tag or comment that runs on).
    void continue_with(std::string_view line) {
        settle();
        start(line);
    }
    // Goes back to a line that the source hands out again, the cursor on
    // its byte at; the walked part stays as it is (a tag that a removal
    // reached over lines, walked again as it stands).
    void resume(std::string_view line, std::size_t at) {
        settle();
        start(line);
        pos = mark_ = at;
    }

    // The rest of the line from the cursor, NUL-terminated.
    const char* cur() const { return text.data() + pos; }
    std::string_view rest() const { return {text.data() + pos, text.size() - pos}; }
    // Byte k after the cursor, 0 at or past the end.
    unsigned char peek(std::size_t k = 0) const {
        return pos + k < text.size() ? static_cast<unsigned char>(text[pos + k]) : 0;
    }
    // Whether the walked part is empty: the cursor stands on the first byte
    // of the working line.
    bool at_line_start() const { return pos == mark_ && done_.empty() && spilled_ == 0; }
    // The last walked byte; the walked part must not be empty.
    char last_walked() const { return pos > mark_ ? text[pos - 1] : done_.back(); }
    // Byte k back from the end of the walked part (0: the last one), or NUL
    // when the walked part is shorter or that byte has been spilled.
    char walked_back(std::size_t k) const {
        std::size_t here = pos - mark_;
        if (k < here) return text[pos - 1 - k];
        k -= here;
        return k < done_.size() ? done_[done_.size() - 1 - k] : '\0';
    }
    // How many bytes have been walked.
    std::size_t walked_size() const { return spilled_ + done_.size() + (pos - mark_); }
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
        if (done_.size() >= spill_next_) spill_front();
    }
    void emit(char c) {
        settle();
        done_.push_back(c);
        if (done_.size() >= spill_next_) spill_front();
    }
    // Overwrites byte k after the cursor.
    void set(std::size_t k, char c) {
        ++version_;
        ahead_to_write()[k] = c;
    }
    // The rest of the line from the cursor, to write into the bytes that are
    // walked next, before anything looks at them or at those after them.
    char* ahead_to_write() {
        if (!owned_) own();
        return written_ + pos;
    }
    // Changes whenever text becomes another line or bytes of it that are not
    // yet walked may have been written to: what was found out about them
    // holds until then.
    unsigned version() const { return version_; }

    // Replaces the n bytes that start `from` bytes after the cursor with
    // repl (no longer than n). The bytes between the cursor and the edit
    // move up instead of the tail moving down.
    void replace_ahead(std::size_t from, std::size_t n, std::string_view repl);

    // The finished line (walked to its end) is made() followed by kept():
    // the bytes made real by edits (but those spilled), then the bytes after
    // them as they sit in text (the whole line when no edit acted).
    std::string_view made() const { return done_; }
    std::string_view kept() const { return {text.data() + mark_, text.size() - mark_}; }
    // Whether kept() lies in the line as the source handed it out (nothing
    // was written into the line).
    bool kept_in_source() const { return !owned_; }

    // The working line as it stands: walked part (but what was spilled)
    // and rest.
    std::string whole() const;
    // The current line as the source handed it out, before anything was
    // written into it: the whole line, or its first head_kept bytes once
    // it is written in place.
    std::string_view as_read() const { return in_place_ ? std::string_view(head_) : handed_; }

  private:
    void start(std::string_view line) {
        ++version_;
        text = handed_ = line;
        pos = 0;
        mark_ = 0;
        owned_ = in_place_ = false;
    }
    // Makes the walked part real: text[mark_..pos) joins done_.
    void settle() {
        if (pos == mark_) return;
        if (done_.size() + (pos - mark_) >= spill_next_ && spill) {
            settle_spilling();
            return;
        }
        done_.append(text.data() + mark_, pos - mark_);
        mark_ = pos;
    }
    // Makes text writable: the source's line itself where the source lets
    // it be written, else a copy; positions in it stay the same.
    void own();
    // Hands the front of done_ to spill.
    void spill_front();
    // Settles a long walked part: what would be spilled goes to spill
    // from where it lies, without a copy.
    void settle_spilling();

    std::string done_;
    std::size_t spilled_ = 0;            // walked bytes handed to spill
    std::size_t spill_next_ = spill_at;  // done_'s size that spills
    std::size_t mark_ = 0;
    std::string own_;          // a copy of text's bytes to write into
    char* written_ = nullptr;  // where text's bytes are written, once owned_
    bool owned_ = false;       // text may be written (it is own_, or in place)
    bool in_place_ = false;    // text is written where the source holds it
    std::string_view handed_;  // the line as the source handed it out
    std::string head_;         // its first bytes, once it is written in place
    LineSource* source_ = nullptr;
    unsigned version_ = 0;
};

}  // namespace tagpolish

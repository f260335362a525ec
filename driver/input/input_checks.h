// The checks an input passes before any of it is edited, each a step of
// its own that takes the input block by block as it is read: the
// end-of-file mark, NUL bytes, the kind of line end and the encoding.
#pragma once

#include <cstdint>
#include <string_view>

#include "driver/input/encoding_check.h"
#include "driver/input/line_end.h"

namespace tagpolish {

// The end-of-file mark: the text of an input ends at its first byte 0x1A.
class EofMark {
  public:
    // Takes the next block of the input; returns how many of its bytes are
    // text (all of them, or those before the mark).
    std::size_t feed(std::string_view block);
    bool found() const { return found_; }
    // Whether any byte follows the mark.
    bool text_after() const { return text_after_; }

  private:
    bool found_ = false;
    bool text_after_ = false;
};

// The first NUL byte of the text.
class NulCheck {
  public:
    // Takes the next bytes of the text.
    void feed(std::string_view text);
    bool found() const { return found_; }
    // Where the first NUL byte stands in the text.
    std::uint64_t offset() const { return offset_; }

  private:
    bool found_ = false;
    std::uint64_t offset_ = 0;  // of the first NUL, or bytes fed so far
};

// How the text ends its first line: the first "\n" decides (CR LF when a
// "\r" stands before it); a text without "\n" and with a "\r" is a CR input.
class LineEndCheck {
  public:
    void feed(std::string_view text);
    LineEnd line_end() const;

  private:
    bool newline_ = false;  // a "\n" was seen
    bool crlf_ = false;     // the first "\n" had a "\r" before it
    bool cr_ = false;       // a "\r" was seen
    char last_ = 0;         // the last byte fed
};

// Counts the line ends of a text whose first line end is of the given kind
// ("\r" in a CR input, else "\n"), so that a byte's line number can be told
// from the bytes before it.
class LineCounter {
  public:
    explicit LineCounter(LineEnd line_end) : end_(line_end == LineEnd::cr ? '\r' : '\n') {}
    void feed(std::string_view text);
    // The line (from 1) of the next byte.
    std::int64_t line() const { return lines_ + 1; }

  private:
    char end_;
    std::int64_t lines_ = 0;
};

// What the checks found out about an input.
struct InputInfo {
    LineEnd line_end = LineEnd::lf;
    bool read_error = false;       // reading failed; the checks are incomplete
    int read_errno = 0;            // why reading failed
    bool eof_mark = false;         // the text ends at a 0x1A mark
    bool text_after_eof = false;   // bytes follow the mark
    std::int64_t nul_line = 0;     // 1-based line of the first NUL byte, or 0
    std::uint64_t nul_offset = 0;  // where the first NUL stands in the text
    EncodingVerdict encoding;      // what the text looks like, when not Shift_JIS
    std::uint64_t text_size = 0;   // bytes of text, before the mark
    bool held = false;             // the text is held whole in memory
    std::uint64_t start = 0;       // where the input starts in its file, when not held
};

// The checks together, over an input as it is read.
class InputChecks {
  public:
    // Takes the next block of the input as read.
    void feed(std::string_view block);
    // Whether the rest of the input need not be read: it holds a NUL byte,
    // or bytes after its mark. An endless source (/dev/zero) ends there.
    bool done() const { return nul_.found() || mark_.text_after(); }
    bool nul_found() const { return nul_.found(); }
    // What was found, but for the line of a NUL byte (nul_line stays 0),
    // which needs the text before it once more.
    InputInfo info() const;

  private:
    EofMark mark_;
    NulCheck nul_;
    LineEndCheck line_end_;
    EncodingCheck encoding_;
    std::uint64_t text_size_ = 0;
};

}  // namespace tagpolish

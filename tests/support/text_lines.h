// The engine's line source and output sink over strings, so that the engine
// is tested on its own interfaces, without the driver's input and output.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/line_io.h"

namespace tagpolish::test {

// Hands out the lines of a text as the engine expects them: the text ends
// at its first 0x1A byte; a text with a "\n" ends its lines there (a "\r"
// right before it belongs to the line end), one without in "\r"; each line
// end is handed out as "\n", the last line of the text may lack one. Each
// line is a copy of its own, which the walk may write into.
class TextLines : public LineSource {
  public:
    explicit TextLines(std::string_view text);
    std::string_view next_line() override;
    LineMark mark() const override { return current_; }
    void rewind(LineMark mark) override { next_ = static_cast<std::size_t>(mark); }
    // The walk writes into the line handed out, as into a file's buffer: a
    // rewind hands it out again from the text.
    char* writable(std::string_view line) override {
        return line.data() == line_.data() ? line_.data() : nullptr;
    }

  private:
    std::string text_;
    char stop_;                // the byte that ends a line
    std::size_t current_ = 0;  // where the line handed out begins in text_
    std::size_t next_ = 0;     // where the next line begins in text_
    std::string line_;         // the line handed out, then pad NUL bytes
    static constexpr std::size_t pad = 64;
};

// Keeps every item it is given in one string.
class TextSink : public OutputSink {
  public:
    void put(std::string_view item) override { text.append(item); }
    std::string text;
};

}  // namespace tagpolish::test

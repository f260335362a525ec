// Where the engine's lines come from and where its text goes. The engine
// owns these interfaces; the driver implements them over files and streams.
#pragma once

#include <cstdint>
#include <string_view>

namespace tagpolish {

// A line that a source handed out, to go back to (LineSource::rewind).
using LineMark = std::uint64_t;

// Hands out the lines of one input in order.
class LineSource {
  public:
    virtual ~LineSource() = default;
    // The next line: its bytes through its line end, which the walk sees as
    // "\n" whatever the input has there (the last line of an input may lack
    // one), followed in memory by a NUL byte outside the view, as
    // the walk reads a few bytes past its cursor. At the end of the input,
    // a view with null data. The bytes stay valid and unchanged until a
    // later call hands out another line (a call at the end of the input
    // leaves the last line as it is).
    virtual std::string_view next_line() = 0;
    // The mark of the line handed out last, while it is the current one.
    virtual LineMark mark() const = 0;
    // Goes back to a marked line: the next call of next_line hands it out
    // again, as it did before, and then the lines after it. The lines handed
    // out since the mark are no longer valid, the current one included.
    virtual void rewind(LineMark mark) = 0;
    // Lets the walk write into line, the line handed out last, where it
    // lies: its first byte, or null where the walk is to write into a copy
    // of its own. The bytes written are the walk's: a rewind hands the line
    // out again as the input has it.
    virtual char* writable(std::string_view line) {
        (void)line;
        return nullptr;
    }
};

// Receives each output item of one input in order.
class OutputSink {
  public:
    virtual ~OutputSink() = default;
    // Takes the bytes of item, which need not outlive the call.
    virtual void put(std::string_view item) = 0;
    // Takes the line end that -j puts before a paragraph, between lines.
    virtual void put_newline() { put("\n"); }
    // Takes bytes of a line as the line source handed it out, unchanged.
    // They stay valid at least until the source hands out another line; a
    // sink that knows its source keeps them longer may send them later,
    // without a copy.
    virtual void put_span(std::string_view span) { put(span); }
    // Writes out what is buffered, so that it goes before a message; false
    // when any write has failed.
    virtual bool flush() { return true; }
};

}  // namespace tagpolish

// The line source: an input read through one buffer, its lines handed out
// where they lie in it.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "driver/input/input_checks.h"
#include "driver/input/line_end.h"
#include "engine/line_io.h"
#include "lib/text_hash.h"
#include "platform/file_ops.h"

namespace tagpolish {

// The buffer that inputs are read through. One serves a whole run, so that
// a site of small pages asks the system for memory once; it grows only for
// a line longer than itself, or for a stream held whole.
class InputBuffer {
  public:
    // Bytes of one read: large enough that reading costs few calls, small
    // enough to stay in the processor's cache while a block is walked.
    static constexpr std::size_t block_size = std::size_t{128} << 10;
    // Bytes after size() that may be written and read: the NUL after a
    // last line, and loads of the walk that run a little past it.
    static constexpr std::size_t pad = 64;

    InputBuffer();
    ~InputBuffer();
    InputBuffer(const InputBuffer&) = delete;
    InputBuffer& operator=(const InputBuffer&) = delete;

    char* data() { return data_; }
    std::size_t size() const { return size_; }
    // Makes it hold at least n bytes, keeping what it holds; running out
    // of memory ends the program.
    void grow(std::size_t n);
    // Back to block_size, for the next input.
    void reset();

  private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
};

// Reads up to n bytes of the input open as fd into p, at offset at, or
// from where fd stands when at is null; tried again when a signal
// interrupts it, unless the run is stopping (then it fails with EINTR).
ssize_t read_some(FileOps& ops, int fd, char* p, std::size_t n, const std::uint64_t* at);

// Reads an input through ops for the checks that come before any edit; st
// is what fstat said of fd. A regular file is read block by block through
// buf, and read again by the lines; any other stream (a pipe, a device) is
// held whole in buf, up to its end, its first NUL byte, or the byte after
// its end-of-file mark. Every byte read is taken by hash, when one is
// given: for an input that passes its checks, the whole input.
InputInfo load_input(FileOps& ops, int fd, const FileStat& st, InputBuffer& buf,
                     TextHash* hash = nullptr);

// Holds a text from memory as load_input holds a stream.
InputInfo load_text(std::string_view raw, InputBuffer& buf);

// The lines of an input that load_input read, each handed out in the
// buffer: "\n" ends a line (a "\r" before it belongs to the line end), or
// in a CR input "\r" does; the line end is turned into "\n" there, and a
// "\r" inside a line stays as it is. Each line is followed by a NUL byte,
// written over the byte after it until the next line is asked for.
class BlockLines : public LineSource {
  public:
    // A file that load_input did not hold is read again through ops.
    BlockLines(int fd, InputBuffer& buf, const InputInfo& info, FileOps& ops = system_file_ops());
    std::string_view next_line() override;
    // A line's mark is its offset in the input. A line that the buffer no
    // longer holds is read again from the file.
    LineMark mark() const override { return offset_of(line_.data()); }
    void rewind(LineMark mark) override;
    // The current line of a file read again from it may be written into:
    // a rewind to it, or to a line before it, reads the file again.
    char* writable(std::string_view line) override;

    // Called before bytes of lines already handed out are moved or
    // overwritten, so that what still points at them (an output sink's
    // pending spans) can be done with them first.
    std::function<void()> before_reuse;

    // The current line.
    std::string_view line() const { return line_; }
    // The line end that the input has where the current line ends: "\n",
    // "\r\n", "\r", or "" for a last line without one. After the next line
    // is asked for, these bytes stand in the buffer right after the current
    // line's bytes but its "\n".
    std::string_view raw_end() const { return raw_end_; }
    // Where byte p of the current line stands in the input (from its
    // start). A line's bytes are the input's own, but for its line end.
    std::uint64_t offset_of(const char* p) const {
        return base_ + static_cast<std::uint64_t>(p - buf_.data());
    }

    // Why the lines ended before the text: the errno of a failed read, or 0.
    int read_errno() const { return read_errno_; }
    // Whether the file no longer holds what its checks read: shorter, or
    // with a NUL byte, an end-of-file mark or a line end of another kind.
    bool changed() const { return changed_; }

  private:
    std::size_t find_end();
    bool fill();
    void make_room();
    std::string_view cut(std::size_t end);
    void restore();

    static constexpr std::size_t none = static_cast<std::size_t>(-1);
    int fd_;
    FileOps& ops_;
    InputBuffer& buf_;
    const LineEnd line_end_;
    const char stop_;                // the byte that ends a line as read
    const std::uint64_t start_;      // file offset of the text's first byte
    std::uint64_t read_at_;          // file offset of the next read
    std::uint64_t left_;             // bytes of text not yet read
    std::uint64_t base_ = 0;         // input offset of the buffer's first byte
    std::size_t held_from_ = 0;      // the input's bytes stand in the buffer from here
    std::size_t cur_ = 0;            // the next line starts here
    std::size_t end_ = 0;            // bytes read into the buffer
    std::size_t scanned_ = 0;        // bytes from cur_ on known to hold no line end
    std::size_t covered_ = none;     // where the NUL after the line stands
    char covered_byte_ = 0;          // the byte it covers
    std::size_t translated_ = none;  // where a "\r" was turned into "\n"
    std::string_view line_;
    std::string_view raw_end_;
    int read_errno_ = 0;
    bool changed_ = false;
    // The input offset of the last line written into (the highest), or
    // none_written.
    static constexpr std::uint64_t none_written = static_cast<std::uint64_t>(-1);
    std::uint64_t written_ = none_written;
};

}  // namespace tagpolish

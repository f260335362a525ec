// Where finished lines go: standard output, or the new file of a rewrite.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "driver/input/line_end.h"
#include "driver/input/line_source.h"
#include "engine/line_io.h"
#include "engine/utf8_page.h"
#include "lib/text_hash.h"
#include "platform/file_ops.h"

namespace tagpolish {

// Whether a text written out is the same, byte for byte, as a file's.
class SameText {
  public:
    // Compares with the size bytes of fd from offset start on, read
    // through ops.
    SameText(FileOps& ops, int fd, std::uint64_t start, std::uint64_t size);
    // Takes the next bytes written.
    void write(std::string_view bytes);
    // Takes the next bytes written, which are the file's own bytes at
    // offset at (from start).
    void write_own(std::uint64_t at, std::string_view bytes);
    // Whether the whole text was written and is the same as the file.
    bool whole() const { return same_ && written_ == size_; }

  private:
    FileOps& ops_;
    int fd_;
    std::uint64_t start_, size_;
    std::uint64_t written_ = 0;
    bool same_ = true;
    std::string block_;           // bytes of the file from block_at_
    std::uint64_t block_at_ = 0;  // (from start)
};

// Writes items to a file descriptor (none when it is -1). Following a
// BlockLines, it writes each line with the line end that the input has
// there (the "\n" of the line as walked becomes the input's "\r\n" or
// "\r"); items are written as they are otherwise. Lines that come unchanged
// from the source are written from its buffer (writev), the rest from a
// buffer of its own. Remembers a failed write.
class FdSink : public OutputSink {
  public:
    // first_end is the input's first line end, which put_newline writes.
    FdSink(int fd, LineEnd first_end, FileOps& ops = system_file_ops());
    ~FdSink() override;
    FdSink(const FdSink&) = delete;
    FdSink& operator=(const FdSink&) = delete;

    // Takes its spans from lines, whose buffer they stay in until lines
    // reuses it; the sink writes them out before that.
    void follow(BlockLines& lines);
    // Compares everything it writes with the input open as fd, which info
    // describes (see SameText): the whole file, its end-of-file mark too,
    // read through the sink's own ops.
    void compare_with(int fd, const InputInfo& info);
    // Whether the text written is, whole, the compared file's own.
    bool unchanged() const;
    // Gives every byte written to hash (which must outlive the sink) as
    // it is written.
    void hash_into(TextHash* hash) { hash_ = hash; }
    // Writes the text in UTF-8 (engine/utf8_page.h), counting what the
    // conversion changed in counts (which must outlive the sink). The text
    // is kept until finish, as a page is converted whole; nothing is
    // written before; size is what the text is likely to take. Called
    // before compare_with.
    void convert_to_utf8(const Utf8Settings& how, EditCounts& counts, std::size_t size);
    // Writes out the rest of a whole text: under the conversion, the text
    // converted, or nothing when it does not convert. False when it did
    // not convert (conversion_failure says where) or a write failed.
    bool finish();
    // Where the text did not convert, once finish said so.
    const Utf8Failure* conversion_failure() const;

    void put(std::string_view item) override;
    void put_newline() override;
    void put_span(std::string_view span) override;
    bool flush() override;
    // The errno of the first failed write, or 0.
    int error() const { return error_; }

  private:
    std::string_view line_end() const;
    void stage(std::string_view bytes);
    void add(const char* p, std::size_t n);
    void end_pending();
    void write_all();

    int fd_;
    std::string_view first_end_;  // what put_newline writes
    FileOps& ops_;
    int error_ = 0;
    BlockLines* lines_ = nullptr;
    std::unique_ptr<SameText> same_;
    TextHash* hash_ = nullptr;
    struct Conversion;
    std::unique_ptr<Conversion> utf8_;
    std::vector<iovec> iov_;         // what is to be written, in order
    std::unique_ptr<char[]> stage_;  // copies of what put() takes
    std::size_t staged_ = 0;
    // A line end of the input that goes out as the input's own bytes, at
    // pending_at_ once the source has moved on: pending_ bytes, 0 for none;
    // pending_end_ is the same bytes, to write from elsewhere.
    const char* pending_at_ = nullptr;
    std::size_t pending_ = 0;
    std::string_view pending_end_;
};

}  // namespace tagpolish

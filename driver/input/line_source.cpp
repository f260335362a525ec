#include "driver/input/line_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "lib/mem.h"
#include "platform/run_stop.h"

namespace tagpolish {

InputBuffer::InputBuffer() {
    grow(block_size);
}

InputBuffer::~InputBuffer() {
    large_free(data_, size_ + pad);
}

void InputBuffer::grow(std::size_t n) {
    if (n <= size_) return;
    try {
        data_ = static_cast<char*>(large_realloc(data_, size_ + pad, n + pad));
    } catch (const std::bad_alloc&) {
        out_of_memory();
    }
    size_ = n;
    std::memset(data_ + size_, 0, pad);
}

void InputBuffer::reset() {
    if (size_ == block_size) return;
    large_free(data_, size_ + pad);
    data_ = nullptr;
    size_ = 0;
    grow(block_size);
}

ssize_t read_some(FileOps& ops, int fd, char* p, std::size_t n, const std::uint64_t* at) {
    for (;;) {
        ssize_t got = at ? ops.pread(fd, p, n, static_cast<off_t>(*at)) : ops.read(fd, p, n);
        if (got >= 0 || errno != EINTR || stop_requested()) return got;
    }
}

namespace {

// How many bytes from the start of text a walk may be given: those before
// the first NUL byte or end-of-file mark, or in a CR input the first "\n",
// none of which the checks of the text let through.
std::size_t sound_part(std::string_view text, LineEnd line_end) {
    std::size_t sound = text.size();
    for (char bad : {'\0', '\x1A', '\n'}) {
        if (bad == '\n' && line_end != LineEnd::cr) break;
        if (const void* at = std::memchr(text.data(), bad, sound))
            sound = static_cast<std::size_t>(static_cast<const char*>(at) - text.data());
    }
    return sound;
}

// The line of the first NUL byte of a file, from the text before it.
std::int64_t nul_line_in_file(FileOps& ops, int fd, const InputInfo& info, InputBuffer& buf) {
    LineCounter counter(info.line_end);
    for (std::uint64_t done = 0; done < info.nul_offset;) {
        const std::uint64_t at = info.start + done;
        std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), info.nul_offset - done));
        ssize_t got = read_some(ops, fd, buf.data(), want, &at);
        if (got <= 0) break;
        counter.feed({buf.data(), static_cast<std::size_t>(got)});
        done += static_cast<std::uint64_t>(got);
    }
    return counter.line();
}

// The first pass over a regular file, block by block from start.
InputInfo check_file(FileOps& ops, int fd, std::uint64_t start, InputBuffer& buf, TextHash* hash) {
    InputChecks checks;
    int error = 0;
    for (std::uint64_t at = start; !checks.done();) {
        ssize_t got = read_some(ops, fd, buf.data(), buf.size(), &at);
        if (got < 0) error = errno;
        if (got <= 0) break;
        checks.feed({buf.data(), static_cast<std::size_t>(got)});
        if (hash != nullptr) hash->add({buf.data(), static_cast<std::size_t>(got)});
        at += static_cast<std::uint64_t>(got);
    }
    InputInfo info = checks.info();
    info.start = start;
    info.read_error = error != 0;
    info.read_errno = error;
    if (!error && checks.nul_found()) info.nul_line = nul_line_in_file(ops, fd, info, buf);
    return info;
}

// What the checks found in a text held whole at the start of buf.
InputInfo held_info(const InputChecks& checks, InputBuffer& buf) {
    InputInfo info = checks.info();
    info.held = true;
    if (checks.nul_found()) {
        LineCounter counter(info.line_end);
        counter.feed({buf.data(), static_cast<std::size_t>(info.nul_offset)});
        info.nul_line = counter.line();
    }
    return info;
}

// Reads a stream whole into buf, which doubles as it fills.
InputInfo hold_stream(FileOps& ops, int fd, InputBuffer& buf, TextHash* hash) {
    InputChecks checks;
    std::size_t held = 0;
    int error = 0;
    while (!checks.done()) {
        if (held == buf.size()) buf.grow(2 * buf.size());
        ssize_t got = read_some(ops, fd, buf.data() + held, buf.size() - held, nullptr);
        if (got < 0) error = errno;
        if (got <= 0) break;
        checks.feed({buf.data() + held, static_cast<std::size_t>(got)});
        if (hash != nullptr) hash->add({buf.data() + held, static_cast<std::size_t>(got)});
        held += static_cast<std::size_t>(got);
    }
    InputInfo info = held_info(checks, buf);
    info.read_error = error != 0;
    info.read_errno = error;
    return info;
}

}  // namespace

InputInfo load_input(FileOps& ops, int fd, const FileStat& st, InputBuffer& buf, TextHash* hash) {
    buf.reset();
    // A file that says it is empty may be one whose text is made as it is
    // read (as in /proc): it is read once, as a stream.
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
        const off_t start = ops.lseek(fd, 0, SEEK_CUR);
        if (start >= 0) return check_file(ops, fd, static_cast<std::uint64_t>(start), buf, hash);
    }
    return hold_stream(ops, fd, buf, hash);
}

InputInfo load_text(std::string_view raw, InputBuffer& buf) {
    buf.reset();
    buf.grow(raw.size());
    if (!raw.empty()) std::memcpy(buf.data(), raw.data(), raw.size());
    InputChecks checks;
    checks.feed(raw);
    return held_info(checks, buf);
}

BlockLines::BlockLines(int fd, InputBuffer& buf, const InputInfo& info, FileOps& ops)
    : fd_(info.held ? -1 : fd),
      ops_(ops),
      buf_(buf),
      line_end_(info.line_end),
      stop_(info.line_end == LineEnd::cr ? '\r' : '\n'),
      start_(info.start),
      read_at_(info.start),
      left_(info.held ? 0 : info.text_size) {
    if (info.held) end_ = static_cast<std::size_t>(info.text_size);
}

std::string_view BlockLines::next_line() {
    if (cur_ == end_ && left_ == 0) return {};  // the last line stays as it is
    restore();
    std::size_t end;
    while ((end = find_end()) == none) {
        if (!fill()) {
            end = end_;
            break;
        }
    }
    if (cur_ == end_) return {};
    return cut(end);
}

void BlockLines::rewind(LineMark mark) {
    restore();
    scanned_ = 0;
    const std::uint64_t at = mark - base_;  // modulo 2^64, as base_ is
    const bool kept = written_ == none_written || written_ < mark;
    if (kept && at >= held_from_ && at <= end_) {
        cur_ = static_cast<std::size_t>(at);
        return;
    }
    written_ = none_written;
    // Read again from the mark up to where the text is known to end; the
    // next fill hands the buffer's bytes to before_reuse first.
    left_ += base_ + end_ - mark;
    read_at_ = start_ + mark;
    base_ = mark;
    held_from_ = cur_ = end_ = 0;
}

char* BlockLines::writable(std::string_view line) {
    if (fd_ < 0 || line.data() != line_.data() || line.empty()) return nullptr;
    const std::uint64_t at = offset_of(line.data());
    if (written_ == none_written || written_ < at) written_ = at;
    return buf_.data() + (line.data() - buf_.data());
}

// Where the line from cur_ ends (its "\n", or its "\r" in a CR input), or
// none when the buffer holds no end of it yet. The first byte is looked at
// on its own: it was just put back in place of the NUL after the last line,
// and an empty line is common.
std::size_t BlockLines::find_end() {
    const char* b = buf_.data();
    std::size_t from = cur_ + scanned_;
    if (from < end_ && b[from] == stop_) {
        scanned_ = 0;
        return from;
    }
    if (from < end_) ++from;
    const void* at = std::memchr(b + from, stop_, end_ - from);
    if (!at) {
        scanned_ = end_ - cur_;
        return none;
    }
    scanned_ = 0;
    return static_cast<std::size_t>(static_cast<const char*>(at) - b);
}

// Reads the next block of the text after what the buffer holds. False when
// nothing more comes: the text is all read, or reading failed, or the file
// no longer holds what its checks read (then the text ends before the
// first byte that would break what the walk relies on).
bool BlockLines::fill() {
    if (left_ == 0) return false;
    make_room();
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(buf_.size() - end_, left_));
    ssize_t got = read_some(ops_, fd_, buf_.data() + end_, want, &read_at_);
    if (got <= 0) {
        read_errno_ = got < 0 ? errno : 0;
        changed_ = got == 0;
        left_ = 0;
        return false;
    }
    std::string_view fresh(buf_.data() + end_, static_cast<std::size_t>(got));
    read_at_ += fresh.size();
    left_ -= fresh.size();
    const std::size_t sound = sound_part(fresh, line_end_);
    if (sound < fresh.size()) {
        fresh = fresh.substr(0, sound);
        changed_ = true;
        left_ = 0;
    }
    end_ += fresh.size();
    return !fresh.empty();
}

// Makes room for the next block: the part of a line that is not yet whole
// moves to the front, to where its end falls on a multiple of large_align
// (the next block is read there, at full speed), in a buffer that grows
// when that part fills more than half of it.
void BlockLines::make_room() {
    if (before_reuse) before_reuse();
    const std::size_t part = end_ - cur_;
    if (part > buf_.size() / 2) buf_.grow(2 * buf_.size());
    const std::size_t lead = (large_align - part % large_align) % large_align;
    if (cur_ != lead) std::memmove(buf_.data() + lead, buf_.data() + cur_, part);
    base_ += cur_ - lead;  // may wrap around: offsets are taken from it modulo 2^64
    held_from_ = cur_ = lead;
    end_ = lead + part;
}

// Hands out the line from cur_ whose line end stands at end (or which runs
// to the end of the text, when end is end_).
std::string_view BlockLines::cut(std::size_t end) {
    char* b = buf_.data();
    std::size_t view_end = end + 1, next = end + 1;
    if (end == end_) {
        view_end = next = end_;
        raw_end_ = "";
    } else if (line_end_ == LineEnd::cr) {
        b[end] = '\n';
        translated_ = end;
        raw_end_ = "\r";
    } else if (end > cur_ && b[end - 1] == '\r') {
        b[end - 1] = '\n';
        translated_ = end - 1;
        view_end = end;
        raw_end_ = "\r\n";
    } else {
        raw_end_ = "\n";
    }
    covered_ = view_end;
    covered_byte_ = b[view_end];
    b[view_end] = '\0';
    line_ = std::string_view(b + cur_, view_end - cur_);
    cur_ = next;
    return line_;
}

// Puts back the bytes that the last line's NUL and line end replaced.
void BlockLines::restore() {
    char* b = buf_.data();
    if (covered_ != none) b[covered_] = covered_byte_;
    if (translated_ != none) b[translated_] = '\r';
    covered_ = translated_ = none;
}

}  // namespace tagpolish

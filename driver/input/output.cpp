#include "driver/input/output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tagpolish {
namespace {

constexpr std::size_t stage_size = std::size_t{1} << 16;
constexpr std::size_t iov_max = 1024;  // the most one writev takes (IOV_MAX)
constexpr std::size_t compare_block = std::size_t{1} << 16;

std::string_view end_bytes(LineEnd end) {
    return end == LineEnd::crlf ? "\r\n" : end == LineEnd::cr ? "\r" : "\n";
}

}  // namespace

SameText::SameText(FileOps& ops, int fd, std::uint64_t start, std::uint64_t size)
    : ops_(ops), fd_(fd), start_(start), size_(size) {}

void SameText::write(std::string_view bytes) {
    while (same_ && !bytes.empty()) {
        if (written_ < block_at_ || written_ >= block_at_ + block_.size()) {
            block_.resize(
                static_cast<std::size_t>(std::min<std::uint64_t>(compare_block, size_ - written_)));
            const std::uint64_t at = start_ + written_;
            const ssize_t got =
                block_.empty() ? 0 : read_some(ops_, fd_, block_.data(), block_.size(), &at);
            // Past the end of the file, or where it cannot be read, the
            // text is not known to be the same.
            if (got <= 0) {
                same_ = false;
                return;
            }
            block_.resize(static_cast<std::size_t>(got));
            block_at_ = written_;
        }
        const std::size_t off = static_cast<std::size_t>(written_ - block_at_);
        const std::size_t n = std::min(bytes.size(), block_.size() - off);
        same_ = std::memcmp(bytes.data(), block_.data() + off, n) == 0;
        written_ += n;
        bytes.remove_prefix(n);
    }
}

void SameText::write_own(std::uint64_t at, std::string_view bytes) {
    if (!same_) return;
    if (at != written_ || bytes.size() > size_ - written_) {
        write(bytes);
        return;
    }
    written_ += bytes.size();
}

// A text to convert, kept whole until it is.
struct FdSink::Conversion {
    Conversion(const Utf8Settings& how, EditCounts& counts) : how(how), counts(counts) {}

    Utf8Settings how;
    EditCounts& counts;
    std::string text;                // the walk's text, with its line ends
    std::unique_ptr<SameText> same;  // compares the converted text
    bool done = false;               // finish has converted the text
    bool failed = false;
    Utf8Failure failure;
};

FdSink::FdSink(int fd, LineEnd first_end, FileOps& ops)
    : fd_(fd),
      first_end_(end_bytes(first_end)),
      ops_(ops),
      stage_(std::make_unique_for_overwrite<char[]>(stage_size)) {
    iov_.reserve(iov_max);
}

FdSink::~FdSink() {
    // A text never finished is not converted and so never written.
    flush();
    if (lines_) lines_->before_reuse = nullptr;
}

void FdSink::follow(BlockLines& lines) {
    lines_ = &lines;
    lines.before_reuse = [this] { flush(); };
}

void FdSink::compare_with(int fd, const InputInfo& info) {
    auto same =
        std::make_unique<SameText>(ops_, fd, info.start, info.text_size + (info.eof_mark ? 1 : 0));
    (utf8_ ? utf8_->same : same_) = std::move(same);
}

bool FdSink::unchanged() const {
    const SameText* same = utf8_ ? utf8_->same.get() : same_.get();
    return same != nullptr && same->whole();
}

void FdSink::convert_to_utf8(const Utf8Settings& how, EditCounts& counts, std::size_t size) {
    utf8_ = std::make_unique<Conversion>(how, counts);
    utf8_->text.reserve(size);
}

bool FdSink::finish() {
    if (!flush() || !utf8_ || utf8_->done) return error_ == 0 && !(utf8_ && utf8_->failed);
    Conversion& c = *utf8_;
    c.done = true;
    Utf8Text out;
    c.failed = !tagpolish::convert_to_utf8(c.text, c.how, out, c.counts, c.failure);
    std::string().swap(c.text);
    if (c.failed) return false;
    if (c.same) c.same->write(out.view());
    add(out.bytes.get(), out.size);
    write_all();
    return error_ == 0;
}

const Utf8Failure* FdSink::conversion_failure() const {
    return utf8_ && utf8_->failed ? &utf8_->failure : nullptr;
}

// What the "\n" of the current line is written as: the line end that the
// input has there, or "\n" itself when the sink follows no source.
std::string_view FdSink::line_end() const {
    const std::string_view end = lines_ ? lines_->raw_end() : std::string_view();
    return end.empty() ? "\n" : end;
}

void FdSink::put(std::string_view item) {
    end_pending();
    const std::string_view end = line_end();
    for (;;) {
        const std::size_t nl = end == "\n" ? item.npos : item.find('\n');
        if (nl == item.npos) {
            stage(item);
            return;
        }
        stage(item.substr(0, nl));
        stage(end);
        item.remove_prefix(nl + 1);
    }
}

void FdSink::put_newline() {
    end_pending();
    stage(first_end_);
}

// A span of a line that the source handed out goes out from the source's
// buffer. A line end that the line holds as "\n" in place of the input's
// "\r\n" or "\r" is written as the input's own bytes, which stand after
// the line once the source has moved on.
void FdSink::put_span(std::string_view span) {
    if (!lines_) {
        put(span);
        return;
    }
    const std::string_view end = line_end();
    const bool translated = end != "\n";
    if (!translated && !same_ && pending_ == 0) {
        if (iov_.size() == iov_max) flush();
        add(span.data(), span.size());
        return;
    }
    const std::string_view line = lines_->line();
    const bool ends =
        translated && span.data() + span.size() == line.data() + line.size() && span.back() == '\n';
    const std::string_view body = ends ? span.substr(0, span.size() - 1) : span;
    if (same_) same_->write_own(lines_->offset_of(body.data()), body);
    if (iov_.size() + 2 > iov_max) flush();
    if (pending_ && body.data() == pending_at_ + pending_ && !iov_.empty() &&
        static_cast<const char*>(iov_.back().iov_base) + iov_.back().iov_len == pending_at_)
        iov_.back().iov_len += pending_;
    else
        end_pending();
    pending_ = 0;
    add(body.data(), body.size());
    if (!ends) return;
    const char* end_at = body.data() + body.size();
    if (same_) same_->write_own(lines_->offset_of(end_at), end);
    pending_at_ = end_at;
    pending_ = end.size();
    pending_end_ = end;
}

// Copies bytes into the sink's own buffer, and queues them there.
void FdSink::stage(std::string_view bytes) {
    if (same_) same_->write(bytes);
    while (!bytes.empty()) {
        if (staged_ == stage_size || iov_.size() + 2 > iov_max) flush();
        const std::size_t n = std::min(bytes.size(), stage_size - staged_);
        char* at = stage_.get() + staged_;
        std::memcpy(at, bytes.data(), n);
        staged_ += n;
        add(at, n);
        bytes.remove_prefix(n);
    }
}

// Queues n bytes at p; bytes that follow the last queued ones join them.
void FdSink::add(const char* p, std::size_t n) {
    if (n == 0) return;
    if (!iov_.empty()) {
        iovec& last = iov_.back();
        if (static_cast<const char*>(last.iov_base) + last.iov_len == p) {
            last.iov_len += n;
            return;
        }
    }
    iov_.push_back({const_cast<char*>(p), n});
}

// Queues the pending line end from elsewhere than the source's buffer.
void FdSink::end_pending() {
    if (pending_ == 0) return;
    pending_ = 0;
    add(pending_end_.data(), pending_end_.size());
}

// Writes what is queued, retrying short writes, unless a write has failed
// before. The pending line end that flush adds may take the queue one past
// what a writev takes, so it goes in calls of at most iov_max pieces.
void FdSink::write_all() {
    if (utf8_ && !utf8_->done) {
        for (const iovec& piece : iov_)
            utf8_->text.append(static_cast<const char*>(piece.iov_base), piece.iov_len);
        iov_.clear();
        staged_ = 0;
        return;
    }
    if (hash_ != nullptr && error_ == 0 && fd_ >= 0)
        for (const iovec& piece : iov_)
            hash_->add({static_cast<const char*>(piece.iov_base), piece.iov_len});
    std::size_t k = 0;
    while (k < iov_.size() && error_ == 0 && fd_ >= 0) {
        const int count = static_cast<int>(std::min(iov_.size() - k, iov_max));
        ssize_t w = count == 1 ? ops_.write(fd_, iov_[k].iov_base, iov_[k].iov_len)
                               : ops_.writev(fd_, &iov_[k], count);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) error_ = errno;
        if (w == 0) error_ = EIO;
        if (w <= 0) break;
        auto left = static_cast<std::size_t>(w);
        while (k < iov_.size() && left >= iov_[k].iov_len) left -= iov_[k++].iov_len;
        if (left > 0) {
            iov_[k].iov_base = static_cast<char*>(iov_[k].iov_base) + left;
            iov_[k].iov_len -= left;
        }
    }
    iov_.clear();
    staged_ = 0;
}

bool FdSink::flush() {
    end_pending();
    write_all();
    return error_ == 0;
}

}  // namespace tagpolish

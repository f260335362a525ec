#include "driver/output.h"

#include <cerrno>
#include <string>

namespace tagpolish {

namespace {

constexpr std::size_t out_buf_size = 1 << 16;

}  // namespace

FdSink::FdSink(int fd, LineEnd line_end, FileOps& ops)
    : fd_(fd),
      newline_(line_end == LineEnd::crlf ? "\r\n"
               : line_end == LineEnd::cr ? "\r"
                                         : "\n"),
      ops_(ops) {
    buf_.reserve(out_buf_size * 2);
}

FdSink::~FdSink() {
    flush();
}

void FdSink::put(std::string_view item) {
    if (newline_ == "\n") {
        write_out(item.data(), item.size());
        return;
    }
    for (;;) {
        std::size_t nl = item.find('\n');
        if (nl == std::string_view::npos) {
            write_out(item.data(), item.size());
            return;
        }
        write_out(item.data(), nl);
        write_out(newline_.data(), newline_.size());
        item.remove_prefix(nl + 1);
    }
}

// Writes all n bytes, retrying short writes, unless a write has failed
// before. False on failure.
bool FdSink::write_all(const char* p, std::size_t n) {
    while (n > 0 && error_ == 0) {
        ssize_t w = ops_.write(fd_, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) error_ = errno;
        if (w == 0) error_ = EIO;
        if (w <= 0) break;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return error_ == 0;
}

void FdSink::write_out(const char* p, std::size_t n) {
    if (buf_.size() + n > out_buf_size) flush();
    if (n >= out_buf_size) {
        write_all(p, n);
        return;
    }
    buf_.append(p, n);
}

bool FdSink::flush() {
    if (!buf_.empty()) write_all(buf_.data(), buf_.size());
    buf_.clear();
    return error_ == 0;
}

void ListSink::put(std::string_view item) {
    add_name(list_, item);
}

}  // namespace tagpolish

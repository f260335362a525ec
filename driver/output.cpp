#include "driver/output.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "lib/diag.h"

namespace tagpolish {

namespace {

constexpr std::size_t out_buf_size = 1 << 16;

// Writes all n bytes, retrying short writes. False on failure.
bool write_all(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

}  // namespace

FdSink::FdSink(int fd, LineEnd line_end)
    : fd_(fd),
      newline_(line_end == LineEnd::crlf ? "\r\n"
               : line_end == LineEnd::cr ? "\r"
                                         : "\n") {
    buf_.reserve(out_buf_size * 2);
}

FdSink::~FdSink() { flush(); }

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

void FdSink::write_out(const char* p, std::size_t n) {
    if (buf_.size() + n > out_buf_size) flush();
    if (n >= out_buf_size) {
        if (!failed_ && !write_all(fd_, p, n)) failed_ = true;
        return;
    }
    buf_.append(p, n);
}

bool FdSink::flush() {
    if (!buf_.empty() && !failed_ && !write_all(fd_, buf_.data(), buf_.size())) failed_ = true;
    buf_.clear();
    return !failed_;
}

void ListSink::put(std::string_view item) { add_name(list_, item); }

namespace {

// Signals that would end the process while a temporary file exists are held
// back until it has been renamed or removed.
class HoldSignals {
public:
    HoldSignals() {
        sigset_t set;
        sigemptyset(&set);
        for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE}) sigaddset(&set, s);
        sigprocmask(SIG_BLOCK, &set, &old_);
    }
    ~HoldSignals() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
    HoldSignals(const HoldSignals&) = delete;
    HoldSignals& operator=(const HoldSignals&) = delete;

private:
    sigset_t old_;
};

// The file that a rewrite of path replaces: the final target of a symbolic
// link, or path itself.
std::string rewrite_target(const char* path) {
    char resolved[PATH_MAX];
    if (realpath(path, resolved)) return resolved;
    return path;
}

[[noreturn]] void give_up(const char* path, const std::string& temp, int fd) {
    if (fd >= 0) close(fd);
    unlink(temp.c_str());
    errmsg("%s: failed to rewrite\n", path);
    exit(1);
}

}  // namespace

void rewrite_file(const char* path, const NameList& out_list, LineEnd line_end) {
    std::string target = rewrite_target(path);
    std::string::size_type slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    std::string temp = (slash == std::string::npos ? "" : dir) + ".tagpolish-XXXXXX";
    HoldSignals hold;
    // A file that the user may not write stays as it is, although its
    // directory would let a new file take its place.
    int fd = access(target.c_str(), W_OK) == 0 ? mkstemp(temp.data()) : -1;
    if (fd < 0) {
        errmsg("%s: cannot open to write\n", path);
        exit(1);
    }
    {
        FdSink sink(fd, line_end);
        for (int i = 0, n = name_count(out_list); i < n; ++i) sink.put(get_entry(out_list, i));
        if (!sink.flush()) give_up(path, temp, fd);
    }
    struct stat st;
    if (stat(target.c_str(), &st) == 0) {
        // Only a privileged user may give the file its old owner; others
        // keep their own. The mode goes after, as a change of owner may
        // clear set-id bits.
        if (fchown(fd, st.st_uid, st.st_gid) != 0) errno = 0;
        fchmod(fd, st.st_mode & 07777);
    }
    if (fsync(fd) != 0) give_up(path, temp, fd);
    if (close(fd) != 0) give_up(path, temp, -1);
    if (rename(temp.c_str(), target.c_str()) != 0) give_up(path, temp, -1);
}

}  // namespace tagpolish

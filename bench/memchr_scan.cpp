// The floor the walk is measured against: reads a file through one reused
// 128 KiB buffer and finds each "<" and ">" with memchr, the least any
// program must do to see where the tags of a page are. Prints how many of
// each it found, so that the work cannot be left out.
//
//   memchr_scan FILE
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Counts the bytes equal to c in [p, end) with memchr.
long count_byte(const char* p, const char* end, char c) {
    long n = 0;
    while ((p = static_cast<const char*>(std::memchr(p, c, static_cast<std::size_t>(end - p))))) {
        ++n;
        ++p;
    }
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: memchr_scan FILE\n");
        return 2;
    }
    const int fd = open(argv[1], O_RDONLY);
    if (fd < 0) {
        std::fprintf(stderr, "memchr_scan: %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    static std::array<char, std::size_t{128} << 10> buf;
    long open_count = 0, close_count = 0;
    for (;;) {
        const ssize_t got = read(fd, buf.data(), buf.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            std::fprintf(stderr, "memchr_scan: %s: %s\n", argv[1], std::strerror(errno));
            return 1;
        }
        if (got == 0) break;
        open_count += count_byte(buf.data(), buf.data() + got, '<');
        close_count += count_byte(buf.data(), buf.data() + got, '>');
    }
    close(fd);
    std::printf("%ld < and %ld >\n", open_count, close_count);
    return 0;
}

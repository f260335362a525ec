#include "driver/line_source.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "lib/sjstr.h"

namespace tagpolish {

NameList input_lines;

namespace {

constexpr unsigned char eof_mark = 0x1A;

// Cuts raw input into stored line pieces as it arrives, chunk by chunk.
// A CR LF input (the first "\n" has a "\r" before it) has each "\r\n" read
// as "\n". The text ends at the first 0x1A. A piece is one line with its
// "\n", or line_piece_max bytes of a longer line; a piece never ends between
// the two bytes of a double-byte character. Each piece is built in place as
// the last entry of input_lines, so its bytes are copied once, from the
// chunk read into the store.
class Cutter {
public:
    explicit Cutter(InputInfo& info) : info_(info) {}

    void feed(std::string_view raw) {
        std::size_t k = 0;
        while (k < raw.size()) {
            if (ended_) {
                info_.text_after_eof = true;
                return;
            }
            if (!pending_cr_) {
                // Most bytes need nothing but copying: take them a run at a
                // time, and the usual line end with them.
                std::size_t run = plain_run(raw, k);
                if (k + run < raw.size() && raw[k + run] == '\n') {
                    note_newline();
                    put_run(raw.substr(k, run + 1));
                    close_piece();
                    k += run + 1;
                    continue;
                }
                put_run(raw.substr(k, run));
                k += run;
                if (k == raw.size()) return;
            }
            auto b = static_cast<unsigned char>(raw[k++]);
            if (b == eof_mark) {
                ended_ = true;
                info_.lossless = false;
                continue;
            }
            take_raw(b);
        }
    }

    void finish() {
        if (pending_cr_) put('\r');
        pending_cr_ = false;
        close_piece();
    }

private:
    void take_raw(unsigned char b) {
        if (pending_cr_) {
            pending_cr_ = false;
            if (b == '\n' && (info_.crlf || !seen_nl_)) {
                seen_nl_ = true;
                info_.crlf = true;
                put('\n');
                return;
            }
            put('\r');
        }
        if (b == '\r') {
            pending_cr_ = true;
            return;
        }
        if (b == '\n') note_newline();
        put(static_cast<char>(b));
    }

    // A "\n" without a "\r" before it.
    void note_newline() {
        // A bare "\n" in a CR LF input comes back as "\r\n".
        if (seen_nl_ && info_.crlf) info_.lossless = false;
        seen_nl_ = true;
    }

    // Length of the run of bytes from k on that are neither line ends, NUL
    // nor the end-of-file mark. All of those lie below 0x1B, so eight bytes
    // at a time are passed while none of them does; a word that has one
    // (a tab, say) is looked at byte by byte.
    static std::size_t plain_run(std::string_view raw, std::size_t k) {
        constexpr std::uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;
        const std::size_t n = raw.size();
        std::size_t j = k;
        for (;;) {
            for (std::uint64_t w; j + 8 <= n; j += 8) {
                std::memcpy(&w, raw.data() + j, 8);
                if ((w - ones * (eof_mark + 1)) & ~w & highs) break;
            }
            for (std::size_t end = std::min(n, j + 8); j < end; ++j) {
                auto b = static_cast<unsigned char>(raw[j]);
                bool special = b == '\n' || b == '\r' || b == eof_mark || b == 0;
                if (special) return j - k;
            }
            if (j >= n) return j - k;
        }
    }

    // Appends a run of bytes that are not NUL, cutting pieces as put does.
    void put_run(std::string_view run) {
        while (!run.empty()) {
            if (size_ == static_cast<std::size_t>(line_piece_max)) cut_long_line();
            std::size_t take = std::min(run.size(), line_piece_max - size_);
            append(run.substr(0, take));
            run.remove_prefix(take);
        }
    }

    void put(char c) {
        if (size_ == static_cast<std::size_t>(line_piece_max)) cut_long_line();
        if (c == '\0' && !info_.nul_line)
            info_.nul_line = name_count(input_lines) + (open_ ? 0 : 1);
        append(std::string_view(&c, 1));
        if (c == '\n') close_piece();
    }

    // Adds bytes to the open piece, opening one first if needed.
    void append(std::string_view bytes) {
        if (open_)
            extend_last(input_lines, bytes);
        else
            add_list(input_lines, bytes);
        open_ = true;
        size_ += bytes.size();
    }

    // The open piece as stored so far.
    std::string_view piece() const {
        return open_ ? get_entry(input_lines, name_count(input_lines) - 1) : std::string_view();
    }

    // Whether the piece ends in a lead byte that waits for its second byte.
    // A piece starts on a character, so pairing from its start tells; this
    // runs once per cut of a long line, not once per byte.
    bool lead_waits() const {
        bool waits = false;
        for (char c : piece()) waits = !waits && is_lead_byte(static_cast<unsigned char>(c));
        return waits;
    }

    // The piece is full and the line goes on: store it, keeping a lead byte
    // that waits for its second byte for the next piece.
    void cut_long_line() {
        if (!lead_waits()) {
            close_piece();
            return;
        }
        char lead = piece().back();
        shorten_last(input_lines, 1);
        close_piece();
        append(std::string_view(&lead, 1));
    }

    // Ends the open piece; the next byte opens a new one.
    void close_piece() {
        open_ = false;
        size_ = 0;
    }

    InputInfo& info_;
    bool open_ = false;     // the last entry of input_lines is the piece being built
    std::size_t size_ = 0;  // bytes in the open piece
    bool pending_cr_ = false;
    bool seen_nl_ = false;
    bool ended_ = false;
};

}  // namespace

InputInfo load_lines(int fd) {
    InputInfo info;
    name_init(input_lines);
    Cutter cutter(info);
    std::vector<char> chunk(1 << 20);
    for (;;) {
        ssize_t got = read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            info.read_error = true;
            info.read_errno = errno;
            break;
        }
        if (got == 0) break;
        cutter.feed(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
        // Once the input is known to be refused, the rest need not be read
        // (an endless source such as /dev/zero would fill memory).
        if (info.text_after_eof || info.nul_line) break;
    }
    cutter.finish();
    return info;
}

InputInfo load_text(std::string_view raw) {
    InputInfo info;
    name_init(input_lines);
    Cutter cutter(info);
    cutter.feed(raw);
    cutter.finish();
    return info;
}

const char* get_line(int mode, int n) {
    if (mode == 2) return get_name2(input_lines, n);
    if (mode == -1) del_allname(input_lines);
    return nullptr;
}

std::string_view get_line_view(int n) { return get_entry(input_lines, n); }

}  // namespace tagpolish

#include "driver/line_source.h"

#include <unistd.h>

#include <cerrno>
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
// the two bytes of a double-byte character.
class Cutter {
public:
    explicit Cutter(InputInfo& info) : info_(info) { piece_.reserve(line_piece_max + 1); }

    void feed(std::string_view raw) {
        for (std::size_t k = 0; k < raw.size(); ++k) {
            auto b = static_cast<unsigned char>(raw[k]);
            if (ended_) {
                info_.text_after_eof = true;
                return;
            }
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
        if (!piece_.empty()) store();
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
        if (b == '\n') {
            // A bare "\n" in a CR LF input comes back as "\r\n".
            if (seen_nl_ && info_.crlf) info_.lossless = false;
            seen_nl_ = true;
        }
        put(static_cast<char>(b));
    }

    void put(char c) {
        if (piece_.size() == static_cast<std::size_t>(line_piece_max)) cut_long_line();
        if (c == '\0' && !info_.nul_line) info_.nul_line = name_count(input_lines) + 1;
        piece_.push_back(c);
        second_half_ = !second_half_ && is_lead_byte(static_cast<unsigned char>(c));
        if (c == '\n') {
            store();
            second_half_ = false;
        }
    }

    // The piece is full and the line goes on: store it, keeping a lead byte
    // that waits for its second byte for the next piece.
    void cut_long_line() {
        if (!second_half_) {
            store();
            return;
        }
        char lead = piece_.back();
        piece_.pop_back();
        store();
        piece_.push_back(lead);
    }

    void store() {
        add_list(input_lines, piece_);
        piece_.clear();
    }

    InputInfo& info_;
    std::string piece_;
    bool pending_cr_ = false;
    bool seen_nl_ = false;
    bool second_half_ = false;  // the last byte put is a lead byte awaiting its pair
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
            break;
        }
        if (got == 0) break;
        cutter.feed(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
        if (info.text_after_eof) break;
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

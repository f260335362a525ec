#include "driver/line_source.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace tagpolish {

NameList input_lines;

namespace {

constexpr unsigned char eof_mark = 0x1A;

// Cuts raw input into stored lines as it arrives, chunk by chunk. A CR LF
// input (the first "\n" has a "\r" before it) has each "\r\n" read as "\n";
// a CR input (no "\n" at all, and a "\r") has each "\r" read as "\n", which
// is known only at its end. The text ends at the first 0x1A. A line is
// stored whole, whatever its length, with its "\n". Each line is built in
// place as the last entry of input_lines, so its bytes are copied once, from
// the chunk read into the store.
class Cutter {
  public:
    explicit Cutter(InputInfo& info) : info_(info) {}

    // Takes the next chunk. Returns how many of its bytes are text: all of
    // them, or those before the end-of-file mark.
    std::size_t feed(std::string_view raw) {
        if (ended_) {
            if (!raw.empty()) info_.text_after_eof = true;
            return 0;
        }
        std::size_t k = 0;
        while (k < raw.size()) {
            if (!pending_cr_) {
                // Most bytes need nothing but copying: take them a run at a
                // time, and the usual line end with them.
                std::size_t run = plain_run(raw, k);
                if (k + run < raw.size() && raw[k + run] == '\n') {
                    note_newline();
                    append(raw.substr(k, run + 1));
                    close_line();
                    k += run + 1;
                    continue;
                }
                append(raw.substr(k, run));
                k += run;
                if (k == raw.size()) break;
            }
            auto b = static_cast<unsigned char>(raw[k++]);
            if (b == eof_mark) {
                ended_ = true;
                info_.lossless = false;
                if (k < raw.size()) info_.text_after_eof = true;
                return k - 1;
            }
            take_raw(b);
        }
        return raw.size();
    }

    void finish() {
        if (pending_cr_) put('\r');
        pending_cr_ = false;
        close_line();
        if (!seen_nl_ && seen_cr_) split_at_cr();
    }

  private:
    void take_raw(unsigned char b) {
        if (pending_cr_) {
            pending_cr_ = false;
            if (b == '\n' && (info_.line_end == LineEnd::crlf || !seen_nl_)) {
                seen_nl_ = true;
                info_.line_end = LineEnd::crlf;
                put('\n');
                return;
            }
            put('\r');
        }
        if (b == '\r') {
            pending_cr_ = true;
            seen_cr_ = true;
            return;
        }
        if (b == '\n') note_newline();
        put(static_cast<char>(b));
    }

    // A "\n" without a "\r" before it.
    void note_newline() {
        // A bare "\n" in a CR LF input comes back as "\r\n".
        if (seen_nl_ && info_.line_end == LineEnd::crlf) info_.lossless = false;
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

    void put(char c) {
        if (c == '\0' && !info_.nul_line)
            info_.nul_line = name_count(input_lines) + (open_ ? 0 : 1);
        append(std::string_view(&c, 1));
        if (c == '\n') close_line();
    }

    // Adds bytes to the open line, opening one first if needed.
    void append(std::string_view bytes) {
        if (bytes.empty()) return;
        if (open_)
            extend_last(input_lines, bytes);
        else
            add_list(input_lines, bytes);
        open_ = true;
    }

    // Ends the open line; the next byte opens a new one.
    void close_line() { open_ = false; }

    // The whole text of a CR input is the one stored entry: it becomes one
    // line per "\r", each ending in "\n".
    void split_at_cr() {
        info_.line_end = LineEnd::cr;
        NameList whole = std::move(input_lines);
        name_init(input_lines);
        std::string_view text = get_entry(whole, 0);
        if (info_.nul_line)
            info_.nul_line = 1 + static_cast<int>(std::count(text.begin(),
                                                             text.begin() + text.find('\0'), '\r'));
        while (!text.empty()) {
            std::size_t cr = std::min(text.find('\r'), text.size());
            add_list(input_lines, text.substr(0, cr));
            if (cr == text.size()) break;
            extend_last(input_lines, "\n");
            text.remove_prefix(cr + 1);
        }
    }

    InputInfo& info_;
    bool open_ = false;  // the last entry of input_lines is the line being built
    bool pending_cr_ = false;
    bool seen_nl_ = false;
    bool seen_cr_ = false;
    bool ended_ = false;
};

// Reads an input into the line store and the encoding check.
class Loader {
  public:
    Loader() : cutter_(info_) { name_init(input_lines); }

    void feed(std::string_view raw) { check_.feed(raw.substr(0, cutter_.feed(raw))); }

    // Whether the input is already known to be refused, so that the rest
    // need not be read (an endless source such as /dev/zero would fill
    // memory).
    bool refused() const { return info_.text_after_eof || info_.nul_line; }

    InputInfo& info() { return info_; }

    InputInfo finish() {
        cutter_.finish();
        info_.encoding = check_.verdict();
        return info_;
    }

  private:
    InputInfo info_;
    Cutter cutter_;
    EncodingCheck check_;
};

}  // namespace

InputInfo load_lines(int fd) {
    Loader loader;
    std::vector<char> chunk(1 << 20);
    for (;;) {
        ssize_t got = read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            loader.info().read_error = true;
            loader.info().read_errno = errno;
            break;
        }
        if (got == 0) break;
        loader.feed(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
        if (loader.refused()) break;
    }
    return loader.finish();
}

InputInfo load_text(std::string_view raw) {
    Loader loader;
    loader.feed(raw);
    return loader.finish();
}

const char* get_line(int mode, int n) {
    if (mode == 2) return get_name2(input_lines, n);
    if (mode == -1) del_allname(input_lines);
    return nullptr;
}

std::string_view get_line_view(int n) {
    return get_entry(input_lines, n);
}

}  // namespace tagpolish

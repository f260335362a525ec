// libFuzzer target: arbitrary bytes through the line source and the engine.
//
// The first three bytes choose the options, one bit per flag (see
// flag_bits). When TAGPOLISH_FUZZ_LONG is set in the environment, one more
// bit repeats part of the input until it is longer than long_text, so that
// short inputs make long lines and show an edit whose cost grows faster
// than the line (as a timeout); such a run is slow, so the short-input run
// leaves it off. The rest is loaded as an input
// file would be, refused where the program refuses it, and edited into
// memory: with the fast walk and each block search this machine runs, and
// with the plain walk, which must all give the same output, result and
// messages.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "driver/command_line/options.h"
#include "driver/input/line_source.h"
#include "engine/block_search.h"
#include "engine/fast_walk.h"
#include "engine/scanner.h"
#include "lib/options.h"
#include "lib/sjstr.h"
#include "tests/support/text_lines.h"

namespace {

using namespace tagpolish;

constexpr std::size_t header_size = 3;
constexpr std::size_t long_text = 300000;  // bytes of a stretched input

// The header bits, from bit 0 of the first byte: one per option that the
// walk reads, in the order of the table of options, then repeat_bit.
const unsigned flag_count = static_cast<unsigned>(walk_options().size());
const unsigned repeat_bit = 1u << flag_count;
bool long_lines = false;  // whether repeat_bit is honoured

// Aborts with a note of the broken invariant; libFuzzer keeps the input.
void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// The header bits.
unsigned header_bits(const std::uint8_t* data) {
    require(flag_count < 8 * header_size, "a header bit for each option and repeat_bit");
    return data[0] | data[1] << 8 | data[2] << 16;
}

// The walk's options that the header bits turn on.
WalkOptions options_of(unsigned bits) {
    WalkOptions o;
    for (unsigned i = 0; i < flag_count; ++i)
        if (bits >> i & 1) set_option(o, *walk_options()[i]);
    return o;
}

// The input text: the body, or in repeat mode a head and then a unit over
// and over until the text runs past long_text bytes. The body's first
// byte gives the length of the head, so that the repeated unit can stand
// inside a tag, a value or a comment that the head opens.
std::string input_text(std::string_view body, bool repeat) {
    if (!repeat || body.size() < 2) return std::string(body);
    std::size_t head = static_cast<unsigned char>(body[0]) % (body.size() - 1);
    std::string text(body.substr(1, head));
    std::string_view unit = body.substr(1 + head);
    while (text.size() <= long_text + unit.size()) text += unit;
    return text;
}

// The text as the walk is given it, line after line.
std::string walked_text(std::string_view text) {
    InputBuffer buf;
    BlockLines source(-1, buf, load_text(text, buf));
    std::string all;
    for (std::string_view line; (line = source.next_line()).data();) all += line;
    return all;
}

bool only(unsigned bits, unsigned allowed) {
    return (bits & ((1u << flag_count) - 1) & ~allowed) == 0;
}

unsigned bit_of(WalkFlag flag) {
    for (unsigned i = 0; i < flag_count; ++i)
        if (walk_options()[i]->walk == flag) return 1u << i;
    return 0;
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return true;
}

// What must hold after an edit, whatever the input.
void check_result(unsigned bits, int result, std::string_view in, std::string_view out) {
    require(result == 0 || result == -2, "result is 0 or -2");
    unsigned i_bit = bit_of(&WalkOptions::i);
    if (only(bits, i_bit)) {
        require(result == 0 || !(bits & i_bit), "-i alone never fails");
        if (result == 0) require(out == in, "no edit option: output equals input");
    }
    if (result == 0 && only(bits, i_bit | bit_of(&WalkOptions::c) | bit_of(&WalkOptions::s)))
        require(equal_ignoring_ascii_case(out, in), "-c and -s change letter case only");
    // Only -k lengthens text, and only -j adds bytes (a newline item).
    if (!(bits & (bit_of(&WalkOptions::k) | bit_of(&WalkOptions::j))))
        require(out.size() <= in.size(), "no edit lengthens the text without -k or -j");
}

// Standard error, caught in memory while it lives.
class CaughtMessages {
  public:
    CaughtMessages() : fd_(memfd_create("messages", 0)), saved_(dup(STDERR_FILENO)) {
        require(fd_ >= 0 && saved_ >= 0, "standard error can be caught");
        dup2(fd_, STDERR_FILENO);
    }
    ~CaughtMessages() {
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        close(fd_);
    }
    std::string text() const {
        std::string all;
        char buf[4096];
        for (off_t at = 0;;) {
            ssize_t n = pread(fd_, buf, sizeof buf, at);
            if (n <= 0) return all;
            all.append(buf, static_cast<std::size_t>(n));
            at += n;
        }
    }

  private:
    int fd_, saved_;
};

// What one edit of the loaded lines gave.
struct Outcome {
    int result = 0;
    std::string out;
    std::string messages;
    EditCounts counts{};
};

Outcome edit_loaded(const WalkOptions& opt, std::string_view text, bool fast, BlockSearch search) {
    set_fast_walk(fast);
    use_block_search(search);
    Outcome o;
    CaughtMessages caught;
    test::TextSink sink;
    static InputBuffer buf;
    BlockLines source(-1, buf, load_text(text, buf));
    o.result = edit_html(opt, "fuzz.htm", source, sink, &o.counts);
    o.out = sink.text;
    o.messages = caught.text();
    return o;
}

// The plain walk and the fast walk with every block search agree.
Outcome edit_every_way(const WalkOptions& opt, std::string_view text) {
    const Outcome plain = edit_loaded(opt, text, false, BlockSearch::portable);
    Outcome fast;
    for (BlockSearch s : block_searches()) {
        fast = edit_loaded(opt, text, true, s);
        require(fast.out == plain.out, "the fast walk puts out what the plain walk does");
        require(fast.messages == plain.messages, "the fast walk reports what the plain walk does");
        require(fast.result == plain.result, "the fast walk ends as the plain walk does");
        require(fast.counts == plain.counts, "the fast walk counts the edits the plain walk does");
    }
    return fast;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    long_lines = std::getenv("TAGPOLISH_FUZZ_LONG") != nullptr;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < header_size) return 0;
    const unsigned bits = header_bits(data);
    std::string_view body(reinterpret_cast<const char*>(data) + header_size, size - header_size);
    std::string text = input_text(body, long_lines && (bits & repeat_bit));

    static InputBuffer buf;
    if (!load_text(text, buf).nul_line) {  // the program refuses such an input unedited
        const std::string in = walked_text(text);
        Outcome o = edit_every_way(options_of(bits), text);
        check_result(bits, o.result, in, o.out);
    }
    return 0;
}

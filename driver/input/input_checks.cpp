#include "driver/input/input_checks.h"

#include <algorithm>
#include <cstring>

namespace tagpolish {
namespace {

constexpr char eof_byte = 0x1A;

// Where byte b first stands in text, or its size.
std::size_t find_byte(std::string_view text, char b) {
    const void* at = std::memchr(text.data(), b, text.size());
    return at ? static_cast<std::size_t>(static_cast<const char*>(at) - text.data()) : text.size();
}

}  // namespace

std::size_t EofMark::feed(std::string_view block) {
    if (found_) {
        text_after_ = text_after_ || !block.empty();
        return 0;
    }
    const std::size_t text = find_byte(block, eof_byte);
    if (text == block.size()) return text;
    found_ = true;
    text_after_ = text + 1 < block.size();
    return text;
}

void NulCheck::feed(std::string_view text) {
    if (found_) return;
    const std::size_t at = find_byte(text, '\0');
    offset_ += at;
    found_ = at < text.size();
}

void LineEndCheck::feed(std::string_view text) {
    if (text.empty()) return;
    if (!newline_) {
        const std::size_t nl = find_byte(text, '\n');
        if (nl < text.size()) {
            newline_ = true;
            crlf_ = (nl > 0 ? text[nl - 1] : last_) == '\r';
        }
    }
    if (!cr_) cr_ = find_byte(text, '\r') < text.size();
    last_ = text.back();
}

LineEnd LineEndCheck::line_end() const {
    if (newline_) return crlf_ ? LineEnd::crlf : LineEnd::lf;
    return cr_ ? LineEnd::cr : LineEnd::lf;
}

void LineCounter::feed(std::string_view text) {
    lines_ += std::count(text.begin(), text.end(), end_);
}

void InputChecks::feed(std::string_view block) {
    const std::string_view text = block.substr(0, mark_.feed(block));
    text_size_ += text.size();
    nul_.feed(text);
    line_end_.feed(text);
    encoding_.feed(text);
}

InputInfo InputChecks::info() const {
    InputInfo info;
    info.line_end = line_end_.line_end();
    info.eof_mark = mark_.found();
    info.text_after_eof = mark_.text_after();
    info.nul_offset = nul_.offset();
    info.encoding = encoding_.verdict();
    info.text_size = text_size_;
    return info;
}

}  // namespace tagpolish

#include "support/text_lines.h"

namespace tagpolish::test {

TextLines::TextLines(std::string_view text) : text_(text.substr(0, text.find('\x1A'))) {
    const bool newline = text_.find('\n') != std::string::npos;
    stop_ = !newline && text_.find('\r') != std::string::npos ? '\r' : '\n';
}

std::string_view TextLines::next_line() {
    if (next_ >= text_.size()) return {};
    std::size_t end = text_.find(stop_, next_);
    if (end == std::string::npos) end = text_.size();
    current_ = next_;
    line_.assign(text_, next_, end - next_);
    if (end < text_.size()) {
        if (stop_ == '\n' && !line_.empty() && line_.back() == '\r') line_.pop_back();
        line_.push_back('\n');
    }
    next_ = end + 1;
    const std::size_t size = line_.size();
    // The walk's block loads may read a little past the NUL after the line.
    line_.append(pad, '\0');
    return std::string_view(line_.data(), size);
}

}  // namespace tagpolish::test

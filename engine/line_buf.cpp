#include "engine/line_buf.h"

#include <cstring>

namespace tagpolish {

void LineBuf::replace_ahead(std::size_t from, std::size_t n, std::string_view repl) {
    ++version_;
    if (!owned_) own();
    settle();
    std::size_t shift = n - repl.size();
    char* base = own_.data() + pos;
    std::memmove(base + shift, base, from);
    std::memcpy(base + shift + from, repl.data(), repl.size());
    pos += shift;
    mark_ = pos;
}

void LineBuf::drop_last_walked() {
    if (pos == mark_) {
        done_.pop_back();
        return;
    }
    done_.append(text.substr(mark_, pos - 1 - mark_));
    mark_ = pos;
}

std::string LineBuf::whole() const {
    std::string line = done_;
    line.append(kept());
    return line;
}

void LineBuf::own() {
    ++version_;
    own_.assign(text);
    text = own_;
    owned_ = true;
}

}  // namespace tagpolish

#include "engine/line_buf.h"

#include <cstring>

namespace tagpolish {

void LineBuf::replace_ahead(std::size_t from, std::size_t n, std::string_view repl) {
    std::size_t shift = n - repl.size();
    char* base = text.data() + pos;
    std::memmove(base + shift, base, from);
    std::memcpy(base + shift + from, repl.data(), repl.size());
    pos += shift;
}

}  // namespace tagpolish

#include "engine/line_buf.h"

#include <algorithm>
#include <cstring>

#include "lib/sjstr.h"

namespace tagpolish {

void LineBuf::replace_ahead(std::size_t from, std::size_t n, std::string_view repl) {
    ++version_;
    if (!owned_) own();
    settle();
    std::size_t shift = n - repl.size();
    char* base = written_ + pos;
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
    owned_ = true;
    if (char* line = source_ != nullptr ? source_->writable(text) : nullptr; line != nullptr) {
        head_.assign(text.substr(0, std::min(text.size(), head_kept)));
        in_place_ = true;
        written_ = line;
        return;
    }
    own_.assign(text);
    text = own_;
    written_ = own_.data();
}

namespace {

// Where a part of the walked bytes to spill ends: right after a byte that
// is no lead byte, which always ends a character, so that the look-backs
// still pair the bytes they see. From `from` back to `low`; low when there
// is no such byte.
std::size_t spill_end(std::string_view bytes, std::size_t from, std::size_t low) {
    while (from > low && is_lead_byte(static_cast<unsigned char>(bytes[from - 1]))) --from;
    return from;
}

}  // namespace

void LineBuf::spill_front() {
    if (!spill) return;
    const std::size_t cut = spill_end(done_, done_.size() - spill_keep, 0);
    if (cut == 0) {
        // Nothing but lead bytes: try again when it has grown as much.
        spill_next_ = 2 * done_.size();
        return;
    }
    spill(std::string_view(done_).substr(0, cut));
    done_.erase(0, cut);
    spilled_ += cut;
    spill_next_ = spill_at;
}

void LineBuf::settle_spilling() {
    const std::size_t walked = pos - mark_;
    const std::size_t cut = walked > spill_keep ? spill_end(text, pos - spill_keep, mark_) : mark_;
    if (cut > mark_) {
        if (!done_.empty()) spill(done_);
        spill(text.substr(mark_, cut - mark_));
        spilled_ += done_.size() + (cut - mark_);
        done_.clear();
        mark_ = cut;
        spill_next_ = spill_at;
    }
    done_.append(text.data() + mark_, pos - mark_);
    mark_ = pos;
    if (done_.size() >= spill_next_) spill_front();
}

}  // namespace tagpolish

#include "driver/site/page.h"

#include <utility>

#include "lib/mem.h"

namespace tagpolish {
namespace {

void say(MsgDest* out, std::string_view text) {
    if (out != nullptr)
        out->take(text);
    else
        write_stderr(text);
}

}  // namespace

Page::Page(std::string shown, std::shared_ptr<const Fd> in_folder, std::size_t at)
    : name(std::move(shown)), folder(std::move(in_folder)), entry_at(at) {}

InputName Page::input(bool follow_link) const {
    return {name.c_str(), folder ? folder->get() : -1, entry_at, follow_link};
}

// A message that would need memory while memory has run out goes out at
// once rather than not at all.
void Page::take(std::string_view text) {
    if (live) {
        tell();
        say(out, text);
        return;
    }
    if (memory_failing() && said_.size() + text.size() > said_.capacity()) {
        write_stderr(text);
        return;
    }
    said_.append(text);
}

OpenHooks lock_waits(const Page& page, const std::function<bool()>& letting_go) {
    OpenHooks hooks;
    hooks.before_wait = [&page] { return page.may_wait; };
    hooks.keep_waiting = [&letting_go] { return !letting_go(); };
    return hooks;
}

void Page::tell() {
    if (said_.empty()) return;
    say(out, said_);
    said_.clear();
}

}  // namespace tagpolish

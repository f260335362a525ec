#include "support/site_walks.h"

#include <memory>
#include <string_view>
#include <utility>

#include "lib/diag.h"

namespace tagpolish::test {
namespace {

// Keeps what a page says.
struct Said : MsgDest {
    void take(std::string_view text) override { all.append(text); }
    std::string all;
};

}  // namespace

std::vector<std::string> walk(const std::string& top, const WalkRules& rules, FileOps& ops) {
    std::vector<std::string> seen;
    Fd dir(system_file_ops().openat(AT_FDCWD, top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    SiteWalk w(std::move(dir), "top", rules, ops);
    while (std::unique_ptr<Page> page = w.next()) {
        if (page->stage == Stage::found) {
            seen.push_back(page->name);
            continue;
        }
        Said said;
        page->out = &said;
        page->tell();
        seen.push_back(said.all);
    }
    return seen;
}

}  // namespace tagpolish::test

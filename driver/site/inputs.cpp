#include "driver/site/inputs.h"

#include "driver/rewrite/resolve.h"
#include "lib/diag.h"

namespace tagpolish {

Inputs::Inputs(char** names, int count, const WalkRules* walk, FileOps& ops)
    : names_(names), count_(count), rules_(walk), ops_(ops) {}

// A name is found as -w finds it (links of other users not followed); one
// that leads to a folder is walked, anything else is a page, which its
// worker opens (and reports when it cannot).
std::unique_ptr<Page> Inputs::next() {
    for (;;) {
        if (walk_) {
            if (std::unique_ptr<Page> page = walk_->next()) {
                ++found_;
                return page;
            }
            walk_.reset();
        }
        if (at_ == count_) return nullptr;
        const char* name = names_[at_++];
        if (rules_ != nullptr) {
            Resolution r = resolve(name, ops_);
            if (r.how == Resolved::found && S_ISDIR(r.target.st.st_mode)) {
                Fd dir(
                    ops_.openat(r.target.file.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
                if (!dir) {
                    ++found_;
                    return note_page(name, Fate::failed, errno, "%s: cannot read\n");
                }
                walk_ = std::make_unique<SiteWalk>(std::move(dir), name, *rules_, ops_);
                walked_ = name;
                continue;
            }
        }
        ++found_;
        return std::make_unique<Page>(name);
    }
}

void Inputs::name_unreached() const {
    if (walk_ && !walk_->done()) errmsg("%s: not walked to its end (the run stopped)\n", walked_);
    for (int i = at_; i < count_; ++i)
        errmsg("%s: not edited (the run stopped)\n", static_cast<const char*>(names_[i]));
}

}  // namespace tagpolish

#include "driver/edited_files.h"

#include <sys/stat.h>

#include "driver/rewrite.h"
#include "lib/diag.h"

namespace tagpolish {

void EditedFiles::note(const char* name) {
    struct stat st;
    if (stat(name, &st) == 0) files_.emplace(std::make_pair(st.st_dev, st.st_ino), name);
}

void EditedFiles::note_replaced(const char* name) {
    replaced_.emplace(rewrite_target(name).path(), name);
}

bool EditedFiles::passed_over(int fd, const char* name) const {
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    const std::string* earlier = nullptr;
    if (auto file = files_.find({st.st_dev, st.st_ino}); file != files_.end())
        earlier = &file->second;
    if (earlier == nullptr && !replaced_.empty()) {
        auto target = replaced_.find(rewrite_target(name).path());
        if (target != replaced_.end()) earlier = &target->second;
    }
    if (earlier == nullptr) return false;
    errmsg("%s: the same file as %s, already edited in this run; passed over\n", name,
           earlier->c_str());
    return true;
}

}  // namespace tagpolish

#include "driver/edited_files.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "lib/diag.h"

namespace tagpolish {
namespace {

// Whether two names lead to the same place: the same name in the same
// directory, symbolic links followed.
bool same_place(const char* a, const char* b) {
    char real_a[PATH_MAX], real_b[PATH_MAX];
    if (realpath(a, real_a) == nullptr || realpath(b, real_b) == nullptr)
        return std::strcmp(a, b) == 0;
    return std::strcmp(real_a, real_b) == 0;
}

}  // namespace

void EditedFiles::note(const struct stat& st, const char* name) {
    files_.emplace(Id{st.st_dev, st.st_ino}, name);
}

void EditedFiles::note_replaced(const struct stat& st, const char* name) {
    replaced_.emplace(Id{st.st_dev, st.st_ino}, name);
}

// A replaced file is looked for by its inode first, so that places are
// compared only for a name that leads to one.
bool EditedFiles::passed_over(const struct stat& st, const char* name) const {
    const Id id{st.st_dev, st.st_ino};
    const std::string* earlier = nullptr;
    if (auto file = files_.find(id); file != files_.end()) earlier = &file->second;
    for (auto [it, end] = replaced_.equal_range(id); earlier == nullptr && it != end; ++it)
        if (same_place(name, it->second.c_str())) earlier = &it->second;
    if (earlier == nullptr) return false;
    errmsg("%s: the same file as %s, already edited in this run; passed over\n", name,
           earlier->c_str());
    return true;
}

}  // namespace tagpolish

#include "driver/edited_files.h"

#include <sys/stat.h>

#include "lib/diag.h"

namespace tagpolish {

void EditedFiles::note(const char* name) {
    struct stat st;
    if (stat(name, &st) == 0) files_.emplace(std::make_pair(st.st_dev, st.st_ino), name);
}

bool EditedFiles::passed_over(int fd, const char* name) const {
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    auto earlier = files_.find({st.st_dev, st.st_ino});
    if (earlier == files_.end()) return false;
    errmsg("%s: the same file as %s, already edited in this run; passed over\n", name,
           earlier->second.c_str());
    return true;
}

}  // namespace tagpolish

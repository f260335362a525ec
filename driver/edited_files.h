// The files a run has edited under -w, so that each is edited only once.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <map>
#include <string>
#include <utility>

namespace tagpolish {

// Files, by device and inode, that this run has written or has read and
// left unchanged, each with the name it was edited under. A later name
// that leads to one of them (the same name again, or a symbolic link) is
// passed over: editing the page a second time would edit its own result.
class EditedFiles {
  public:
    // Notes the file that fstat described as st (after a rewrite, the new
    // file) as edited under name.
    void note(const struct stat& st, const char* name);
    // Notes the old file, described as st, that a rewrite of name replaces
    // (or would replace, under a dry run): a later name that leads to the
    // same place in the same directory finds the new file there and is
    // passed over, while a hard link elsewhere keeps the old file and is
    // edited.
    void note_replaced(const struct stat& st, const char* name);
    // When the file that fstat described as st was edited earlier in this
    // run, says so for name and returns true.
    bool passed_over(const struct stat& st, const char* name) const;

  private:
    using Id = std::pair<dev_t, ino_t>;
    std::map<Id, std::string> files_;
    std::multimap<Id, std::string> replaced_;
};

}  // namespace tagpolish

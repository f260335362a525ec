// The files a run has edited under -w, so that each is edited only once.
#pragma once

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
    // Notes the file that name leads to now (after its rewrite, the new
    // file) as edited under name.
    void note(const char* name);
    // Under a dry run, notes the file that name leads to as one a real run
    // would replace: a later name that leads to the same place in the same
    // directory would find the new file there and is passed over, while a
    // hard link elsewhere keeps the old file and is edited.
    void note_replaced(const char* name);
    // When the file open at fd was edited earlier in this run, says so for
    // name and returns true.
    bool passed_over(int fd, const char* name) const;

  private:
    std::map<std::pair<dev_t, ino_t>, std::string> files_;
    std::map<std::string, std::string> replaced_;  // target path -> name
};

}  // namespace tagpolish

// The files a run has edited under -w, so that each is edited only once.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "driver/file_id.h"
#include "driver/resolve.h"

namespace tagpolish {

// Files that this run has read and left unchanged, has written, or is to
// write (a rewrite pending in its batch, or one that a dry run would
// make), each with the name it was edited under. A later name that leads
// to one of them, in the state the run left it in, is passed over: editing
// the page a second time would edit its own result. A file that another
// program has changed since, or a new file that was given the inode number
// of one of them, is edited.
class EditedFiles {
  public:
    // Notes the file read under name and left as it was (id).
    void note_unchanged(const FileId& id, const char* name);
    // Notes the pending rewrite of name: the old file (old), named base in
    // the folder that fstat described as dir, is to be replaced by the new
    // file made (none under a dry run). Until then, a later name that
    // leads to the same place and finds the old file there as it was is
    // passed over, while a hard link elsewhere keeps the old file and is
    // edited.
    void note_pending(const FileId& old, const struct stat& dir, const std::string& base,
                      const FileId* made, const char* name);
    // The pending rewrite of name has ended: when placed is not null (what
    // fstat said of the new file after its rename), the new file is noted
    // in that state. Asks for no memory: a run that has run out of it
    // still commits.
    void committed(const char* name, const struct stat* placed);
    // When target leads to a file edited earlier in this run, says so for
    // name and returns true.
    bool passed_over(const Target& target, const char* name, FileOps& ops) const;

  private:
    enum class Kind { unchanged, pending, written, gone };
    struct Record {
        Kind kind;
        FileId id;
        const char* name;
        dev_t dir_dev = 0;  // a pending rewrite's place
        ino_t dir_ino = 0;
        std::string base = {};
    };
    std::size_t add(Record record);
    bool same_place(const Record& r, const Target& target, FileOps& ops) const;

    std::vector<Record> records_;
    std::unordered_multimap<ino_t, std::size_t> by_inode_;
    // A pending rewrite's record, by the name it was started under; the
    // record of its new file, still gone, follows it.
    std::unordered_map<const char*, std::size_t> pending_;
};

}  // namespace tagpolish

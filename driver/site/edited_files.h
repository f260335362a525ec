// The files a run has edited under -w, so that each is edited only once.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "driver/rewrite/file_id.h"
#include "driver/rewrite/resolve.h"

namespace tagpolish {

// A file that a name led to, as it was when it was opened: the file, and
// the folder and name it was found under.
struct Seen {
    FileId id;
    std::uint64_t dir_dev = 0;
    std::uint64_t dir_ino = 0;
    std::string base;
};

// What the file open as fd (which fstat described as st) is, found as
// target.
Seen seen_as(FileOps& ops, int fd, const FileStat& st, const Target& target);

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
    void note_unchanged(const FileId& id, const std::string& name);
    // Notes the pending rewrite of name: the old file (old), named base in
    // the folder that fstat described as dir, is to be replaced by the new
    // file made (none under a dry run). Until then, a later name that
    // leads to the same place and finds the old file there as it was is
    // passed over, while a hard link elsewhere keeps the old file and is
    // edited. Returns what committed takes.
    std::size_t note_pending(const FileId& old, const FileStat& dir, const std::string& base,
                             const FileId* made, const std::string& name);
    // The pending rewrite noted as pending has ended: when placed is not
    // null (what fstat said of the new file after its rename), the new
    // file is noted in that state. Asks for no memory: a run that has run
    // out of it still commits.
    void committed(std::size_t pending, const FileStat* placed);
    // When the file that a name leads to, as seen when it was opened, is a
    // file edited earlier in this run, the name it was edited under; else
    // null.
    const std::string* edited_as(const Seen& seen) const;

  private:
    enum class Kind { unchanged, pending, written, gone };
    struct Record {
        Kind kind;
        FileId id;
        std::string name;
        std::uint64_t dir_dev = 0;  // a pending rewrite's place
        std::uint64_t dir_ino = 0;
        std::string base = {};
    };
    std::size_t add(Record record);

    std::vector<Record> records_;
    std::unordered_multimap<std::uint64_t, std::size_t> by_inode_;
};

}  // namespace tagpolish

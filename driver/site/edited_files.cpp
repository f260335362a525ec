#include "driver/site/edited_files.h"

#include <utility>

namespace tagpolish {

Seen seen_as(FileOps& ops, int fd, const FileStat& st, const Target& target) {
    Seen seen{file_id(ops, fd, st), 0, 0, target.base};
    FileStat dir{};
    if (ops.fstat(target.dir.get(), &dir) == 0) {
        seen.dir_dev = dir.st_dev;
        seen.dir_ino = dir.st_ino;
    }
    return seen;
}

std::size_t EditedFiles::add(Record record) {
    by_inode_.emplace(record.id.ino, records_.size());
    records_.push_back(std::move(record));
    return records_.size() - 1;
}

void EditedFiles::note_unchanged(const FileId& id, const std::string& name) {
    add({Kind::unchanged, id, name});
}

// The new file is noted at once, so that its commit only changes records.
std::size_t EditedFiles::note_pending(const FileId& old, const FileStat& dir,
                                      const std::string& base, const FileId* made,
                                      const std::string& name) {
    const std::size_t at = add({Kind::pending, old, name, dir.st_dev, dir.st_ino, base});
    if (made != nullptr) add({Kind::gone, *made, name});
    return at;
}

void EditedFiles::committed(std::size_t pending, const FileStat* placed) {
    if (pending + 1 >= records_.size()) return;
    records_[pending].kind = Kind::gone;
    if (placed == nullptr) return;
    Record& made = records_[pending + 1];
    made.kind = Kind::written;
    take_state(made.id, *placed);  // its change time is the rename's
}

const std::string* EditedFiles::edited_as(const Seen& seen) const {
    for (auto [it, end] = by_inode_.equal_range(seen.id.ino); it != end; ++it) {
        const Record& r = records_[it->second];
        if (r.kind == Kind::gone || !same_file(r.id, seen.id)) continue;
        if (r.kind == Kind::pending &&
            (r.base != seen.base || r.dir_dev != seen.dir_dev || r.dir_ino != seen.dir_ino))
            continue;
        return &r.name;
    }
    return nullptr;
}

}  // namespace tagpolish

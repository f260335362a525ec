#include "driver/edited_files.h"

#include <optional>
#include <utility>

#include "lib/diag.h"

namespace tagpolish {

std::size_t EditedFiles::add(Record record) {
    by_inode_.emplace(record.id.ino, records_.size());
    records_.push_back(std::move(record));
    return records_.size() - 1;
}

void EditedFiles::note_unchanged(const FileId& id, const char* name) {
    add({Kind::unchanged, id, name});
}

// The new file is noted at once, so that its commit only changes records.
void EditedFiles::note_pending(const FileId& old, const struct stat& dir, const std::string& base,
                               const FileId* made, const char* name) {
    const std::size_t at = add({Kind::pending, old, name, dir.st_dev, dir.st_ino, base});
    if (made == nullptr) return;
    add({Kind::gone, *made, name});
    pending_[name] = at;
}

void EditedFiles::committed(const char* name, const struct stat* placed) {
    const auto it = pending_.find(name);
    if (it == pending_.end()) return;
    records_[it->second].kind = Kind::gone;
    if (placed == nullptr) return;
    Record& made = records_[it->second + 1];
    made.kind = Kind::written;
    take_state(made.id, *placed);  // its change time is the rename's
}

bool EditedFiles::same_place(const Record& r, const Target& target, FileOps& ops) const {
    struct stat dir {};
    return target.base == r.base && ops.fstat(target.dir.get(), &dir) == 0 &&
           dir.st_dev == r.dir_dev && dir.st_ino == r.dir_ino;
}

// Records are looked for by the inode number first; the file's handle is
// asked for only when one has that number.
bool EditedFiles::passed_over(const Target& target, const char* name, FileOps& ops) const {
    std::optional<FileId> found;
    for (auto [it, end] = by_inode_.equal_range(target.st.st_ino); it != end; ++it) {
        const Record& r = records_[it->second];
        if (r.kind == Kind::gone || r.id.dev != target.st.st_dev) continue;
        if (!found) found = file_id(ops, target.file.get(), target.st);
        if (!same_file(r.id, *found)) continue;
        if (r.kind == Kind::pending && !same_place(r, target, ops)) continue;
        errmsg("%s: the same file as %s, already edited in this run; passed over\n", name, r.name);
        return true;
    }
    return false;
}

}  // namespace tagpolish

#include "driver/rewrite/rewrite_batch.h"

#include <algorithm>
#include <utility>

#include "lib/diag.h"
#include "platform/process.h"

namespace tagpolish {
namespace {

bool same_folder(const FileRewrite& a, const FileRewrite& b) {
    return a.dir_st().st_dev == b.dir_st().st_dev && a.dir_st().st_ino == b.dir_st().st_ino;
}

}  // namespace

// Besides what the run holds (others), a batch leaves room under the
// process's limit for what the system itself opens.
std::size_t batch_files_within(std::size_t others) {
    const long limit = open_file_limit();
    if (limit <= 0) return max_batch_files;
    const std::size_t held = static_cast<std::size_t>(limit);
    const std::size_t spare = 16 + others;
    const std::size_t room = held > spare + 3 ? (held - spare) / 3 : 1;
    return std::min<std::size_t>(max_batch_files, room);
}

RewriteBatch::RewriteBatch(Done done, FileOps& ops, std::size_t files)
    : done_(std::move(done)), ops_(ops), max_files_(std::max<std::size_t>(1, files)) {
    // Reserved now, so that a commit when memory has run out asks for none.
    pending_.reserve(max_files_);
}

RewriteBatch::~RewriteBatch() = default;

void RewriteBatch::add(std::unique_ptr<FileRewrite> file) {
    bytes_ += static_cast<std::size_t>(file->made_id().size);
    pending_.push_back({std::move(file), Fate::done, 0});
}

// syncfs writes out every file of a file system at once, which measured
// faster than a sync of each file issued one after the other; it tells of
// no failure by file, so a sync of each file follows, which then finds its
// text written and only learns whether that failed.
void RewriteBatch::make_durable() {
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        const std::uint64_t dev = pending_[i].file->made_id().dev;
        const bool seen =
            std::any_of(pending_.begin(), pending_.begin() + static_cast<long>(i),
                        [dev](const Pending& p) { return p.file->made_id().dev == dev; });
        if (!seen) ops_.syncfs(pending_[i].file->fd());
    }
    for (Pending& p : pending_) {
        const MsgTo to(p.file->messages_to());
        p.fate = fate_of(p.file->sync());
    }
}

// A folder that the batch renamed files in is synced once; a failure
// counts against every file renamed there, whose rename may not last: it
// is replaced (and listed), but counts as failed, and the run stops.
void RewriteBatch::sync_dirs() {
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        Pending& p = pending_[i];
        if (!p.file->placed()) continue;
        auto first = std::find_if(
            pending_.begin(), pending_.begin() + static_cast<long>(i),
            [&p](const Pending& q) { return q.file->placed() && same_folder(*q.file, *p.file); });
        p.dir_error = first == pending_.begin() + static_cast<long>(i) ? p.file->sync_dir()
                                                                       : first->dir_error;
        if (p.dir_error == 0) continue;
        const MsgTo to(p.file->messages_to());
        errmsg_why(p.dir_error, "%s: replaced, but its folder could not be synced\n",
                   p.file->path());
        p.fate = Fate::unsynced;
    }
}

void RewriteBatch::commit() {
    if (pending_.empty() || committing_) return;
    committing_ = true;
    make_durable();
    // A page left as it was is told at once, so that its messages stay
    // together; a page replaced, once its folder is synced.
    for (Pending& p : pending_) {
        if (p.fate == Fate::done) {
            const MsgTo to(p.file->messages_to());
            p.fate = fate_of(p.file->place());
        }
        if (!p.file->placed()) done_(*p.file, p.fate);
    }
    sync_dirs();
    for (const Pending& p : pending_)
        if (p.file->placed()) done_(*p.file, p.fate);
    pending_.clear();
    bytes_ = 0;
    committing_ = false;
}

}  // namespace tagpolish

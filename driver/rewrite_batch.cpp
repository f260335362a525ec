#include "driver/rewrite_batch.h"

#include <sys/resource.h>

#include <algorithm>
#include <utility>

#include "lib/diag.h"

namespace tagpolish {
namespace {

// Each pending rewrite holds three descriptors (the old file, the new one,
// its folder): a batch leaves room under the process's limit for the
// input being read and for what the system itself opens.
std::size_t files_within_limit() {
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return max_batch_files;
    const rlim_t spare = 16;
    const rlim_t room = limit.rlim_cur > 3 * spare ? (limit.rlim_cur - spare) / 3 : 1;
    return std::min<std::size_t>(max_batch_files, room);
}

bool same_folder(const FileRewrite& a, const FileRewrite& b) {
    return a.dir_st().st_dev == b.dir_st().st_dev && a.dir_st().st_ino == b.dir_st().st_ino;
}

}  // namespace

RewriteBatch::RewriteBatch(const RewriteSettings& how, Done done, FileOps& ops)
    : how_(how), done_(std::move(done)), ops_(ops), max_files_(files_within_limit()) {
    // Reserved now, so that a commit when memory has run out asks for none.
    pending_.reserve(max_files_);
}

RewriteBatch::~RewriteBatch() = default;

FileRewrite& RewriteBatch::start(const char* path, RewriteInput&& in) {
    current_ = std::make_unique<FileRewrite>(path, std::move(in), how_, ops_);
    current_->prepare();
    return *current_;
}

void RewriteBatch::drop() {
    current_.reset();
}

Rewrite RewriteBatch::add(int write_error, const struct stat& old) {
    const Rewrite result = current_->finish(write_error, old);
    if (result != Rewrite::done || how_.dry_run) {
        current_.reset();
        return result;
    }
    bytes_ += static_cast<std::size_t>(current_->made_id().size);
    pending_.push_back({std::move(current_), Rewrite::done, 0});
    return Rewrite::done;
}

// syncfs writes out every file of a file system at once, which measured
// faster than a sync of each file issued one after the other; it tells of
// no failure by file, so a sync of each file follows, which then finds its
// text written and only learns whether that failed.
void RewriteBatch::make_durable() {
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        const dev_t dev = pending_[i].file->made_id().dev;
        const bool seen =
            std::any_of(pending_.begin(), pending_.begin() + static_cast<long>(i),
                        [dev](const Pending& p) { return p.file->made_id().dev == dev; });
        if (!seen) ops_.syncfs(pending_[i].file->fd());
    }
    for (Pending& p : pending_) p.result = p.file->sync();
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
        errmsg_why(p.dir_error, "%s: replaced, but its folder could not be synced\n",
                   p.file->path());
        p.result = Rewrite::stopped;
    }
}

void RewriteBatch::commit() {
    if (pending_.empty() || committing_) return;
    committing_ = true;
    make_durable();
    // A page left as it was is told at once, so that its messages stay
    // together; a page replaced, once its folder is synced.
    for (Pending& p : pending_) {
        if (p.result == Rewrite::done) p.result = p.file->place();
        if (!p.file->placed()) done_(*p.file, p.result);
    }
    sync_dirs();
    for (const Pending& p : pending_)
        if (p.file->placed()) done_(*p.file, p.result);
    pending_.clear();
    bytes_ = 0;
    committing_ = false;
}

}  // namespace tagpolish

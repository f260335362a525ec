// The rewrites of a run under -w, put in place in batches: the new files of
// several inputs are written, made to last together, and then renamed over
// their pages one after the other, so that a whole site costs a few syncs
// instead of two for every page.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "driver/rewrite/rewrite.h"
#include "platform/file_ops.h"

namespace tagpolish {

// A batch holds at most this many rewrites, and commits once their new
// texts reach max_batch_bytes.
constexpr std::size_t max_batch_files = 64;
constexpr std::size_t max_batch_bytes = std::size_t{64} << 20;

// Rewrites that wait for their batch to commit. Each keeps its old file
// open and locked until its rename. A page is never renamed before its new
// text is on disk, so after a crash at any moment it is wholly old or
// wholly new.
class RewriteBatch {
  public:
    // Told how each pending rewrite ended, when its batch has committed;
    // a failure has been reported.
    using Done = std::function<void(const FileRewrite& file, Fate fate)>;

    // files is the most rewrites a batch holds (at most max_batch_files).
    RewriteBatch(Done done, FileOps& ops = system_file_ops(), std::size_t files = max_batch_files);
    // What is still pending is dropped: its pages stay as they were.
    ~RewriteBatch();
    RewriteBatch(const RewriteBatch&) = delete;
    RewriteBatch& operator=(const RewriteBatch&) = delete;

    // Takes a rewrite whose new text is whole (FileRewrite::finish went
    // through); it is pending until the batch commits.
    void add(std::unique_ptr<FileRewrite> file);
    bool empty() const { return pending_.empty(); }
    // Whether the batch holds as many rewrites, or as many bytes of new
    // text, as it may: then it is to commit.
    bool full() const { return pending_.size() >= max_files_ || bytes_ >= max_batch_bytes; }
    // Makes the new text of every pending rewrite last, then for each in
    // order makes its backup and renames it over its page, then syncs each
    // folder once; done is told how each ended (a page left as it was at
    // once, a page replaced after the syncs). A failure leaves that page,
    // and only that page, as it was; a folder that cannot be synced stops
    // the run, its pages replaced (unsynced). The messages of each step go
    // where its rewrite's messages go.
    void commit();
    // Whether a commit is under way (then a failure that ends the process
    // cannot commit again).
    bool committing() const { return committing_; }

  private:
    struct Pending {
        std::unique_ptr<FileRewrite> file;
        Fate fate = Fate::done;
        int dir_error = 0;  // how the sync of its directory failed
    };
    void make_durable();
    void sync_dirs();

    Done done_;
    FileOps& ops_;
    std::size_t max_files_;
    std::vector<Pending> pending_;
    std::size_t bytes_ = 0;  // of the pending new texts
    bool committing_ = false;
};

// How many rewrites a batch may hold, when each holds three descriptors
// (the old file, the new one, its folder) and the run needs others beside
// them: at most max_batch_files, and within the process's limit.
std::size_t batch_files_within(std::size_t others);

}  // namespace tagpolish

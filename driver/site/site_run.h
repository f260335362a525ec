// A run under -w over the names given: the pages it finds (with -r, by
// walking the folders given) are edited, or their backups put back or
// removed, by workers side by side, and taken back by the thread that
// started the run, one at a time in the order they were found: their
// messages, their --list and --report lines, the rewrites of their batch
// and the summary all come from that one thread.
//
// Conventions of SiteRun. Every field is the run's own thread's; a worker
// touches only the Page it was given, from give() until its stage is done,
// and reads letting_go_. A page goes through these states:
//
//   found by inputs_ ─▶ flight_ (at most window_) ─give─▶ a worker:
//     stage queued ─▶ running ─▶ done, with its fate
//   its turn, at the head of flight_ (take_turn):
//     busy ─hand_off─▶ back at the head of flight_, given alone (alone_)
//     done with a whole rewrite ─take_rewrite─▶ fate open, in pending_ and
//       batch_ ─commit─▶ committed: fate done, failed, stopped or unsynced
//     any other fate: as the worker left it
//   ─▶ told_, in order ─tell_ready─▶ told (its messages, its --list and
//      --report lines) and counted in tally_ once nothing before it waits
//
// stopped and unsynced end the run (ending_): nothing more is given, and
// what is in flight is let go or told.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "driver/rewrite/rewrite_batch.h"
#include "driver/site/backups.h"
#include "driver/site/edited_files.h"
#include "driver/site/inputs.h"
#include "driver/site/listing.h"
#include "driver/site/page.h"
#include "driver/site/page_edit.h"
#include "driver/site/progress.h"
#include "driver/site/workers.h"

namespace tagpolish {

// What a run under -w is asked to do, from the options.
struct RunSettings {
    RunJob job = RunJob::edit;
    WalkOptions edits;                    // what each page's walk does
    std::optional<Utf8Settings> to_utf8;  // how the text is converted, if it is
    RewriteSettings how;                  // dry run, backup suffix
    // The suffix of the backups passed over, restored, removed.
    const char* backups = default_backup_suffix;
    bool walk = false;  // -r
    WalkRules rules;
    int jobs = 1;
    bool list = false;     // name each page changed (a dry run always does)
    bool report = false;   // and its edits
    char end = '\n';       // of those lines
    bool summary = false;  // put the summary at the end
    bool status = false;   // show the status line
    bool force = false;    // restore over a page changed since its backup
};

// The settings that the option flags give (a run under -w with names).
RunSettings settings_from_options();

class SiteRun {
  public:
    SiteRun(char** names, int count, const RunSettings& settings, FileOps& ops);
    ~SiteRun();
    SiteRun(const SiteRun&) = delete;
    SiteRun& operator=(const SiteRun&) = delete;

    // Does the run and returns its status (0, or 1 when an input failed or
    // the run stopped early). A run stopped by a signal (or by a list that
    // nobody reads any more) ends the process by that signal instead.
    int go();

  private:
    using Clock = std::chrono::steady_clock;
    void work(Page& page, PageWork& tools);
    void fill();
    void give(Page& page);
    void take_turn(std::unique_ptr<Page> page);
    void take_rewrite(Page& page);
    void hand_off(std::unique_ptr<Page> page);
    void commit();
    void committed(const FileRewrite& file, Fate fate);
    void tell_ready();
    void tell(Page& page);
    void show_progress();
    bool waited() const;
    void stop_early(bool take_done);
    void finish();
    static void memory_stop(void* run);

    RunSettings settings_;
    FileOps& ops_;                               // every system call on a page
    Clock::time_point start_ = Clock::now();     // for the status line and the summary
    std::size_t window_;                         // the most pages given to the workers at once
    Inputs inputs_;                              // the names given, and what the walk finds in them
    std::unique_ptr<ConvertedScripts> scripts_;  // under --to-utf8: the scripts it converts
    StatusLine status_;                          // standard error, with the status line under it
    Listing listing_;               // standard output: --list, --report, --dry-run names
    EditedFiles edited_;            // the files edited so far (the same-file rule)
    RewriteBatch batch_;            // the rewrites waiting to be put in place
    Tally tally_;                   // the pages told, by fate, for the summary
    int status_code_ = 0;           // the run's exit status so far
    std::uint64_t told_count_ = 0;  // pages told
    bool alone_ = false;            // one page, which may wait for a lock, is given alone
    bool ending_ = false;           // the run stops: nothing more is given
    bool ending_memory_ = false;
    bool said_unrecorded_ = false;  // that a record for --restore cannot be kept
    std::atomic<bool> letting_go_{false};
    Clock::time_point pending_since_{};  // when the first page of the batch came
    // Found and not yet taken back, in order; taken back and not yet told
    // (behind a page that waits in the batch), in order; in the batch.
    std::deque<std::unique_ptr<Page>> flight_, told_;
    std::vector<Page*> pending_;
    std::unique_ptr<Workers> workers_;  // ended first
};

}  // namespace tagpolish

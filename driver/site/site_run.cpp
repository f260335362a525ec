#include "driver/site/site_run.h"

#include <algorithm>
#include <cstdlib>

#include "driver/rewrite/resolve.h"
#include "lib/mem.h"
#include "lib/options.h"
#include "platform/console.h"
#include "platform/process.h"
#include "platform/run_stop.h"

namespace tagpolish {
namespace {

// A page in flight holds at most four descriptors (its folder, the file
// found, the old file and the new one), and the walk one for each folder
// it is in: room is kept for folders this deep.
constexpr std::size_t fds_per_page = 4;
constexpr std::size_t deepest_walk = 64;

// Raises the process's limit of open descriptors to what the system lets
// it have, and answers how many pages may be in flight at once: a batch's
// worth (or two for each job, if more), so that the workers edit the next
// batch while this thread syncs the last; within that limit beside a full
// batch and a deep walk.
std::size_t pages_in_flight(int jobs) {
    const long limit = open_file_limit(true);
    if (limit < 0) return 2;
    const std::size_t wanted = std::max(max_batch_files, 2 * static_cast<std::size_t>(jobs));
    if (limit == 0) return wanted;
    const std::size_t held = static_cast<std::size_t>(limit);
    const std::size_t others = 16 + deepest_walk + 3 * max_batch_files;
    const std::size_t room = held > others + fds_per_page ? (held - others) / fds_per_page : 1;
    return std::clamp<std::size_t>(wanted, 1, room);
}

// Whether a page's fate is told: it no longer waits in the batch.
bool told(const Page& page) {
    return page.fate != Fate::open;
}

// Forgets what a worker found out about a page that is let go, to be done
// again later.
void let_go(Page& page) {
    page.forget();
    page.file.reset();
    page.seen.reset();
    page.left.reset();
    page.counts = {};
    page.bytes = 0;
    page.fate = Fate::not_reached;
    page.stage = Stage::found;
    page.given = false;
}

}  // namespace

RunSettings settings_from_options() {
    RunSettings s;
    s.job = restore_suffix != nullptr  ? RunJob::restore
            : remove_suffix != nullptr ? RunJob::remove
                                       : RunJob::edit;
    s.edits = walk_options_given();
    if (opt_to_utf8) s.to_utf8 = Utf8Settings{.replace = opt_to_utf8 == 2};
    s.how = {opt_dry_run != 0, backup_suffix};
    for (const char* suffix : {backup_suffix, restore_suffix, remove_suffix})
        if (suffix != nullptr) s.backups = suffix;
    s.walk = opt_r != 0;
    s.rules.include.assign(include_globs.begin(), include_globs.end());
    s.rules.exclude.assign(exclude_globs.begin(), exclude_globs.end());
    s.rules.follow_links = opt_follow_links != 0;
    s.rules.style_sheets = opt_to_utf8 != 0;
    s.rules.backup_suffix = s.backups;
    s.rules.backups = s.job != RunJob::edit;
    s.jobs = opt_jobs != 0 ? opt_jobs : opt_r ? processor_count() : 1;
    s.list = opt_list || opt_dry_run;
    s.report = opt_report != 0;
    s.end = opt_null ? '\0' : '\n';
    s.summary = opt_list || opt_dry_run || opt_r || s.job != RunJob::edit;
    s.status = !opt_quiet && standard_error_terminal() != ErrorTerminal::none;
    s.force = opt_force != 0;
    return s;
}

SiteRun::SiteRun(char** names, int count, const RunSettings& settings, FileOps& ops)
    : settings_(settings),
      ops_(ops),
      window_(settings.jobs > 1 ? pages_in_flight(settings.jobs) : 1),
      inputs_(names, count, settings_.walk ? &settings_.rules : nullptr, ops),
      status_(settings.status),
      listing_(STDOUT_FILENO, settings.end),
      batch_([this](const FileRewrite& file, Fate fate) { committed(file, fate); }, ops,
             batch_files_within(fds_per_page * window_ + deepest_walk)) {
    set_memory_stop_hook(memory_stop, this);
    if (settings_.to_utf8)
        scripts_ = std::make_unique<ConvertedScripts>(
            std::vector<std::string>(names, names + count),
            settings_.walk ? &settings_.rules : nullptr, settings_.to_utf8->replace, ops_);
    workers_ = std::make_unique<Workers>(settings.jobs, window_, [this] {
        auto tools = std::make_shared<PageWork>(settings_.edits, settings_.how, ops_, nullptr,
                                                settings_.rules.follow_links,
                                                [this] { return letting_go_.load(); });
        tools->to_utf8 = settings_.to_utf8;
        tools->scripts = scripts_.get();
        return [this, tools](Page& page) { work(page, *tools); };
    });
}

SiteRun::~SiteRun() {
    workers_.reset();
    set_memory_stop_hook(nullptr, nullptr);
}

// A worker's part. A page named is a backup only under --backup; the walk
// never takes one.
void SiteRun::work(Page& page, PageWork& tools) {
    if (settings_.job != RunJob::edit) {
        const BackupWork backups{settings_.backups, settings_.how.dry_run, settings_.force, ops_,
                                 tools.letting_go};
        page.fate = settings_.job == RunJob::restore ? restore_backup(page, backups)
                                                     : remove_backup(page, backups);
        return;
    }
    tools.backup_suffix = page.folder ? settings_.backups : settings_.how.backup_suffix;
    page.fate = edit_page(page, tools);
}

void SiteRun::give(Page& page) {
    page.given = true;
    page.out = &status_;
    workers_->give(page);
}

// Pages are given as they are found, while fewer than window_ are in
// flight; a page that may wait for a lock is given alone.
void SiteRun::fill() {
    if (alone_ || ending_) return;
    // A page's stage is the workers' once it is given: one not given is
    // a note of the walk, or one to give.
    for (auto& page : flight_)
        if (!page->given && page->stage == Stage::found) give(*page);
    while (flight_.size() < window_) {
        std::unique_ptr<Page> page = inputs_.next();
        if (!page) return;
        flight_.push_back(std::move(page));
        if (flight_.back()->stage == Stage::found) give(*flight_.back());
    }
}

int SiteRun::go() {
    const MsgTo to(&status_);
    for (;;) {
        if (ending_) {
            stop_early(false);
            break;
        }
        fill();
        if (flight_.empty()) break;
        Page& head = *flight_.front();
        const bool ready = head.given ? workers_->wait_for(head, std::chrono::milliseconds(100))
                                      : head.stage == Stage::done;
        if (stop_requested() || (ready && head.fate == Fate::not_reached && !head.out_of_memory)) {
            stop_early(true);
            break;
        }
        if (!ready) {
            // The pages told behind one in the batch wait a second at most.
            if (waited()) commit();
            tell_ready();
            show_progress();
            continue;
        }
        std::unique_ptr<Page> page = std::move(flight_.front());
        flight_.pop_front();
        take_turn(std::move(page));
        show_progress();
    }
    finish();
    // A worker that ran out of memory waits for the end of the process.
    if (ending_memory_) std::exit(1);
    return status_code_ | listing_.failed();
}

bool SiteRun::waited() const {
    return !pending_.empty() && Clock::now() - pending_since_ > std::chrono::seconds(1);
}

// The page's turn: the same-file rule, its record, its rewrite into the
// batch; what the run's thread says of it goes with it.
void SiteRun::take_turn(std::unique_ptr<Page> page) {
    const MsgTo to(page.get());
    page->live = false;
    if (page->fate == Fate::busy) {
        hand_off(std::move(page));
        return;
    }
    alone_ = false;
    if (page->out_of_memory) {
        ending_ = ending_memory_ = true;
        page->fate = Fate::failed;
    }
    const std::string* earlier = page->seen ? edited_.edited_as(*page->seen) : nullptr;
    if (earlier != nullptr) {
        let_go(*page);
        errmsg("%s: the same file as %s, already edited in this run; passed over\n",
               page->name.c_str(), earlier->c_str());
        page->fate = Fate::passed_over;
    }
    if (page->fate == Fate::unchanged && page->left)
        edited_.note_unchanged(*page->left, page->name);
    if (page->fate == Fate::done && page->file) take_rewrite(*page);
    if (page->fate == Fate::stopped || page->fate == Fate::unsynced) ending_ = true;
    told_.push_back(std::move(page));
    if (batch_.full() || waited()) commit();
    tell_ready();
}

// A rewrite whose new text is whole is noted, and waits in the batch
// (under a dry run, it is done). A file system that keeps no record for
// --restore is named once.
void SiteRun::take_rewrite(Page& page) {
    std::unique_ptr<FileRewrite> file = std::move(page.file);
    if (file->record_error() != 0 && !said_unrecorded_) {
        said_unrecorded_ = true;
        errmsg_why(file->record_error(),
                   "%s: cannot keep the record that --restore checks; --restore will refuse such "
                   "pages without --force\n",
                   page.name.c_str());
    }
    const bool dry = settings_.how.dry_run;
    page.pending = edited_.note_pending(page.old, file->dir_st(), file->target().base,
                                        dry ? nullptr : &file->made_id(), page.name);
    if (dry) return;
    if (pending_.empty()) pending_since_ = Clock::now();
    file->messages_to(&page);
    page.placing = file.get();
    page.fate = Fate::open;
    pending_.push_back(&page);
    batch_.add(std::move(file));
}

// Another holds the page's lock. Before the page waits for it, the run
// lets go of every lock it holds: the pages in the batch are put in place,
// the pages after this one are let go (done again later, in order); then
// the page is given alone.
void SiteRun::hand_off(std::unique_ptr<Page> page) {
    letting_go_ = true;
    workers_->take_back();
    letting_go_ = false;
    for (auto& later : flight_)
        if (later->given) let_go(*later);
    commit();
    tell_ready();
    let_go(*page);
    flight_.push_front(std::move(page));
    if (ending_) return;
    Page& head = *flight_.front();
    head.may_wait = true;
    head.live = told_.empty();
    give(head);
    alone_ = true;
}

void SiteRun::commit() {
    if (batch_.empty() || batch_.committing()) return;
    batch_.commit();
    pending_.clear();
}

// How a page of the batch ended. Asks for no memory: a run that stops for
// want of it still commits.
void SiteRun::committed(const FileRewrite& file, Fate fate) {
    const auto it = std::find_if(pending_.begin(), pending_.end(),
                                 [&file](const Page* p) { return p->placing == &file; });
    if (it == pending_.end()) return;
    Page& page = **it;
    const bool placed = file.placed() && file.placed_st().st_ino != 0;
    edited_.committed(page.pending, placed ? &file.placed_st() : nullptr);
    page.placing = nullptr;
    page.fate = fate;
    if (fate == Fate::stopped || fate == Fate::unsynced) ending_ = true;
    if (fate != Fate::failed) return;
    const MsgTo to(&page);
    errmsg("%s: failed to convert\n", page.name.c_str());
}

void SiteRun::tell_ready() {
    while (!told_.empty() && told(*told_.front())) {
        tell(*told_.front());
        told_.pop_front();
    }
}

// A page's fate, told: its messages, its line in the list and its report
// line, together; then it is counted. Every input counts once: what was
// passed over was left as it was.
void SiteRun::tell(Page& page) {
    page.tell();
    const bool changed = page.fate == Fate::done || page.fate == Fate::unsynced;
    if (changed && settings_.list) listing_.name(page.listed.empty() ? page.name : page.listed);
    if (changed && settings_.report) listing_.name(report_line(page.name, page.counts));
    ++told_count_;
    tally_.bytes += page.bytes;
    if (changed) {
        ++tally_.rewritten;
        for (std::size_t i = 0; i < edit_count; ++i) tally_.edits[i] += page.counts[i];
    }
    if (page.fate == Fate::unchanged || page.fate == Fate::passed_over) ++tally_.unchanged;
    if (page.fate == Fate::passed_over) ++tally_.passed_over;
    const bool failed =
        page.fate == Fate::failed || page.fate == Fate::stopped || page.fate == Fate::unsynced;
    if (failed) {
        ++tally_.failed;
        status_code_ = 1;
    }
}

void SiteRun::show_progress() {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    status_.show({.done = told_count_,
                  .found = inputs_.found(),
                  .bytes = tally_.bytes,
                  .rewritten = static_cast<std::uint64_t>(tally_.rewritten),
                  .failed = static_cast<std::uint64_t>(tally_.failed),
                  .seconds = seconds,
                  .all_found = inputs_.all_found(),
                  .changed = changed_word(settings_.job, settings_.how.dry_run)});
}

// The run stops: nothing more is given, and what the workers have begun
// ends. Pages done before the first that was not (after a stop signal,
// take_done) are taken back as if the run had gone on; each page after
// them is named as not edited, once the batch is put in place.
void SiteRun::stop_early(bool take_done) {
    ending_ = true;
    letting_go_ = true;
    workers_->take_back();
    // The page that memory ran out on, edited by this thread itself.
    if (!flight_.empty() && flight_.front()->out_of_memory) {
        std::unique_ptr<Page> page = std::move(flight_.front());
        flight_.pop_front();
        take_turn(std::move(page));
    }
    while (take_done && !flight_.empty() && flight_.front()->stage == Stage::done &&
           flight_.front()->fate != Fate::not_reached && flight_.front()->fate != Fate::busy) {
        std::unique_ptr<Page> page = std::move(flight_.front());
        flight_.pop_front();
        take_turn(std::move(page));
    }
    commit();
    tell_ready();
    for (auto& page : flight_) {
        if (!page->given && page->stage == Stage::done) continue;  // a note of the walk
        let_go(*page);
        errmsg("%s: not edited (the run stopped)\n", page->name.c_str());
    }
    flight_.clear();
    inputs_.name_unreached();
    status_code_ = 1;
}

// The last batch, and the summary; a run stopped by a signal ends by it.
void SiteRun::finish() {
    commit();
    tell_ready();
    status_.clear();
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    if (settings_.summary) {
        put_summary(tally_, settings_.job, settings_.how.dry_run, seconds);
        if (settings_.report) errmsg("%s\n", report_line("in all", tally_.edits).c_str());
    }
    if (const int sig = stop_signal()) end_by_signal(sig);
}

// A worker that runs out of memory leaves its page to the run's thread,
// which ends the run when the page's turn comes; the run's thread ends it
// at once, the batch put in place first (unless it is being put in place).
void SiteRun::memory_stop(void* run) {
    SiteRun& self = *static_cast<SiteRun*>(run);
    if (Page* page = Workers::current()) {
        errmsg("  while editing %s\n", page->name.c_str());
        page->out_of_memory = true;
        if (Workers::in_worker()) Workers::park();
        page->stage = Stage::done;
    }
    if (self.ending_memory_ || self.ending_) return;
    self.ending_memory_ = true;
    // The page being edited here is told and gone before the run ends.
    const MsgTo to(&self.status_);
    self.stop_early(false);
    self.finish();
}

}  // namespace tagpolish

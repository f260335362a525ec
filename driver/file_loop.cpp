#include "driver/file_loop.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include "driver/edited_files.h"
#include "driver/file_id.h"
#include "driver/line_source.h"
#include "driver/listing.h"
#include "driver/options.h"
#include "driver/output.h"
#include "driver/rewrite.h"
#include "driver/rewrite_batch.h"
#include "driver/run_stop.h"
#include "engine/scanner.h"
#include "lib/diag.h"
#include "lib/mem.h"
#include "platform/free_space.h"

namespace tagpolish {
namespace {

// Refuses an input that cannot be edited safely. Returns 0 when it may be.
int check_input(const char* name, const InputInfo& info, bool rewrite) {
    if (info.read_error) {
        errmsg_why(info.read_errno, "%s: cannot read\n", name);
        return -1;
    }
    if (info.nul_line) {
        errmsg("%s:%d: NUL byte in the text\n", name, info.nul_line);
        return -1;
    }
    if (refuse_encoding(name, info.encoding) != 0) return -1;
    if (rewrite && info.text_after_eof) {
        // Rewriting would drop everything after the mark from the file.
        errmsg("%s: text after end-of-file mark (0x1A)\n", name);
        return -1;
    }
    return 0;
}

// Reports a file that another program wrote while this one read it.
int changed_meanwhile(const char* name) {
    errmsg(msg_changed, name);
    return -1;
}

// Reports lines that ended before the text did. Returns 0 when they did
// not.
int check_lines(const char* name, const BlockLines& lines) {
    if (lines.read_errno() != 0) {
        errmsg_why(lines.read_errno(), "%s: cannot read\n", name);
        return -1;
    }
    return lines.changed() ? changed_meanwhile(name) : 0;
}

// Where the run stands, so that a run that stops early (out of memory, a
// rewrite that failed, a stop signal) can commit what is pending and name
// what it leaves undone.
struct RunRecord {
    char** names = nullptr;         // the file arguments
    int next = 0;                   // the first of them not yet begun
    int end = 0;                    // one past the last
    const char* current = nullptr;  // the input being edited, if any
    Tally tally;                    // how the inputs so far ended
    int status = 0;                 // 1 once an input failed
    bool stopped = false;           // a rewrite failed: the run stops
    RewriteBatch* batch = nullptr;  // the rewrites pending
};
RunRecord record;

constexpr MsgFormat<const char*> msg_not_edited = "%s: not edited (the run stopped)\n";

void name_unedited() {
    for (int i = record.next; i < record.end; ++i)
        errmsg(msg_not_edited, static_cast<const char*>(record.names[i]));
}

// Whether the run is to end: a rewrite failed, or a stop was asked for.
bool run_ends() {
    return record.stopped || stop_requested();
}

// The summary of --list, when files were named.
void end_summary() {
    if (opt_list && record.names != nullptr) put_summary(record.tally, opt_dry_run);
}

// Follows the message of a memory failure, which ends the process. The
// rewrites that are pending are made first, as if each had been made in
// its turn; the one under way is dropped.
void memory_stop() {
    if (record.current != nullptr) errmsg("  while editing %s\n", record.current);
    if (record.batch != nullptr && !record.batch->committing()) {
        record.batch->drop();
        record.batch->commit();
    }
    name_unedited();
    if (record.current != nullptr) ++record.tally.failed;
    end_summary();
}

// How one input ended.
enum class Outcome {
    edited,       // to standard output
    rewritten,    // replaced by its edited text (under a dry run: would be)
    unchanged,    // under -w, its text came out the same: the file stays
    passed_over,  // the same file as an earlier input, or a backup
    pending,      // its rewrite waits for its batch, which tells how it ended
    failed,
    stopped,
    not_reached,  // the run stopped before this input was read, or during its walk
};

// Counts an input for the summary of -w and the run status; what was
// passed over was left as it was, so every name given counts once.
void count(Outcome outcome) {
    if (outcome == Outcome::rewritten) ++record.tally.rewritten;
    if (outcome == Outcome::unchanged || outcome == Outcome::passed_over) ++record.tally.unchanged;
    if (outcome == Outcome::failed || outcome == Outcome::stopped) ++record.tally.failed;
    if (outcome == Outcome::failed) record.status = 1;
    if (outcome == Outcome::stopped) record.stopped = true;
}

// How a rewrite ended, told when its batch commits: the new file is noted
// as edited. It asks for no memory: a run that stops for want of it still
// commits.
void rewrite_ended(const FileRewrite& file, Rewrite result, EditedFiles& edited) {
    const bool placed = file.placed() && file.placed_st().st_ino != 0;
    edited.committed(file.path(), placed ? &file.placed_st() : nullptr);
    const Outcome outcome = result == Rewrite::done      ? Outcome::rewritten
                            : result == Rewrite::refused ? Outcome::failed
                                                         : Outcome::stopped;
    if (outcome == Outcome::failed) errmsg("%s: failed to convert\n", file.path());
    count(outcome);
}

// What every input of one run shares.
struct FileRun {
    FileRun(const RewriteSettings& settings, FileOps& file_ops)
        : how(settings),
          ops(file_ops),
          batch(
              how, [this](const FileRewrite& f, Rewrite r) { rewrite_ended(f, r, edited); }, ops) {}
    RewriteSettings how;
    FileOps& ops;
    EditedFiles edited;
    InputBuffer buf;
    RewriteBatch batch;
};

// Under -w, whether the input that name leads to (target) is passed over,
// with a note: a backup is never edited, nor a file that this run has
// edited already.
bool pass_over(const Target& target, const char* name, const FileRun& run) {
    const char* suffix = run.how.backup_suffix;
    if (suffix != nullptr && is_backup_name(name, target, suffix, run.ops)) {
        errmsg("%s: a backup (its name ends in %s); passed over\n", name, suffix);
        return true;
    }
    return run.edited.passed_over(target, name, run.ops);
}

// Ends the rewrite (file, of the input open as fd) whose walk went through
// and whose text changed: it is pending in its batch (under a dry run,
// done). Notes the file, so that a later name of it is passed over as a
// real run would.
Outcome add_rewrite(const char* name, FileRewrite& file, int fd, int write_error,
                    const struct stat& old, FileRun& run) {
    const FileId old_id = file_id(run.ops, fd, old);
    const struct stat dir = file.dir_st();
    const std::string base = file.target().base;
    switch (run.batch.add(write_error, old)) {
        case Rewrite::done:
            break;
        case Rewrite::refused:
            return Outcome::failed;
        case Rewrite::stopped:
            return Outcome::stopped;
    }
    if (run.how.dry_run) {
        run.edited.note_pending(old_id, dir, base, nullptr, name);
        return Outcome::rewritten;
    }
    run.edited.note_pending(old_id, dir, base, &run.batch.last().made_id(), name);
    if (run.batch.full()) run.batch.commit();
    return Outcome::pending;
}

// Edits the checked input in (whose descriptor the batch takes over) into
// a new file, which replaces the file when the text changed and the walk
// went through. A file whose text comes out unchanged is left alone, so it
// keeps its inode and times. Under a dry run no new file is made: the text
// is only compared. A stop abandons the input.
Outcome edit_to_file(const char* name, RewriteInput&& in, const InputInfo& info, FileRun& run) {
    const int fd = in.fd;
    const struct stat st = in.st;
    FileRewrite& file = run.batch.start(name, std::move(in));
    BlockLines lines(fd, run.buf, info);
    FdSink sink(file.fd(), info.line_end, run.ops);
    sink.follow(lines);
    sink.compare_with(fd, info);
    std::int64_t error_line = 0;
    int result = edit_html(name, error_line, lines, sink);
    sink.flush();
    if (stop_requested()) {
        run.batch.drop();
        return Outcome::not_reached;
    }
    result |= check_lines(name, lines);
    // Read twice, the file must have held the same text both times; as it
    // is now, it is looked at again before it is replaced.
    struct stat now {};
    const bool same = run.ops.fstat(fd, &now) == 0 && unchanged(st, now);
    if (result == 0 && !sink.unchanged() && !info.held && !same) result = changed_meanwhile(name);
    if (result != 0 || sink.unchanged()) {
        if (result == 0 && same) run.edited.note_unchanged(file_id(run.ops, fd, now), name);
        run.batch.drop();
        return result == 0 ? Outcome::unchanged : Outcome::failed;
    }
    return add_rewrite(name, file, fd, sink.error(), now, run);
}

// Edits the checked input open as fd to standard output; why receives the
// errno of a failed write (ECANCELED when a stop cut a wait short).
int edit_to_stdout(const char* name, int fd, const InputInfo& info, InputBuffer& buf, int& why) {
    BlockLines lines(fd, buf, info);
    FdSink sink(1, info.line_end, stoppable_file_ops());
    sink.follow(lines);
    std::int64_t error_line = 0;
    int result = edit_html(name, error_line, lines, sink);
    if (!sink.flush()) result |= -1;
    why = sink.error();
    return result | check_lines(name, lines);
}

// Opens a named input (under -w only a regular file, locked until its
// rewrite ends, and not one that is passed over).
RewriteInput open_input(const char* name, FileRun& run) {
    if (opt_w) {
        OpenHooks hooks;
        hooks.pass_over = [&](const Target& target) { return pass_over(target, name, run); };
        // Pending rewrites hold their locks: they are made before waiting.
        hooks.before_wait = [&run] {
            run.batch.commit();
            return !run_ends();
        };
        return open_to_rewrite(name, run.ops, hooks);
    }
    RewriteInput in;
    in.fd = open(name, O_RDONLY | O_CLOEXEC);
    if (in.fd < 0) in.error = errno;
    if (in.fd >= 0 && fstat(in.fd, &in.st) != 0) in.error = errno;
    if (in.fd < 0) in.opened = Opened::missing;
    return in;
}

// Checks, edits and closes the open input; why receives the errno of a
// failed write to standard output. The free space is looked at only for
// an input that went through, so that its message never follows another
// failure.
Outcome edit_open(const char* name, RewriteInput&& in, bool is_stdin, int& why, FileRun& run) {
    const bool rewrite = opt_w && !is_stdin;
    const int fd = in.fd;
    const InputInfo info = load_input(fd, in.st, run.buf);
    const bool cut_short = info.read_error && stop_requested();
    int result = cut_short ? -1 : check_input(name, info, rewrite);
    if (result == 0 && rewrite) return edit_to_file(name, std::move(in), info, run);
    if (result == 0 && !rewrite) result = edit_to_stdout(name, fd, info, run.buf, why);
    if (is_stdin || rewrite || result != 0)
        close(fd);
    else
        result |= Fclose(fd, name);
    if (cut_short || (why == ECANCELED && stop_requested())) return Outcome::not_reached;
    // Nobody reads the text any more: the run ends as a broken pipe ends it.
    if (why == EPIPE) end_by_signal(SIGPIPE);
    return result == 0 && !rewrite ? Outcome::edited : Outcome::failed;
}

// Reports an input that was not opened; returns how it ended.
Outcome not_opened(const char* name, const RewriteInput& in) {
    switch (in.opened) {
        case Opened::locked:
            break;
        case Opened::missing:
            errmsg_why(in.error, "%s: not found\n", name);
            return Outcome::failed;
        case Opened::foreign_link:
            errmsg(
                "%s: a symbolic link owned by another user; not followed\n"
                "%s: failed to convert\n",
                name, name);
            return Outcome::failed;
        case Opened::not_regular:
            errmsg("%s: not a regular file\n%s: failed to convert\n", name, name);
            return Outcome::failed;
        case Opened::passed_over:
            return Outcome::passed_over;
        case Opened::stopped:
            return Outcome::not_reached;
    }
    return Outcome::edited;
}

// Opens, edits and closes one input, and reports it when it failed.
Outcome edit_input(const char* name, bool is_stdin, FileRun& run) {
    RewriteInput in;
    if (is_stdin) {
        in.fd = 0;
        fstat(0, &in.st);
    } else {
        in = open_input(name, run);
    }
    if (in.opened != Opened::locked) return not_opened(name, in);
    int why = 0;
    record.current = name;
    const Outcome outcome = edit_open(name, std::move(in), is_stdin, why, run);
    record.current = nullptr;
    if (outcome == Outcome::failed) errmsg_why(why, "%s: failed to convert\n", name);
    return outcome;
}

// After a stop: the summary, then the end by the signal.
void end_if_stopped() {
    end_summary();
    if (const int sig = stop_signal()) end_by_signal(sig);
}

}  // namespace

int Fclose(int fd, const char* name) {
    int closed = close(fd);
    if (closed != 0) return closed;
    if (getFreeSpace(name) > 0) return 0;
    if (name[0] && name[1] == ':')
        errmsg("%c drive: no free disk space\n", name[0]);
    else
        errmsg("no free disk space\n");
    return -1;
}

int run_files(int first, int argc, char** argv, FileOps& ops) {
    set_memory_stop_hook(memory_stop);
    // A dry run names what it would change, with or without --list.
    Listing listing(1, opt_null ? '\0' : '\n');
    FileRun run({opt_dry_run != 0, backup_suffix, opt_list || opt_dry_run ? &listing : nullptr},
                ops);
    if (first >= argc) {
        const Outcome outcome = edit_input("stdin", true, run);
        if (outcome == Outcome::not_reached) errmsg(msg_not_edited, "stdin");
        end_if_stopped();
        return outcome == Outcome::failed;
    }
    record = {argv, first, argc, nullptr, {}, 0, false, &run.batch};
    while (record.next < record.end && !run_ends()) {
        const Outcome outcome = edit_input(argv[record.next++], false, run);
        // An input whose lock was busy when the run stopped, or whose walk
        // a stop abandoned.
        if (outcome == Outcome::not_reached) --record.next;
        count(outcome);
    }
    run.batch.commit();
    record.batch = nullptr;
    if (run_ends()) name_unedited();
    end_if_stopped();
    return record.stopped ? 1 : record.status | listing.failed();
}

}  // namespace tagpolish

#include "driver/file_loop.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/edited_files.h"
#include "driver/line_source.h"
#include "driver/listing.h"
#include "driver/options.h"
#include "driver/output.h"
#include "driver/rewrite.h"
#include "driver/rewrite_batch.h"
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
    errmsg("%s: the file changed while it was read\n", name);
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

// Whether the file open as fd still has the size and modification time of
// before, when another program may have written it; now receives what
// fstat says of it now.
bool unchanged_since(int fd, const struct stat& before, struct stat& now) {
    return fstat(fd, &now) == 0 && now.st_size == before.st_size &&
           now.st_mtim.tv_sec == before.st_mtim.tv_sec &&
           now.st_mtim.tv_nsec == before.st_mtim.tv_nsec;
}

// Where the run stands, so that a run that stops early (out of memory, or
// a rewrite that failed) can commit what is pending and name what it
// leaves undone.
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

void name_unedited() {
    for (int i = record.next; i < record.end; ++i)
        errmsg("%s: not edited (the run stopped)\n", record.names[i]);
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
    not_reached,  // the run stopped before this input was read
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

// How a rewrite ended, told when its batch commits. It asks for no memory:
// a run that stops for want of it still commits.
void rewrite_ended(const FileRewrite& file, Rewrite result) {
    const Outcome outcome = result == Rewrite::done      ? Outcome::rewritten
                            : result == Rewrite::refused ? Outcome::failed
                                                         : Outcome::stopped;
    if (outcome == Outcome::failed) errmsg("%s: failed to convert\n", file.path());
    count(outcome);
}

// What every input of one run shares.
struct FileRun {
    explicit FileRun(const RewriteSettings& settings) : how(settings), batch(how, rewrite_ended) {}
    RewriteSettings how;
    EditedFiles edited;
    InputBuffer buf;
    RewriteBatch batch;
};

// Under -w, whether the input that fstat described as st is passed over,
// with a note: a backup is never edited, nor a file that this run has
// edited already.
bool pass_over(const struct stat& st, const char* name, const FileRun& run) {
    const char* suffix = run.how.backup_suffix;
    if (suffix != nullptr && is_backup_name(name, suffix)) {
        errmsg("%s: a backup (its name ends in %s); passed over\n", name, suffix);
        return true;
    }
    return run.edited.passed_over(st, name);
}

// Ends the rewrite whose walk went through and whose text changed: it is
// pending in its batch (under a dry run, done). Notes the file, so that a
// later name of it is passed over as a real run would.
Outcome add_rewrite(const char* name, int write_error, const struct stat& old, FileRun& run) {
    switch (run.batch.add(write_error, old)) {
        case Rewrite::done:
            break;
        case Rewrite::refused:
            return Outcome::failed;
        case Rewrite::stopped:
            return Outcome::stopped;
    }
    run.edited.note_replaced(old, name);
    if (run.how.dry_run) return Outcome::rewritten;
    run.edited.note(run.batch.last().made(), name);
    if (run.batch.full()) run.batch.commit();
    return Outcome::pending;
}

// Edits the checked input open as fd (which fstat described as st, and
// which the batch takes over) into a new file, which replaces the file
// when the text changed and the walk went through. A file whose text comes
// out unchanged is left alone, so it keeps its inode and times. Under a
// dry run no new file is made: the text is only compared.
Outcome edit_to_file(const char* name, int fd, const struct stat& st, const InputInfo& info,
                     FileRun& run) {
    FileRewrite& file = run.batch.start(name, fd);
    BlockLines lines(fd, run.buf, info);
    FdSink sink(file.fd(), info.line_end);
    sink.follow(lines);
    sink.compare_with(fd, info);
    std::int64_t error_line = 0;
    int result = edit_html(name, error_line, lines, sink);
    sink.flush();
    result |= check_lines(name, lines);
    // Read twice, the file must have held the same text both times.
    struct stat now = st;
    if (result == 0 && !sink.unchanged() && !info.held && !unchanged_since(fd, st, now))
        result = changed_meanwhile(name);
    if (result != 0 || sink.unchanged()) {
        run.batch.drop();
        if (result == 0) run.edited.note(st, name);
        return result == 0 ? Outcome::unchanged : Outcome::failed;
    }
    return add_rewrite(name, sink.error(), now, run);
}

// Edits the checked input open as fd to standard output; why receives the
// errno of a failed write.
int edit_to_stdout(const char* name, int fd, const InputInfo& info, InputBuffer& buf, int& why) {
    BlockLines lines(fd, buf, info);
    FdSink sink(1, info.line_end);
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
        hooks.pass_over = [&](const struct stat& st) { return pass_over(st, name, run); };
        // Pending rewrites hold their locks: they are made before waiting.
        hooks.before_wait = [&run] {
            run.batch.commit();
            return !record.stopped;
        };
        return open_to_rewrite(name, system_file_ops(), hooks);
    }
    RewriteInput in;
    in.fd = open(name, O_RDONLY | O_CLOEXEC);
    if (in.fd < 0) in.error = errno;
    if (in.fd >= 0 && fstat(in.fd, &in.st) != 0) in.error = errno;
    if (in.fd < 0) in.opened = Opened::missing;
    return in;
}

// Checks, edits and closes the open input fd; why receives the errno of a
// failed write to standard output.
Outcome edit_open(const char* name, const RewriteInput& in, bool is_stdin, int& why, FileRun& run) {
    const bool rewrite = opt_w && !is_stdin;
    const InputInfo info = load_input(in.fd, in.st, run.buf);
    int result = check_input(name, info, rewrite);
    if (result == 0 && rewrite) return edit_to_file(name, in.fd, in.st, info, run);
    if (result == 0 && !rewrite) result = edit_to_stdout(name, in.fd, info, run.buf, why);
    if (is_stdin || rewrite)
        close(in.fd);
    else
        result |= Fclose(in.fd, name);
    return result == 0 && !rewrite ? Outcome::edited : Outcome::failed;
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
    switch (in.opened) {
        case Opened::locked:
            break;
        case Opened::missing:
            errmsg_why(in.error, "%s: not found\n", name);
            return Outcome::failed;
        case Opened::not_regular:
            if (in.error != 0) {
                errmsg_why(in.error, "%s: not found\n", name);
                return Outcome::failed;
            }
            errmsg("%s: not a regular file\n%s: failed to convert\n", name, name);
            return Outcome::failed;
        case Opened::passed_over:
            return Outcome::passed_over;
        case Opened::stopped:
            return Outcome::not_reached;
    }
    int why = 0;
    record.current = name;
    const Outcome outcome = edit_open(name, in, is_stdin, why, run);
    record.current = nullptr;
    if (outcome == Outcome::failed) errmsg_why(why, "%s: failed to convert\n", name);
    return outcome;
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

int run_files(int first, int argc, char** argv) {
    set_memory_stop_hook(memory_stop);
    // A dry run names what it would change, with or without --list.
    Listing listing(1, opt_null ? '\0' : '\n');
    FileRun run({opt_dry_run != 0, backup_suffix, opt_list || opt_dry_run ? &listing : nullptr});
    if (first >= argc) return edit_input("stdin", true, run) == Outcome::failed;
    record = {argv, first, argc, nullptr, {}, 0, false, &run.batch};
    while (record.next < record.end && !record.stopped) {
        const Outcome outcome = edit_input(argv[record.next++], false, run);
        // An input whose lock was busy when a commit stopped the run.
        if (outcome == Outcome::not_reached) --record.next;
        count(outcome);
    }
    run.batch.commit();
    record.batch = nullptr;
    if (record.stopped) name_unedited();
    end_summary();
    return record.stopped ? 1 : record.status | listing.failed();
}

}  // namespace tagpolish

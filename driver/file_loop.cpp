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
// before, when another program may have written it.
bool unchanged_since(int fd, const struct stat& before) {
    struct stat now {};
    return fstat(fd, &now) == 0 && now.st_size == before.st_size &&
           now.st_mtim.tv_sec == before.st_mtim.tv_sec &&
           now.st_mtim.tv_nsec == before.st_mtim.tv_nsec;
}

// Where the run stands, so that a run that stops early (out of memory, or
// a rewrite that failed) can name what it leaves undone.
struct RunRecord {
    char** names = nullptr;         // the file arguments
    int next = 0;                   // the first of them not yet begun
    int end = 0;                    // one past the last
    const char* current = nullptr;  // the input being edited, if any
    Tally tally;                    // how the inputs so far ended
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

// Follows the message of a memory failure, which ends the process.
void memory_stop() {
    if (record.current != nullptr) errmsg("  while editing %s\n", record.current);
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
    failed,
    stopped,
};

// Counts an input under -w for the summary: what was passed over was left
// as it was, so every name given counts once.
void count(Outcome outcome) {
    if (outcome == Outcome::rewritten) ++record.tally.rewritten;
    if (outcome == Outcome::unchanged || outcome == Outcome::passed_over) ++record.tally.unchanged;
    if (outcome == Outcome::failed || outcome == Outcome::stopped) ++record.tally.failed;
}

// What every input of one run shares.
struct FileRun {
    EditedFiles edited;
    RewriteSettings how;
    InputBuffer buf;
};

// Edits the checked input open as fd (which fstat described as st) into a
// new file, which replaces the file when the text changed and the walk went
// through. A file whose text comes out unchanged is left alone, so it keeps
// its inode and times. Under a dry run no new file is made: the text is
// only compared.
Outcome edit_to_file(const char* name, int fd, const struct stat& st, const InputInfo& info,
                     FileRun& run) {
    FileRewrite file(name, fd, run.how);
    file.prepare();
    BlockLines lines(fd, run.buf, info);
    FdSink sink(file.fd(), info.line_end);
    sink.follow(lines);
    sink.compare_with(fd, info);
    int error_line = 0;
    int result = edit_html(name, error_line, lines, sink);
    sink.flush();
    result |= check_lines(name, lines);
    if (result != 0) return Outcome::failed;
    if (sink.unchanged()) return Outcome::unchanged;
    // Read twice, the file must have held the same text both times.
    if (!info.held && !unchanged_since(fd, st)) {
        changed_meanwhile(name);
        return Outcome::failed;
    }
    switch (file.commit(sink.error())) {
        case Rewrite::done:
            return Outcome::rewritten;
        case Rewrite::refused:
            return Outcome::failed;
        case Rewrite::stopped:
            break;
    }
    return Outcome::stopped;
}

// Under -w, whether the input open as fd is passed over, with a note: a
// backup is never edited, nor a file that this run has edited already.
bool pass_over(int fd, const char* name, const FileRun& run) {
    const char* suffix = run.how.backup_suffix;
    if (suffix != nullptr && is_backup_name(name, suffix)) {
        errmsg("%s: a backup (its name ends in %s); passed over\n", name, suffix);
        return true;
    }
    return run.edited.passed_over(fd, name);
}

// Notes a file edited under -w, so that a later name of it is passed over
// as a real run would: under a dry run, the file that would be replaced.
void note_edited(const char* name, Outcome outcome, FileRun& run) {
    if (outcome == Outcome::rewritten && run.how.dry_run)
        run.edited.note_replaced(name);
    else if (outcome == Outcome::rewritten || outcome == Outcome::unchanged)
        run.edited.note(name);
}

// Edits the checked input open as fd to standard output; why receives the
// errno of a failed write.
int edit_to_stdout(const char* name, int fd, const InputInfo& info, InputBuffer& buf, int& why) {
    BlockLines lines(fd, buf, info);
    FdSink sink(1, info.line_end);
    sink.follow(lines);
    int error_line = 0;
    int result = edit_html(name, error_line, lines, sink);
    if (!sink.flush()) result |= -1;
    why = sink.error();
    return result | check_lines(name, lines);
}

// Opens a named input, or reports why not; -1 when it counts as failed
// and -2 when it is missing. Under -w only a regular file is taken, and it
// is locked until it is closed.
int open_input(const char* name, bool rewrite) {
    RewriteInput in{-1, 0};
    if (rewrite) {
        in = open_to_rewrite(name);
    } else {
        in.fd = open(name, O_RDONLY | O_CLOEXEC);
        in.error = errno;
    }
    if (in.fd >= 0) return in.fd;
    if (in.error != 0) {
        errmsg_why(in.error, "%s: not found\n", name);
        return -2;
    }
    errmsg("%s: not a regular file\n", name);
    return -1;
}

// Checks, edits and closes the open input fd; why receives the errno of a
// failed write to standard output.
Outcome edit_open(const char* name, int fd, bool is_stdin, int& why, FileRun& run) {
    const bool rewrite = opt_w && !is_stdin;
    if (rewrite && pass_over(fd, name, run)) {
        close(fd);
        return Outcome::passed_over;
    }
    struct stat st {};
    fstat(fd, &st);
    const InputInfo info = load_input(fd, st, run.buf);
    int result = check_input(name, info, rewrite);
    Outcome outcome = Outcome::failed;
    if (result == 0 && rewrite) outcome = edit_to_file(name, fd, st, info, run);
    if (result == 0 && !rewrite) result = edit_to_stdout(name, fd, info, run.buf, why);
    note_edited(name, outcome, run);
    if (is_stdin || rewrite)
        close(fd);
    else
        result |= Fclose(fd, name);
    if (!rewrite) outcome = result == 0 ? Outcome::edited : Outcome::failed;
    return outcome;
}

// Opens, edits and closes one input, and reports it when it failed.
Outcome edit_input(const char* name, bool is_stdin, FileRun& run) {
    const int fd = is_stdin ? 0 : open_input(name, opt_w);
    if (fd == -2) return Outcome::failed;
    int why = 0;
    record.current = name;
    const Outcome outcome = fd < 0 ? Outcome::failed : edit_open(name, fd, is_stdin, why, run);
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
    FileRun run;
    run.how = {opt_dry_run != 0, backup_suffix, opt_list || opt_dry_run ? &listing : nullptr};
    if (first >= argc) return edit_input("stdin", true, run) == Outcome::failed;
    record = {argv, first, argc, nullptr, {}};
    int status = 0;
    while (record.next < record.end) {
        Outcome outcome = edit_input(argv[record.next++], false, run);
        count(outcome);
        if (outcome == Outcome::stopped) {
            name_unedited();
            end_summary();
            return 1;
        }
        status |= outcome == Outcome::failed;
    }
    end_summary();
    return status | listing.failed();
}

}  // namespace tagpolish

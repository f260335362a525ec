#include "driver/file_loop.h"

#include <cerrno>
#include <optional>

#include "driver/command_line/options.h"
#include "driver/in_place.h"
#include "driver/input/input_edit.h"
#include "driver/input/line_source.h"
#include "lib/diag.h"
#include "lib/mem.h"
#include "platform/free_space.h"
#include "platform/run_stop.h"

namespace tagpolish {
namespace {

constexpr MsgFormat<const char*> msg_not_edited = "%s: not edited (the run stopped)\n";

// What became of an input to standard output.
enum class Fate {
    edited,       // written to standard output
    passed_over,  // already UTF-8, under --to-utf8
    failed,       // reported; the run goes on
    not_reached,  // the run stopped before its reading, or during its walk
};

// A run to standard output: the inputs one after another, on this thread.
struct StdoutRun {
    explicit StdoutRun(FileOps& ops) : ops(ops) {}

    FileOps& ops;                              // what the inputs are opened and read through
    WalkOptions edits = walk_options_given();  // what the walk of each does
    std::optional<Utf8Settings> to_utf8;       // how the text is converted, if it is
    char** names = nullptr;                    // the file arguments
    int next = 0;                              // the first of them not yet begun
    int end = 0;                               // one past the last
    const char* current = nullptr;             // the input being edited, if any
    InputBuffer buf;
    EditCounts counts{};

    void name_unedited() const {
        for (int i = next; i < end; ++i) errmsg(msg_not_edited, static_cast<const char*>(names[i]));
    }
};

// Follows the message of a memory failure, which ends the process: what
// was being edited, and what is left undone.
void memory_stop(void* run) {
    const StdoutRun& r = *static_cast<const StdoutRun*>(run);
    if (r.current != nullptr) errmsg("  while editing %s\n", r.current);
    r.name_unedited();
}

// How an input to standard output ended.
Fate edit_open(const char* name, int fd, bool is_stdin, StdoutRun& run) {
    FileStat st{};
    run.ops.fstat(fd, &st);
    int why = 0;
    const InputInfo info = load_input(run.ops, fd, st, run.buf);
    const bool cut_short = info.read_error && stop_requested();
    if (!cut_short && passes_over_utf8(name, info, run.to_utf8)) {
        run.ops.close(fd);
        return Fate::passed_over;
    }
    int result = cut_short ? -1 : check_input(name, info, false);
    if (result == 0)
        result = edit_to_stdout({run.edits, run.to_utf8}, name, fd, info, run.buf, why, run.counts,
                                run.ops);
    // The free space is looked at only for an input that went through, so
    // that its message never follows another failure.
    if (is_stdin || result != 0)
        run.ops.close(fd);
    else
        result |= Fclose(fd, name, run.ops);
    if (cut_short || (why == ECANCELED && stop_requested())) return Fate::not_reached;
    // Nobody reads the text any more: the run ends as a broken pipe ends it.
    if (why == EPIPE) end_by_signal(broken_pipe_stop);
    if (result == 0) return Fate::edited;
    errmsg_why(why, "%s: failed to convert\n", name);
    return Fate::failed;
}

// Opens, edits and closes one input, and reports it when it failed.
Fate edit_input(const char* name, bool is_stdin, StdoutRun& run) {
    const int fd = is_stdin ? 0 : run.ops.openat(AT_FDCWD, name, O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) {
        say_unopened(name, errno);
        return Fate::failed;
    }
    run.current = name;
    const Fate fate = edit_open(name, fd, is_stdin, run);
    run.current = nullptr;
    return fate;
}

// Edits the inputs to standard output, one after another; a stop leaves
// the rest undone.
int run_to_stdout(int first, int argc, char** argv, FileOps& ops) {
    StdoutRun run(ops);
    if (opt_to_utf8) run.to_utf8 = Utf8Settings{.replace = opt_to_utf8 == 2};
    run.names = argv;
    run.next = first;
    run.end = argc;
    set_memory_stop_hook(memory_stop, &run);
    int status = 0;
    if (first >= argc) {
        const Fate fate = edit_input("stdin", true, run);
        if (fate == Fate::not_reached) errmsg(msg_not_edited, "stdin");
        if (fate == Fate::failed) status = 1;
    }
    while (run.next < run.end && !stop_requested()) {
        const Fate fate = edit_input(argv[run.next++], false, run);
        if (fate == Fate::not_reached) --run.next;
        if (fate == Fate::failed) status = 1;
    }
    if (stop_requested()) run.name_unedited();
    set_memory_stop_hook(nullptr, nullptr);
    if (const int sig = stop_signal()) end_by_signal(sig);
    return status;
}

}  // namespace

int Fclose(int fd, const char* name, FileOps& ops) {
    int closed = ops.close(fd);
    if (closed != 0) return closed;
    if (getFreeSpace(name) > 0) return 0;
    if (name[0] && name[1] == ':')
        errmsg("%c drive: no free disk space\n", name[0]);
    else
        errmsg("no free disk space\n");
    return -1;
}

int run_files(int first, int argc, char** argv, FileOps& ops) {
    const bool acts_on_names = opt_r || restore_suffix != nullptr || remove_suffix != nullptr;
    if (first >= argc && acts_on_names) {
        errmsg("%s: name the folders or pages to act on\n", opt_r ? "-r"
                                                            : restore_suffix != nullptr
                                                                ? "--restore"
                                                                : "--remove-backups");
        return 1;
    }
    if (!opt_w || first >= argc) return run_to_stdout(first, argc, argv, ops);
    return run_in_place(first, argc, argv, ops);
}

}  // namespace tagpolish

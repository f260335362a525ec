// Stopping a run: on a hang-up, an interrupt, a quit or a termination
// signal (on Windows: Ctrl-C, Ctrl-Break, or the console closed, the user
// logging off, the system shutting down), or when the names of --list can
// no longer be written. One thread
// of its own receives the signals; every other thread blocks them and
// looks at whether a stop was asked for only between steps that must not
// be cut short, so that a page is never left half replaced and every page
// that was replaced is listed.
#pragma once

#include <csignal>

namespace tagpolish {

// The stop that a reader gone asks for (request_stop, end_by_signal):
// SIGPIPE, or on a system without it (Windows) the number POSIX gives it,
// which end_by_signal there turns into a plain failure status.
#ifdef SIGPIPE
inline constexpr int broken_pipe_stop = SIGPIPE;
#else
inline constexpr int broken_pipe_stop = 13;
#endif

// Blocks the stop signals in this thread and in every thread it starts
// later, ignores SIGPIPE (a failed write says so instead), and starts the
// thread that receives the signals; this thread is a worker (see
// StopWorker). Called once, before any other thread is started. Where no
// thread can be started, the signals keep their default action.
void start_stop_watch();

// The signal that stopped the run, or 0 while it goes on. On Windows the
// console's events count as SIGINT (Ctrl-C), SIGBREAK (Ctrl-Break) and
// SIGTERM (the console closed, a logoff, a shutdown).
int stop_signal();
inline bool stop_requested() {
    return stop_signal() != 0;
}

// Stops the run as the signal sig would (a list that nobody reads any
// more: broken_pipe_stop). The first stop counts.
void request_stop(int sig);

// Ends the process by the signal sig, as its default action would, so
// that the shell sees 128 + sig. On Windows: the status the system gives
// a process that a console event ends (STATUS_CONTROL_C_EXIT) for the
// console's stops, 1 for broken_pipe_stop.
[[noreturn]] void end_by_signal(int sig);

// A thread that edits pages, while one lives (start_stop_watch makes the
// thread that calls it one): after a stop, and while it waits
// (WakeWhileWaiting), the thread is woken every tenth of a second, so that
// a blocking call of its own fails with EINTR and it can look again (on
// Windows its synchronous I/O is cancelled, and fails with
// ERROR_OPERATION_ABORTED).
class StopWorker {
  public:
    StopWorker();
    ~StopWorker();
    StopWorker(const StopWorker&) = delete;
    StopWorker& operator=(const StopWorker&) = delete;

  private:
    int slot_;
};

// While one lives, the worker thread that made it is woken every tenth of
// a second, so that a wait that may last (for another program's lock) can
// look at the clock and at a stop.
class WakeWhileWaiting {
  public:
    WakeWhileWaiting();
    ~WakeWhileWaiting();
    WakeWhileWaiting(const WakeWhileWaiting&) = delete;
    WakeWhileWaiting& operator=(const WakeWhileWaiting&) = delete;
};

// While one lives, a second stop signal, which ends the process at once,
// waits for it: it covers the short step that puts a page in place (the
// last check, the backup and the rename), which is never cut in two.
class StopHold {
  public:
    StopHold();
    ~StopHold();
    StopHold(const StopHold&) = delete;
    StopHold& operator=(const StopHold&) = delete;
};

}  // namespace tagpolish

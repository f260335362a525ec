#include "platform/run_stop.h"

#include <windows.h>

#include <atomic>
#include <csignal>

#include "lib/options.h"

namespace tagpolish {
namespace {

constexpr DWORD tick_ms = 100;
// Every worker --jobs can start, and the thread that started them.
constexpr int max_workers = max_jobs + 1;

// What a process ended by a console event reports: the status the
// console's own default handler ends it with.
constexpr UINT console_stop_status = 0xC000013A;  // STATUS_CONTROL_C_EXIT

struct Worker {
    std::atomic<bool> used{false};
    std::atomic<bool> waiting{false};
    HANDLE thread = nullptr;  // a handle of its own, which the slot closes
};

Worker workers[max_workers];
// Guards the workers' thread handles: one is never used while it closes.
// A lock with nothing to destroy, so that the watcher may hold it while
// the process ends.
SRWLOCK handles = SRWLOCK_INIT;

class HandlesLock {
  public:
    HandlesLock() { AcquireSRWLockExclusive(&handles); }
    ~HandlesLock() { ReleaseSRWLockExclusive(&handles); }
    HandlesLock(const HandlesLock&) = delete;
    HandlesLock& operator=(const HandlesLock&) = delete;
};
thread_local int my_slot = -1;
std::atomic<int> stopped_by{0};
std::atomic<int> holds{0};
std::atomic<bool> watching{false};
// Set to wake the watcher: a stop, or a worker that starts to wait.
HANDLE wake_event = nullptr;

bool anyone_waits() {
    for (const Worker& w : workers)
        if (w.used.load() && w.waiting.load()) return true;
    return false;
}

// Cuts short the synchronous I/O of the workers that wait, or after a stop
// of every worker: a blocked read, write or lock fails with
// ERROR_OPERATION_ABORTED, and the worker looks again.
void wake_workers() {
    const bool all = stopped_by.load() != 0;
    const HandlesLock lock;
    for (Worker& w : workers)
        if (w.used.load() && w.thread != nullptr && (all || w.waiting.load()))
            CancelSynchronousIo(w.thread);
}

// A second stop ends the process at once, but never in the middle of a
// page being put in place, which takes a moment.
[[noreturn]] void end_now(int sig) {
    while (holds.load() > 0) Sleep(1);
    end_by_signal(sig);
}

// The thread that wakes the workers: it sleeps until it is woken, and
// ticks while a worker waits or after a stop.
DWORD WINAPI watch(void*) {
    for (;;) {
        const bool ticking = stopped_by.load() != 0 || anyone_waits();
        WaitForSingleObject(wake_event, ticking ? tick_ms : INFINITE);
        wake_workers();
    }
}

void stop_by(int sig) {
    int none = 0;
    if (!stopped_by.compare_exchange_strong(none, sig)) end_now(sig);
    if (wake_event != nullptr) SetEvent(wake_event);
}

// The system runs this in a thread of its own for each console event.
BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
            stop_by(SIGINT);
            return TRUE;
        case CTRL_BREAK_EVENT:
            stop_by(SIGBREAK);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The system ends the process as soon as this returns (or its
            // time is up): the run is given that time to stop as it would
            // on a SIGTERM, and ends the process itself.
            stop_by(SIGTERM);
            for (;;) Sleep(INFINITE);
        default:
            return FALSE;
    }
}

int take_slot() {
    for (int i = 0; i < max_workers; ++i) {
        bool free = false;
        if (workers[i].used.load() || !workers[i].used.compare_exchange_strong(free, true))
            continue;
        HANDLE self = nullptr;
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0,
                        FALSE, DUPLICATE_SAME_ACCESS);
        const HandlesLock lock;
        workers[i].thread = self;
        return i;
    }
    return -1;
}

void give_slot(int slot) {
    if (slot < 0) return;
    {
        const HandlesLock lock;
        if (workers[slot].thread != nullptr) CloseHandle(workers[slot].thread);
        workers[slot].thread = nullptr;
    }
    workers[slot].used.store(false);
}

}  // namespace

void start_stop_watch() {
    wake_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (wake_event == nullptr) return;
    HANDLE watcher = CreateThread(nullptr, 0, watch, nullptr, 0, nullptr);
    if (watcher == nullptr) return;  // the console's events keep their default action
    CloseHandle(watcher);
    watching.store(true);
    my_slot = take_slot();
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

int stop_signal() {
    return stopped_by.load(std::memory_order_relaxed);
}

void request_stop(int sig) {
    int none = 0;
    stopped_by.compare_exchange_strong(none, sig);
    if (watching.load()) SetEvent(wake_event);
}

// Ends the process as the console's default handler would, without the
// exit handlers of a normal end (as a signal's default action on POSIX).
// A reader gone is a plain failure: Windows has no signal for it, and a
// status above 255 or a made-up signal number would tell a script only
// that the run failed, which 1 says as well.
void end_by_signal(int sig) {
    UINT status = 128 + static_cast<UINT>(sig);  // none of the program's stops
    if (sig == SIGINT || sig == SIGBREAK || sig == SIGTERM)
        status = console_stop_status;
    else if (sig == broken_pipe_stop)
        status = 1;
    TerminateProcess(GetCurrentProcess(), status);
    ExitProcess(status);  // not reached: TerminateProcess ends the caller as well
}

StopWorker::StopWorker() : slot_(take_slot()) {
    my_slot = slot_;
}

StopWorker::~StopWorker() {
    my_slot = -1;
    give_slot(slot_);
}

WakeWhileWaiting::WakeWhileWaiting() {
    if (my_slot < 0) return;
    workers[my_slot].waiting.store(true);
    if (watching.load()) SetEvent(wake_event);
}

WakeWhileWaiting::~WakeWhileWaiting() {
    if (my_slot >= 0) workers[my_slot].waiting.store(false);
}

StopHold::StopHold() {
    holds.fetch_add(1);
}

StopHold::~StopHold() {
    holds.fetch_sub(1);
}

}  // namespace tagpolish

#include "platform/run_stop.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "lib/options.h"

namespace tagpolish {
namespace {

// Ignored by default, so that one sent from outside does no harm; its
// handler does nothing but cut a blocking call short.
constexpr int wake_signal = SIGURG;
constexpr long tick_ns = 100'000'000;
// Every worker --jobs can start, and the thread that started them.
constexpr int max_workers = max_jobs + 1;

struct Worker {
    std::atomic<bool> used{false};
    std::atomic<bool> waiting{false};
    pthread_t thread{};
};

Worker workers[max_workers];
thread_local int my_slot = -1;
std::atomic<int> stopped_by{0};
std::atomic<int> holds{0};
std::atomic<bool> watching{false};
pthread_t watcher{};

sigset_t stop_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) sigaddset(&set, s);
    return set;
}

void on_wake(int) {}

bool anyone_waits() {
    for (const Worker& w : workers)
        if (w.used.load() && w.waiting.load()) return true;
    return false;
}

// Wakes the workers that wait, or after a stop every worker.
void wake_workers() {
    const bool all = stopped_by.load() != 0;
    for (Worker& w : workers)
        if (w.used.load() && (all || w.waiting.load())) pthread_kill(w.thread, wake_signal);
}

// A second signal ends the process at once, but never in the middle of a
// page being put in place, which takes a moment.
[[noreturn]] void end_now(int sig) {
    const timespec pause{0, 1'000'000};
    while (holds.load() > 0) nanosleep(&pause, nullptr);
    end_by_signal(sig);
}

// The thread that receives the stop signals (and the wake signal that a
// worker sends it when it starts to wait). It sleeps until one comes, and
// ticks while a worker waits or after a stop.
void* watch(void*) {
    sigset_t set = stop_set();
    sigaddset(&set, wake_signal);
    const timespec tick{0, tick_ns};
    for (;;) {
        const bool ticking = stopped_by.load() != 0 || anyone_waits();
        const int sig = ticking ? sigtimedwait(&set, nullptr, &tick) : sigwaitinfo(&set, nullptr);
        if (sig > 0 && sig != wake_signal) {
            int none = 0;
            if (!stopped_by.compare_exchange_strong(none, sig)) end_now(sig);
        }
        wake_workers();
    }
}

int take_slot() {
    for (int i = 0; i < max_workers; ++i) {
        bool free = false;
        if (workers[i].used.load() || !workers[i].used.compare_exchange_strong(free, true))
            continue;
        workers[i].thread = pthread_self();
        return i;
    }
    return -1;
}

}  // namespace

void start_stop_watch() {
    signal(SIGPIPE, SIG_IGN);
    struct sigaction wake {};
    wake.sa_handler = on_wake;  // no SA_RESTART: a blocking call returns EINTR
    sigemptyset(&wake.sa_mask);
    sigaction(wake_signal, &wake, nullptr);
    // The watcher starts with every signal it takes blocked; this thread
    // then blocks the stop signals alone, and takes the wake signal.
    const sigset_t stops = stop_set();
    sigset_t taken = stops, before;
    sigaddset(&taken, wake_signal);
    pthread_sigmask(SIG_BLOCK, &taken, &before);
    const bool started = pthread_create(&watcher, nullptr, watch, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (!started) return;
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    watching.store(true);
    my_slot = take_slot();
}

int stop_signal() {
    return stopped_by.load(std::memory_order_relaxed);
}

void request_stop(int sig) {
    int none = 0;
    stopped_by.compare_exchange_strong(none, sig);
    if (watching.load()) pthread_kill(watcher, wake_signal);
}

void end_by_signal(int sig) {
    signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig);
    _exit(128 + sig);  // a signal whose default action does not end the process
}

StopWorker::StopWorker() : slot_(take_slot()) {
    my_slot = slot_;
}

StopWorker::~StopWorker() {
    my_slot = -1;
    if (slot_ >= 0) workers[slot_].used.store(false);
}

WakeWhileWaiting::WakeWhileWaiting() {
    if (my_slot < 0) return;
    workers[my_slot].waiting.store(true);
    if (watching.load()) pthread_kill(watcher, wake_signal);
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

#include "driver/site/workers.h"

#include <system_error>

#include "lib/diag.h"
#include "platform/run_stop.h"

namespace tagpolish {
namespace {

thread_local Page* editing = nullptr;
thread_local Workers* serving = nullptr;

}  // namespace

Workers::Workers(int count, std::size_t most_given, std::function<Work()> make_work)
    : make_work_(std::move(make_work)), queue_(std::max<std::size_t>(1, most_given)) {
    // Where the system starts fewer threads (a limit on threads or
    // memory), fewer workers serve; where it starts none, this thread does.
    for (int i = 0; i < count && count > 1; ++i) {
        try {
            threads_.emplace_back([this] { serve(); });
        } catch (const std::system_error&) {
            break;
        }
    }
    if (threads_.empty()) here_ = make_work_();
}

Workers::~Workers() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    given_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void Workers::give(Page& page) {
    if (here_) {
        page.stage = Stage::running;
        edit(here_, page);
        page.stage = Stage::done;
        return;
    }
    {
        std::lock_guard lock(mutex_);
        page.stage = Stage::queued;
        queue_[(first_ + count_++) % queue_.size()] = &page;
    }
    given_.notify_one();
}

bool Workers::wait_for(const Page& page, std::chrono::milliseconds most) {
    std::unique_lock lock(mutex_);
    return finished_.wait_for(lock, most, [&] { return page.stage == Stage::done; });
}

void Workers::take_back() {
    std::unique_lock lock(mutex_);
    for (; count_ > 0; --count_, first_ = (first_ + 1) % queue_.size())
        queue_[first_]->stage = Stage::found;
    finished_.wait(lock, [this] { return running_ == 0; });
}

Page* Workers::current() {
    return editing;
}

bool Workers::in_worker() {
    return serving != nullptr;
}

void Workers::edit(const Work& work, Page& page) {
    editing = &page;
    {
        const MsgTo to(&page);
        work(page);
    }
    editing = nullptr;
}

void Workers::park() {
    Workers& w = *serving;
    {
        std::lock_guard lock(w.mutex_);
        editing->stage = Stage::done;
        --w.running_;
    }
    w.finished_.notify_all();
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

// A worker is woken in its waits after a stop (StopWorker), and its
// messages go to the page it edits.
void Workers::serve() {
    const StopWorker woken;
    serving = this;
    const Work work = make_work_();
    std::unique_lock lock(mutex_);
    for (;;) {
        given_.wait(lock, [this] { return closing_ || count_ > 0; });
        if (count_ == 0) return;
        Page& page = *queue_[first_];
        first_ = (first_ + 1) % queue_.size();
        --count_;
        page.stage = Stage::running;
        ++running_;
        lock.unlock();
        edit(work, page);
        lock.lock();
        page.stage = Stage::done;
        --running_;
        finished_.notify_all();
    }
}

}  // namespace tagpolish

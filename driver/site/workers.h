// The threads that edit the pages of a run under -w, side by side, while
// the thread that started the run takes each page back in its turn.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/site/page.h"

namespace tagpolish {

class Workers {
  public:
    // What a worker does to a page given it.
    using Work = std::function<void(Page&)>;
    // Starts count threads; each makes its work with make_work, then does
    // it for one page given it at a time, with the page as the destination
    // of its messages. At most most_given pages wait for them at once.
    // With a count of 1 or less no thread is started: the thread that
    // gives a page does its work at once, as one worker would.
    Workers(int count, std::size_t most_given, std::function<Work()> make_work);
    // Waits for the pages given, then ends the threads.
    ~Workers();
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    // Gives the page to the next free worker. Asks for no memory.
    void give(Page& page);
    // Waits until the page is done, or at most for the time given; true
    // when it is done.
    bool wait_for(const Page& page, std::chrono::milliseconds most);
    // Takes back the pages given that no worker has begun (their stage is
    // found again), then waits until no worker edits a page.
    void take_back();
    // The page that the calling thread edits as a worker, or null.
    static Page* current();
    // Whether the calling thread is a worker's own.
    static bool in_worker();
    // Ends the calling worker's page as done and stops the worker for
    // good, for a failure that the run's own thread is to end the process
    // for (memory has run out).
    [[noreturn]] static void park();

  private:
    void serve();
    void edit(const Work& work, Page& page);

    std::function<Work()> make_work_;
    Work here_;  // the work done at once, without threads
    std::mutex mutex_;
    std::condition_variable given_, finished_;
    std::vector<Page*> queue_;  // a ring of most_given places
    std::size_t first_ = 0, count_ = 0;
    int running_ = 0;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tagpolish

// A run of the executable under ptrace, held when it enters a chosen
// system call, so that a test can act at that very moment (kill it, or
// start another run) and then let it go on.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace tagpolish::test {

class TracedRun {
  public:
    // Starts the executable in dir with args, held before it runs; standard
    // input is empty, standard output and error go to files.
    TracedRun(const std::string& dir, const std::vector<std::string>& args);
    ~TracedRun();
    TracedRun(const TracedRun&) = delete;
    TracedRun& operator=(const TracedRun&) = delete;

    // Whether the child could be traced; some sandboxes forbid ptrace.
    bool traced() const { return traced_; }
    pid_t pid() const { return pid_; }
    // Lets the child run until it enters system call nr for the count-th
    // time, and holds it there. False when it ended first.
    bool hold_at(long nr, int count = 1);
    // Lets the child run on, no longer traced.
    void release();
    // Ends the child with SIGKILL where it stands.
    void kill();
    // What the child has written to standard output, and to standard
    // error, so far.
    std::string out_so_far() const;
    std::string err_so_far() const;
    // Releases the child if needed and waits for it to end.
    RunResult wait();

  private:
    TempDir io_;
    pid_t pid_ = -1;
    bool traced_ = false;
    bool ended_ = false;
    int status_ = 0;
};

}  // namespace tagpolish::test

// Stopping a run: a stop signal, or a list that nobody reads any more,
// ends it between pages, with every page of its batch put in place and
// listed, and every page it did not edit named.
#include "platform/run_stop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "lib/options.h"
#include "support/test_support.h"
#include "support/traced_run.h"

namespace tagpolish::test {
namespace {

const std::string kana = "<p>\xB1</p>\n",
                  full = "<p>\x83\x41</p>\n";  // half-width and full-width a

// Waits until the signals sent to pid have been taken (its thread for them
// runs on its own, while the test holds the rest of it), and a moment more
// for it to note the stop.
void wait_until_taken(pid_t pid) {
    for (int i = 0; i < 500; ++i) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line) && !line.starts_with("ShdPnd:")) {
        }
        if (line.find_first_not_of("0", line.find_first_not_of("ShdPnd:\t ")) == std::string::npos)
            break;
        usleep(2000);
    }
    usleep(20000);
}

std::string not_edited(const std::vector<std::string>& names) {
    std::string lines;
    for (const std::string& name : names) lines += name + ": not edited (the run stopped)\n";
    return lines;
}

// Each stop signal, while the third page is opened (two wait in the batch)
// and while the batch of all four is renamed: the batch is put in place,
// each page with its backup and its line in the list, the page that was
// being walked is left, and the run ends by the signal.
TEST(RunStop, SignalPutsTheBatchInPlaceNamesTheRestAndEndsByIt) {
    const rlimit no_core{0, RLIM_INFINITY};
    rlimit before{};
    getrlimit(RLIMIT_CORE, &before);
    setrlimit(RLIMIT_CORE, &no_core);  // SIGQUIT would leave a core in the folder
    const std::vector<std::string> names{"a.htm", "b.htm", "c.htm", "d.htm"};
    const struct {
        const char* name;
        long call;
        int count;
        std::size_t done;  // pages put in place
    } moments[] = {
        {"while the third page is opened", SYS_flock, 3, 2},
        {"while the batch is renamed", SYS_renameat, 1, 4},
    };
    for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) {
        for (const auto& m : moments) {
            SCOPED_TRACE(std::string(strsignal(sig)) + " " + m.name);
            TempDir dir;
            for (const std::string& name : names) dir.write(name, kana);
            std::vector<std::string> args{"-wk", "--backup", "--list"};
            args.insert(args.end(), names.begin(), names.end());
            TracedRun run(dir.path(), args);
            if (!run.traced()) GTEST_SKIP() << "ptrace is not allowed here";
            ASSERT_TRUE(run.hold_at(m.call, m.count));
            kill(run.pid(), sig);
            wait_until_taken(run.pid());
            const RunResult r = run.wait();

            const std::vector<std::string> done(names.begin(), names.begin() + m.done);
            const std::vector<std::string> left(names.begin() + m.done, names.end());
            std::string listed;
            for (const std::string& name : done) listed += name + "\n";
            EXPECT_EQ(128 + sig, r.status);
            EXPECT_EQ(listed, r.out);
            EXPECT_EQ(not_edited(left) + std::to_string(m.done) +
                          " files rewritten, 0 unchanged, 0 failed\n0 passed over, T seconds\n",
                      timeless(r.err));
            std::vector<std::string> entries = names;
            for (const std::string& name : done) {
                EXPECT_EQ(full, read_file(dir.path() + "/" + name)) << name;
                EXPECT_EQ(kana, read_file(dir.path() + "/" + name + ".orig")) << name;
                entries.push_back(name + ".orig");
            }
            for (const std::string& name : left)
                EXPECT_EQ(kana, read_file(dir.path() + "/" + name));
            std::sort(entries.begin(), entries.end());
            EXPECT_EQ(entries, dir.entries());
        }
    }
    setrlimit(RLIMIT_CORE, &before);
}

// A reader gone (tagpolish ... | head -1): under -w the batch whose first
// name could not be written is still put in place, every page after it is
// named, and the run ends as a broken pipe ends it; without -w it ends so
// at once, as any filter does.
TEST(RunStop, ReaderGoneEndsTheRunAsABrokenPipe) {
    TempDir dir;
    std::vector<std::string> names;
    for (int i = 0; i < 70; ++i)
        names.push_back(dir.write("p" + std::to_string(100 + i) + ".htm", kana));
    std::vector<std::string> listed{"-wk", "--backup", "--list"}, text{"-k"};
    listed.insert(listed.end(), names.begin(), names.end());
    text.insert(text.end(), names.begin(), names.end());
    ChildSetup broken;
    broken.broken_stdout = true;

    const RunResult r = run_tool_in(dir.path(), listed, broken);
    const RunResult t = run_tool_in(dir.path(), text, broken);

    EXPECT_EQ(128 + SIGPIPE, r.status);
    // The batch is put in place when it is full (64 pages) or when its
    // first page has waited a second, as on a slow machine.
    const std::string err = timeless(r.err);
    const std::size_t summary = err.rfind('\n', err.rfind(" files rewritten")) + 1;
    const std::size_t placed = std::stoul(err.substr(summary));
    ASSERT_GE(64u, placed);
    ASSERT_LE(1u, placed);
    const auto first_left = names.begin() + static_cast<long>(placed);
    EXPECT_EQ("standard output: cannot write\n  Broken pipe\n" +
                  not_edited({first_left, names.end()}) + std::to_string(placed) +
                  " files rewritten, 0 unchanged, 0 failed\n0 passed over, T seconds\n",
              err);
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(i < placed ? full : kana, read_file(names[i])) << names[i];
    EXPECT_EQ(70u + placed, dir.entries().size()) << "each page put in place has its backup";
    EXPECT_EQ(128 + SIGPIPE, t.status);
    EXPECT_EQ("", t.err);
}

// A run that waits for another program's lock says so after a second, and
// a stop ends the wait: the page before it is in place, the page it waited
// for is named as not edited.
TEST(RunStop, WaitForAnotherProgramsLockIsSaidAndEndsOnAStop) {
    TempDir dir;
    dir.write("a.htm", kana);
    const std::string c = dir.write("c.htm", kana);
    const int holder = open(c.c_str(), O_RDONLY);
    ASSERT_EQ(0, flock(holder, LOCK_EX));
    TracedRun run(dir.path(), {"-wk", "--list", "a.htm", "c.htm"});
    if (!run.traced()) GTEST_SKIP() << "ptrace is not allowed here";
    run.release();
    const std::string waiting = "c.htm: waiting for another program's lock\n";
    std::string said;
    for (int i = 0; i < 500 && said.empty(); ++i) {
        usleep(10000);
        if (run.err_so_far() == waiting) said = waiting;
    }
    kill(run.pid(), SIGTERM);
    const RunResult r = run.wait();
    close(holder);

    EXPECT_EQ(waiting, said) << "nothing said within five seconds";
    EXPECT_EQ(128 + SIGTERM, r.status);
    EXPECT_EQ("a.htm\n", r.out);
    EXPECT_EQ(waiting + not_edited({"c.htm"}) +
                  "1 files rewritten, 0 unchanged, 0 failed\n0 passed over, T seconds\n",
              timeless(r.err));
    EXPECT_EQ(full, read_file(dir.path() + "/a.htm"));
    EXPECT_EQ(kana, read_file(c));
}

// In a process of its own (the watch takes the process's signals): the
// most workers --jobs starts, each in a blocking call that only a wake-up
// ends, and a stop. Ends with 0 once every worker has seen the stop.
[[noreturn]] void stop_every_waiting_worker() {
    start_stop_watch();
    int never[2];
    if (pipe(never) != 0) _exit(2);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < max_jobs; ++i) {
        threads.emplace_back([&] {
            const StopWorker worker;
            const WakeWhileWaiting woken;
            ready.fetch_add(1);
            char byte;
            while (!stop_requested()) (void)!read(never[0], &byte, 1);
        });
    }
    while (ready.load() < max_jobs) usleep(1000);
    request_stop(SIGTERM);
    for (std::thread& t : threads) t.join();
    _exit(0);
}

// Every worker is woken by a stop, however many --jobs starts.
TEST(RunStop, StopWakesEveryWorkerAtTheMostJobs) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) stop_every_waiting_worker();
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 1000 && (ended = waitpid(pid, &status, WNOHANG)) == 0; ++i) usleep(10000);
    if (ended == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    EXPECT_NE(0, ended) << "some workers slept on after the stop";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace tagpolish::test

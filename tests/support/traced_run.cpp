#include "support/traced_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tagpolish::test {

TracedRun::TracedRun(const std::string& dir, const std::vector<std::string>& args) {
    std::string exe = TAGPOLISH_EXE;
    std::vector<std::string> copy = args;
    std::vector<char*> argv{exe.data()};
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = io_.path() + "/out", err = io_.path() + "/err";

    pid_ = fork();
    if (pid_ == 0) {
        int i = open("/dev/null", O_RDONLY);
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (i < 0 || o < 0 || e < 0 || chdir(dir.c_str()) != 0) _exit(126);
        dup2(i, 0);
        dup2(o, 1);
        dup2(e, 2);
        // A signal that the test's own parent ignores (a shell's background
        // job) is not ignored by the run.
        for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) signal(s, SIG_DFL);
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(125);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    // A traced child stops at its exec.
    waitpid(pid_, &status_, 0);
    traced_ = WIFSTOPPED(status_);
    ended_ = !traced_;
    if (traced_)
        ptrace(PTRACE_SETOPTIONS, pid_, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
}

TracedRun::~TracedRun() {
    if (!ended_) kill();
}

bool TracedRun::hold_at(long nr, int count) {
    int seen = 0, pass_on = 0;
    while (traced_ && !ended_) {
        if (ptrace(PTRACE_SYSCALL, pid_, nullptr, pass_on) != 0) return false;
        pass_on = 0;
        if (waitpid(pid_, &status_, 0) < 0) return false;
        if (!WIFSTOPPED(status_)) {
            ended_ = true;
            return false;
        }
        if (WSTOPSIG(status_) != (SIGTRAP | 0x80)) {
            pass_on = WSTOPSIG(status_);  // a signal of its own
            continue;
        }
        __ptrace_syscall_info info{};
        ptrace(PTRACE_GET_SYSCALL_INFO, pid_, sizeof info, &info);
        if (info.op == PTRACE_SYSCALL_INFO_ENTRY && static_cast<long>(info.entry.nr) == nr &&
            ++seen == count)
            return true;
    }
    return false;
}

void TracedRun::release() {
    if (traced_ && !ended_) ptrace(PTRACE_DETACH, pid_, nullptr, 0);
    traced_ = false;
}

void TracedRun::kill() {
    if (ended_) return;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
    ended_ = true;
}

std::string TracedRun::out_so_far() const {
    return read_file(io_.path() + "/out");
}

std::string TracedRun::err_so_far() const {
    return read_file(io_.path() + "/err");
}

RunResult TracedRun::wait() {
    release();
    if (!ended_) waitpid(pid_, &status_, 0);
    ended_ = true;
    RunResult r;
    r.status = WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
    r.out = read_file(io_.path() + "/out");
    r.err = read_file(io_.path() + "/err");
    return r;
}

}  // namespace tagpolish::test

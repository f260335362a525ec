#include "support/terminal_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

namespace tagpolish::test {

RunResult run_on_terminal(const std::string& dir, std::vector<std::string> args, const char* lang) {
    RunResult r;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return r;
    }
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    std::string exe = TAGPOLISH_EXE;
    std::vector<char*> argv{exe.data()};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        if (null < 0 || chdir(dir.c_str()) != 0) _exit(126);
        dup2(null, 0), dup2(null, 1), dup2(slave, 2);
        unsetenv("LC_ALL"), unsetenv("LC_CTYPE"), setenv("LANG", lang, 1);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    close(slave);
    char buf[4096];
    for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;)
        r.err.append(buf, static_cast<std::size_t>(n));
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

}  // namespace tagpolish::test

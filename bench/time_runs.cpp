// Runs one command several times and prints its median wall time and peak
// memory, so that the benchmark script needs no timing of its own.
//
//   time_runs RUNS OUTFILE [--fresh SRC DST] [--prepare SHELL_COMMAND]
//             -- COMMAND [ARGS...]
//
// Standard output of each run goes to OUTFILE, emptied before the clock
// starts; standard error goes to OUTFILE.err (both to /dev/null when
// OUTFILE is /dev/null, so that a command's output costs it nothing). With
// --fresh, SRC is copied over DST before each run (for commands that
// rewrite their input), and with --prepare the shell command is run (to
// lay out a fresh copy of a site, say), both outside the timing. Prints one line: the median wall
// seconds, the median CPU seconds (user and system), the largest peak resident size of a run in
// KiB, and 0 when every run exited 0 (else the first other exit status, or 128 plus the signal).
// CPU time shows the program's own cost when other work shares the machine.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace tagpolish {
namespace {

struct Run {
    double seconds = 0;
    double cpu = 0;
    long peak_kib = 0;
    int status = 0;
};

bool copy_file(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    return in.good() && out.good();
}

// One run: output file emptied first, then fork, exec and wait, timed from
// just before the fork to the end of the wait.
Run run_once(const std::string& out_path, char** argv) {
    const std::string err_path = out_path == "/dev/null" ? out_path : out_path + ".err";
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) {
        std::perror(out_path.c_str());
        std::exit(2);
    }
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out, 1);
        dup2(err, 2);
        execvp(argv[0], argv);
        std::perror(argv[0]);
        _exit(127);
    }
    Run r;
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) < 0) {
        std::perror("fork");
        std::exit(2);
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    auto secs = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    r.cpu = secs(usage.ru_utime) + secs(usage.ru_stime);
    r.peak_kib = usage.ru_maxrss;
    if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.status = 128 + WTERMSIG(status);
    close(out);
    close(err);
    return r;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int usage() {
    std::fprintf(stderr,
                 "usage: time_runs RUNS OUTFILE [--fresh SRC DST] [--prepare SHELL_COMMAND] -- "
                 "COMMAND [ARGS...]\n");
    return 2;
}

}  // namespace
}  // namespace tagpolish

int main(int argc, char** argv) {
    using namespace tagpolish;
    if (argc < 5) return usage();
    int runs = std::atoi(argv[1]);
    std::string out_path = argv[2];
    int k = 3;
    std::string fresh_src, fresh_dst;
    if (std::string(argv[k]) == "--fresh" && k + 3 < argc) {
        fresh_src = argv[k + 1];
        fresh_dst = argv[k + 2];
        k += 3;
    }
    std::string prepare;
    if (std::string(argv[k]) == "--prepare" && k + 2 < argc) {
        prepare = argv[k + 1];
        k += 2;
    }
    if (runs < 1 || std::string(argv[k]) != "--" || k + 1 >= argc) return usage();
    std::vector<double> times, cpus;
    long peak = 0;
    int status = 0;
    for (int i = 0; i < runs; ++i) {
        if (!fresh_src.empty() && !copy_file(fresh_src, fresh_dst)) {
            std::perror(fresh_dst.c_str());
            return 2;
        }
        if (!prepare.empty() && std::system(prepare.c_str()) != 0) {
            std::fprintf(stderr, "time_runs: failed: %s\n", prepare.c_str());
            return 2;
        }
        Run r = run_once(out_path, argv + k + 1);
        times.push_back(r.seconds);
        cpus.push_back(r.cpu);
        peak = std::max(peak, r.peak_kib);
        if (status == 0) status = r.status;
    }
    std::printf("%.6f %.6f %ld %d\n", median(times), median(cpus), peak, status);
    return 0;
}

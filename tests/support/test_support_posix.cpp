// The POSIX side of the helpers: running the program with fork and exec,
// temporary folders, iconv for the Shift_JIS text, and the file details
// only POSIX has.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/test_support.h"

namespace tagpolish::test {
namespace {

std::string convert(std::string_view in, const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "iconv cannot convert " << from << " to " << to;
        return {};
    }
    std::string src(in), out(in.size() * 4 + 16, '\0');
    char* ip = src.data();
    std::size_t il = src.size();
    char* op = out.data();
    std::size_t ol = out.size();
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1))
        ADD_FAILURE() << "text not convertible from " << from << " to " << to;
    iconv_close(cd);
    out.resize(out.size() - ol);
    return out;
}

// Feeds input to fd_in while draining fd_out and fd_err, so a large input or
// output never blocks the child.
void pump(int fd_in, int fd_out, int fd_err, std::string_view input, RunResult& r) {
    std::size_t sent = 0;
    if (input.empty()) close(fd_in), fd_in = -1;
    char buf[65536];
    while (fd_out >= 0 || fd_err >= 0) {
        pollfd fds[3];
        int n = 0;
        if (fd_in >= 0) fds[n++] = {fd_in, POLLOUT, 0};
        if (fd_out >= 0) fds[n++] = {fd_out, POLLIN, 0};
        if (fd_err >= 0) fds[n++] = {fd_err, POLLIN, 0};
        if (poll(fds, n, -1) < 0 && errno != EINTR) break;
        for (int k = 0; k < n; ++k) {
            if (!fds[k].revents) continue;
            if (fds[k].fd == fd_in) {
                ssize_t w = write(fd_in, input.data() + sent, input.size() - sent);
                if (w > 0) sent += static_cast<std::size_t>(w);
                if (w < 0 || sent == input.size()) close(fd_in), fd_in = -1;
                continue;
            }
            ssize_t got = read(fds[k].fd, buf, sizeof buf);
            if (got <= 0) {
                close(fds[k].fd);
                (fds[k].fd == fd_out ? fd_out : fd_err) = -1;
            } else {
                (fds[k].fd == fd_out ? r.out : r.err).append(buf, static_cast<std::size_t>(got));
            }
        }
    }
    if (fd_in >= 0) close(fd_in);
}

// Drops to the unprivileged user in a child, when running as root.
bool drop_privileges() {
    return geteuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(unprivileged_id) == 0 &&
                              setuid(unprivileged_id) == 0);
}

}  // namespace

RunResult run_tool(const std::vector<std::string>& args, std::string_view input) {
    RunResult r;
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) {
        ADD_FAILURE() << "pipe failed";
        return r;
    }
    // A child that exits without reading all its input must not kill the
    // test with SIGPIPE; the child itself gets the default action back.
    signal(SIGPIPE, SIG_IGN);
    pid_t pid = fork();
    if (pid == 0) {
        signal(SIGPIPE, SIG_DFL);
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        std::vector<char*> argv;
        std::string exe = TAGPOLISH_EXE;
        argv.push_back(exe.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    pump(in[1], out[0], err[0], input, r);
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return r;
}

RunResult run_tool_in(const std::string& dir, const std::vector<std::string>& args,
                      const ChildSetup& setup) {
    TempDir io;
    std::string in = io.write("in", setup.input);
    std::string out = setup.stdout_path.empty() ? io.path() + "/out" : setup.stdout_path;
    std::string err = io.path() + "/err";
    std::string exe = TAGPOLISH_EXE;
    std::vector<std::string> copy = args;
    std::vector<char*> argv{exe.data()};
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        int i = open(in.c_str(), O_RDONLY);
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (i < 0 || o < 0 || e < 0 || chdir(dir.c_str()) != 0) _exit(126);
        dup2(i, 0);
        dup2(o, 1);
        dup2(setup.merged ? o : e, 2);
        int gone[2];
        if (setup.broken_stdout && (pipe(gone) != 0 || dup2(gone[1], 1) < 0 || close(gone[0]) != 0))
            _exit(126);
        for (int fd = 0; fd <= 2; ++fd)
            if (setup.closed & (1 << fd)) close(fd);
        if (setup.file_size != RLIM_INFINITY) {
            rlimit limit{setup.file_size, setup.file_size};
            setrlimit(RLIMIT_FSIZE, &limit);
            signal(SIGXFSZ, SIG_IGN);
        }
        if (setup.address_space != RLIM_INFINITY) {
            rlimit limit{setup.address_space, setup.address_space};
            setrlimit(RLIMIT_AS, &limit);
        }
        if (setup.unprivileged && !drop_privileges()) _exit(125);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    RunResult r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (setup.stdout_path.empty()) r.out = read_file(out);
    r.err = read_file(err);
    return r;
}

std::string unprivileged_cannot_run() {
    if (geteuid() != 0) return "";
    pid_t pid = fork();
    if (pid == 0) _exit(drop_privileges() && access(TAGPOLISH_EXE, X_OK) == 0 ? 0 : 1);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
    return "user " + std::to_string(unprivileged_id) +
           ", which stands in for a user who is not root, cannot run " TAGPOLISH_EXE;
}

void give_to_child(const std::string& path) {
    if (geteuid() == 0 && chown(path.c_str(), unprivileged_id, unprivileged_id) != 0)
        ADD_FAILURE() << "cannot give " << path << " to user " << unprivileged_id;
}

std::filesystem::path fs_path(const std::string& name) {
    return name;
}

std::string name_of(const std::filesystem::path& path) {
    return path.string();
}

std::string sjis(std::string_view utf8_text) {
    return convert(utf8_text, "CP932", "UTF-8");
}

std::string utf8(std::string_view sjis_bytes) {
    return convert(sjis_bytes, "UTF-8", "CP932");
}

TempDir::TempDir(const std::string& parent) {
    const std::filesystem::path in =
        parent.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(parent);
    std::string tmpl = (in / "tagpolish-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) ADD_FAILURE() << "mkdtemp failed";
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Restore write permission on anything a test locked, so it can be
    // removed; never through a symbolic link, which may lead out of it.
    for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
        if (!e.is_symlink(ec) && e.is_directory(ec)) chmod(e.path().c_str(), 0700);
    chmod(path_.c_str(), 0700);
    std::filesystem::remove_all(path_, ec);
}

std::string attribute(const std::string& path, const char* name) {
    char value[1024];
    ssize_t n = getxattr(path.c_str(), name, value, sizeof value);
    return n < 0 ? "" : std::string(value, static_cast<std::size_t>(n));
}

FileStat lstat_of(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(0, lstat(path.c_str(), &st)) << path;
    FileStat f;
    f.st_dev = st.st_dev;
    f.st_ino = st.st_ino;
    f.st_mode = st.st_mode;
    f.st_uid = st.st_uid;
    f.st_gid = st.st_gid;
    f.st_size = st.st_size;
    f.st_atim = st.st_atim;
    f.st_mtim = st.st_mtim;
    f.st_ctim = st.st_ctim;
    return f;
}

bool keeps_user_attributes(const std::string& dir) {
    TempDir probe(dir);
    const std::string file = probe.write("file", "");
    return setxattr(file.c_str(), "user.probe", "x", 1, 0) == 0;
}

bool shell(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

bool waits_for_lock(pid_t pid) {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream words(line);
        bool waiting = false;
        for (std::string word; words >> word;) {
            if (word == "->") waiting = true;
            if (waiting && word == std::to_string(pid)) return true;
        }
    }
    return false;
}

HeldLock::HeldLock(const std::string& path) {
    file_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    held_ = file_ >= 0 && flock(static_cast<int>(file_), LOCK_EX | LOCK_NB) == 0;
}

void HeldLock::release() {
    if (file_ >= 0) close(static_cast<int>(file_));
    file_ = -1;
    held_ = false;
}

void make_old(const std::string& path) {
    timespec times[2] = {{old_time, 0}, {old_time, 0}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0));
}

}  // namespace tagpolish::test

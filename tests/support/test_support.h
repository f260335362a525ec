// Helpers shared by the tests: running the program, temporary files, and
// writing Shift_JIS test text as UTF-8.
#pragma once

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#endif

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_ops.h"

namespace tagpolish::test {

// What one run of the executable produced.
struct RunResult {
    std::string out;
    std::string err;
    int status = -1;  // exit status, or 128 + signal number
};

// Runs the tagpolish executable with args, feeding input on standard input.
RunResult run_tool(const std::vector<std::string>& args, std::string_view input = {});

#ifdef _WIN32
// A run stopped by Ctrl-Break, and whether the break could be sent.
struct BreakRun {
    RunResult run;
    bool sent = false;
};

// Runs the executable in dir in a process group of its own, with nothing on
// standard input; once at least `after` bytes of its output have come, sends
// it Ctrl-Break while it waits for the test to read more.
BreakRun run_tool_broken(const std::string& dir, const std::vector<std::string>& args,
                         std::size_t after);
#endif

// How run_tool_in sets up the child beyond its working directory.
struct ChildSetup {
    std::string input;          // standard input
    std::string stdout_path;    // where standard output goes ("" = captured)
    bool merged = false;        // standard error goes where standard output goes
    bool unprivileged = false;  // as root, run as unprivileged_id
#ifndef _WIN32
    rlim_t file_size = RLIM_INFINITY;      // RLIMIT_FSIZE of the child, SIGXFSZ ignored
    rlim_t address_space = RLIM_INFINITY;  // RLIMIT_AS of the child
    int closed = 0;                        // standard descriptors closed: bit n for descriptor n
    bool broken_stdout = false;            // standard output a pipe that nobody reads
#endif
};

// The user and group that an unprivileged child runs as when the tests run
// as root (nobody), so that permission checks apply to it.
inline constexpr unsigned unprivileged_id = 65534;

// Gives path to the user that an unprivileged child runs as; when the tests
// do not run as root, that user is the test's own and nothing changes.
void give_to_child(const std::string& path);

// Why an unprivileged child cannot run the executable (a folder on the way
// to it is closed to that user, or the system has no such user), or "" when
// it can.
std::string unprivileged_cannot_run();

// Runs the executable in dir, so that files are named as a user types them;
// standard output and error go through files, never pipes.
RunResult run_tool_in(const std::string& dir, const std::vector<std::string>& args,
                      const ChildSetup& setup = {});

// The UTF-8 text converted to Shift_JIS (cp932) bytes; aborts the test on
// characters cp932 lacks.
std::string sjis(std::string_view utf8);

// The Shift_JIS (cp932) bytes converted to UTF-8, for readable failures.
std::string utf8(std::string_view sjis_bytes);

// A fresh temporary directory, removed with everything in it on destruction.
class TempDir {
  public:
    // Made in parent, or in the system's temporary directory.
    explicit TempDir(const std::string& parent = "");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // Writes a file in the directory and returns its path.
    std::string write(const std::string& name, std::string_view bytes) const;
    // Names of the entries of the directory, sorted.
    std::vector<std::string> entries() const;

  private:
    std::string path_;
};

// A name as the tests write it (UTF-8 on Windows, bytes on POSIX) as a
// path, and a path's name back.
std::filesystem::path fs_path(const std::string& name);
std::string name_of(const std::filesystem::path& path);

// The whole content of a file ("" when it cannot be read).
std::string read_file(const std::string& path);

// unit written times over.
std::string repeat(std::string_view unit, std::size_t times);

// Messages with the time in the summary's second line made "T" ("3 passed
// over, 0.2 seconds" becomes "3 passed over, T seconds"), so that a test
// can compare them whole.
std::string timeless(std::string err);

// text with every '/' made the separator that a walk joins the names it
// finds with ('\\' on Windows), so that one expectation serves both
// systems: walked("site/sub/a.htm") is what a walk of "site" shows.
std::string walked(std::string text);

// The names in folder dir, sorted.
std::vector<std::string> entries_of(const std::string& dir);

// The extended attribute name of path, "" when it has none of that name.
// On Windows a "user." attribute is the alternate data stream of the rest
// of its name, and there are no others.
std::string attribute(const std::string& path, const char* name);

// A time long past (2001-01-01), for files that must look old.
inline constexpr time_t old_time = 978307200;

// The status of path itself (a link not followed), read by the system's
// own calls rather than the program's; a failure fails the test. On
// Windows the mode is what POSIX would show (S_IFLNK for a reparse point,
// 0444 for a read-only file, 0644 for another, 0755 for a folder), and
// the owner and group are 0: the program numbers SIDs its own way.
FileStat lstat_of(const std::string& path);

// Sets the access and modification times of path to old_time.
void make_old(const std::string& path);

// Makes path read-only (no one may write it), or writable by its owner
// again: the permission bits on POSIX, the read-only attribute on Windows.
void set_read_only(const std::string& path, bool read_only);

// A folder, and a second name for the file at from; a failure fails the
// test.
void make_folder(const std::string& path);
void make_hard_link(const std::string& from, const std::string& to);

// An exclusive lock on a whole file, taken as another program takes it
// (flock on POSIX, LockFileEx on Windows) and held until released.
class HeldLock {
  public:
    // Waits for nothing: held() says whether the lock was had.
    explicit HeldLock(const std::string& path);
    ~HeldLock() { release(); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;
    bool held() const { return held_; }
    void release();

  private:
    std::intptr_t file_ = -1;  // the descriptor, or the Windows handle
    bool held_ = false;
};

// Whether the file system of folder dir keeps user attributes, where
// --backup records a backup: on Windows, whether it keeps alternate data
// streams (wine keeps none: a stream's name makes a file of its own).
bool keeps_user_attributes(const std::string& dir);

// What a run under --backup says of the first page it rewrites, named name,
// where the file system of folder dir keeps no user attributes; "" where
// it keeps them.
std::string unrecorded_backup(const std::string& dir, const std::string& name);

#ifndef _WIN32
// Runs command in the shell, its output thrown away; true when it succeeded.
bool shell(const std::string& command);

// Whether process pid waits for a lock: /proc/locks marks a waiting
// request "->".
bool waits_for_lock(pid_t pid);
#endif

}  // namespace tagpolish::test

// The Windows side of the helpers: running the program with CreateProcessW
// and pipes, temporary folders, and the code page conversions of the
// Shift_JIS text. Names are UTF-8 in the tests and UTF-16 for the system.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <thread>

#include "support/test_support.h"

namespace tagpolish::test {
namespace {

std::wstring wide(std::string_view text, UINT code_page) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n =
        MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    if (n == 0 ||
        MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), size, out.data(), n) != n)
        ADD_FAILURE() << "text not convertible from code page " << code_page;
    return out;
}

// The UTF-16 text in code_page; a character that code page lacks fails
// the test rather than turning into a look-alike.
std::string narrow(std::wstring_view text, UINT code_page) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    BOOL lacking = FALSE;
    BOOL* lacks = code_page == CP_UTF8 ? nullptr : &lacking;
    const DWORD flags = code_page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int n =
        WideCharToMultiByte(code_page, flags, text.data(), size, nullptr, 0, nullptr, lacks);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(code_page, flags, text.data(), size, out.data(), n, nullptr, lacks);
    if (n == 0 || lacking) ADD_FAILURE() << "text not convertible to code page " << code_page;
    return out;
}

std::wstring wide_name(const std::string& name) {
    return wide(name, CP_UTF8);
}

// One argument quoted so that the child's CommandLineToArgvW (or its C
// runtime) reads it back whole: backslashes count only before a quote.
void append_quoted(std::wstring& line, const std::wstring& arg) {
    line += L'"';
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        line.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        line += c;
    }
    line.append(slashes * 2, L'\\');
    line += L'"';
}

std::wstring command_line(const std::vector<std::string>& args) {
    std::wstring line;
    append_quoted(line, wide_name(TAGPOLISH_EXE));
    for (const std::string& a : args) {
        line += L' ';
        append_quoted(line, wide_name(a));
    }
    return line;
}

// A handle closed on destruction.
class Handle {
  public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~Handle() { reset(); }
    Handle(Handle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    Handle& operator=(Handle&& o) noexcept {
        reset();
        h_ = std::exchange(o.h_, nullptr);
        return *this;
    }
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void reset() {
        if (h_) CloseHandle(h_);
        h_ = nullptr;
    }

  private:
    HANDLE h_ = nullptr;
};

SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};

// A pipe whose child end the child inherits and whose own end it does not.
struct Pipe {
    Handle child, own;
    explicit Pipe(bool child_reads) {
        HANDLE r = nullptr, w = nullptr;
        if (!CreatePipe(&r, &w, &inherited, 0)) ADD_FAILURE() << "CreatePipe failed";
        child = Handle(child_reads ? r : w);
        own = Handle(child_reads ? w : r);
        SetHandleInformation(own.get(), HANDLE_FLAG_INHERIT, 0);
    }
};

void read_all(HANDLE from, std::string& into) {
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(from, buf, sizeof buf, &got, nullptr) && got > 0) into.append(buf, got);
}

void write_all(HANDLE to, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD put = 0;
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
        if (!WriteFile(to, bytes.data(), size, &put, nullptr)) return;  // it stopped reading
        bytes.remove_prefix(put);
    }
}

// A started child, or an empty one when it could not start.
struct Child {
    Handle process;
    DWORD id = 0;
};

Child start(const std::vector<std::string>& args, const std::string& dir, HANDLE in, HANDLE out,
            HANDLE err, DWORD flags = 0) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = err;
    std::wstring line = command_line(args);
    const std::wstring cwd = wide_name(dir);
    PROCESS_INFORMATION pi{};
    Child c;
    // wine now and then fails to start a process with an internal error
    // that the next attempt does not meet; any other failure is the test's.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                 dir.empty() ? nullptr : cwd.c_str(), &si, &pi) != 0;
        if (!started && GetLastError() != ERROR_INTERNAL_ERROR) break;
    }
    if (!started) {
        ADD_FAILURE() << "cannot start " TAGPOLISH_EXE ": error " << GetLastError();
        return c;
    }
    CloseHandle(pi.hThread);
    c.process = Handle(pi.hProcess);
    c.id = pi.dwProcessId;
    return c;
}

int wait_for(const Child& c) {
    if (!c.process) return -1;
    WaitForSingleObject(c.process.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(c.process.get(), &code);
    return static_cast<int>(code);
}

Handle open_for_child(const std::string& path, bool write) {
    return Handle(CreateFileW(wide_name(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                              write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
}

}  // namespace

RunResult run_tool(const std::vector<std::string>& args, std::string_view input) {
    RunResult r;
    Pipe in(true), out(false), err(false);
    Child c = start(args, "", in.child.get(), out.child.get(), err.child.get());
    in.child.reset(), out.child.reset(), err.child.reset();
    if (!c.process) return r;
    // Input and both outputs move at once, so a large one never blocks the child.
    std::thread feed([&] {
        write_all(in.own.get(), input);
        in.own.reset();
    });
    std::thread errors([&] { read_all(err.own.get(), r.err); });
    read_all(out.own.get(), r.out);
    feed.join();
    errors.join();
    r.status = wait_for(c);
    return r;
}

RunResult run_tool_in(const std::string& dir, const std::vector<std::string>& args,
                      const ChildSetup& setup) {
    RunResult r;
    if (setup.unprivileged) {
        ADD_FAILURE() << unprivileged_cannot_run();
        return r;
    }
    TempDir io;
    const std::string in_path = io.write("in", setup.input);
    const std::string out_path = setup.stdout_path.empty() ? io.path() + "/out" : setup.stdout_path;
    const std::string err_path = io.path() + "/err";
    {
        Handle in = open_for_child(in_path, false), out = open_for_child(out_path, true);
        Handle err = setup.merged ? Handle() : open_for_child(err_path, true);
        if (!in || !out || (!setup.merged && !err)) {
            ADD_FAILURE() << "cannot open the child's standard files in " << io.path();
            return r;
        }
        Child c = start(args, dir, in.get(), out.get(), setup.merged ? out.get() : err.get());
        r.status = wait_for(c);
    }
    if (setup.stdout_path.empty()) r.out = read_file(out_path);
    if (!setup.merged) r.err = read_file(err_path);
    return r;
}

BreakRun run_tool_broken(const std::string& dir, const std::vector<std::string>& args,
                         std::size_t after) {
    BreakRun b;
    // Ctrl-Break goes to the processes of a console; a test run that has
    // none (a service, a pipe from ctest) makes one for the child to share.
    AllocConsole();
    Pipe out(false), err(false);
    Handle nul(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                           OPEN_EXISTING, 0, nullptr));
    Child c =
        start(args, dir, nul.get(), out.child.get(), err.child.get(), CREATE_NEW_PROCESS_GROUP);
    out.child.reset(), err.child.reset(), nul.reset();
    if (!c.process) return b;
    std::thread errors([&] { read_all(err.own.get(), b.run.err); });
    char buf[4096];
    DWORD got = 0;
    while (b.run.out.size() < after && ReadFile(out.own.get(), buf, sizeof buf, &got, nullptr) &&
           got > 0)
        b.run.out.append(buf, got);
    // The child now waits on a full pipe; the break reaches it there, and
    // its handler has a moment to note it before the pipe moves again.
    b.sent = GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, c.id) != 0;
    Sleep(500);
    read_all(out.own.get(), b.run.out);
    errors.join();
    b.run.status = wait_for(c);
    return b;
}

std::string unprivileged_cannot_run() {
    return "the tests have no unprivileged user to run the program as on Windows";
}

void give_to_child(const std::string&) {}

std::filesystem::path fs_path(const std::string& name) {
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string name_of(const std::filesystem::path& path) {
    const std::u8string name = path.generic_u8string();
    return std::string(name.begin(), name.end());
}

std::string sjis(std::string_view utf8_text) {
    return narrow(wide(utf8_text, CP_UTF8), 932);
}

std::string utf8(std::string_view sjis_bytes) {
    return narrow(wide(sjis_bytes, 932), CP_UTF8);
}

TempDir::TempDir(const std::string& parent) {
    const std::filesystem::path in =
        parent.empty() ? std::filesystem::temp_directory_path() : fs_path(parent);
    std::random_device seed;
    std::mt19937 pick(seed());
    std::error_code ec;
    for (int tries = 0; tries < 100; ++tries) {
        const std::filesystem::path p = in / ("tagpolish-test-" + std::to_string(pick() % 1000000));
        if (std::filesystem::create_directory(p, ec)) {
            path_ = name_of(p);
            return;
        }
    }
    ADD_FAILURE() << "cannot make a temporary folder in " << name_of(in);
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(fs_path(path_), ec);
}

namespace {

// Windows counts time in 100 ns from 1601; POSIX in seconds from 1970.
constexpr std::int64_t ticks_to_1970 = 116444736000000000;

timespec time_of(const LARGE_INTEGER& ticks) {
    const std::int64_t since = ticks.QuadPart - ticks_to_1970;
    return {static_cast<time_t>(since / 10000000), static_cast<long>(since % 10000000 * 100)};
}

// The file or folder at path itself, opened to read its attributes.
Handle open_itself(const std::string& path, DWORD access) {
    return Handle(CreateFileW(wide_name(path).c_str(), access,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

}  // namespace

std::string attribute(const std::string& path, const char* name) {
    const std::string_view user = "user.";
    const std::string_view n = name;
    if (n.substr(0, user.size()) != user) return "";
    return read_file(path + ":" + std::string(n.substr(user.size())));
}

FileStat lstat_of(const std::string& path) {
    FileStat st;
    Handle h = open_itself(path, FILE_READ_ATTRIBUTES);
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO times{};
    if (!h || !GetFileInformationByHandle(h.get(), &info) ||
        !GetFileInformationByHandleEx(h.get(), FileBasicInfo, &times, sizeof times)) {
        ADD_FAILURE() << "cannot read the status of " << path << ": error " << GetLastError();
        return st;
    }
    st.st_dev = info.dwVolumeSerialNumber;
    st.st_ino = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    const DWORD a = info.dwFileAttributes;
    if (a & FILE_ATTRIBUTE_REPARSE_POINT)
        st.st_mode = S_IFLNK | 0777;
    else if (a & FILE_ATTRIBUTE_DIRECTORY)
        st.st_mode = S_IFDIR | 0755;
    else
        st.st_mode = S_IFREG | (a & FILE_ATTRIBUTE_READONLY ? 0444 : 0644);
    st.st_size =
        static_cast<std::int64_t>(std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow);
    st.st_atim = time_of(times.LastAccessTime);
    st.st_mtim = time_of(times.LastWriteTime);
    st.st_ctim = time_of(times.ChangeTime);
    return st;
}

// The lock covers every byte and past the end, as the program's own does.
HeldLock::HeldLock(const std::string& path) {
    HANDLE h = CreateFileW(wide_name(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    file_ = reinterpret_cast<std::intptr_t>(h);
    OVERLAPPED at{};
    held_ = LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                       MAXDWORD, &at) != 0;
}

void HeldLock::release() {
    if (file_ != -1) CloseHandle(reinterpret_cast<HANDLE>(file_));
    file_ = -1;
    held_ = false;
}

bool keeps_user_attributes(const std::string& dir) {
    TempDir probe(dir);
    std::ofstream(fs_path(probe.write("file", "") + ":stream"), std::ios::binary) << "x";
    return probe.entries() == std::vector<std::string>{"file"};
}

void make_old(const std::string& path) {
    Handle h = open_itself(path, FILE_WRITE_ATTRIBUTES);
    const std::int64_t ticks = std::int64_t{old_time} * 10000000 + ticks_to_1970;
    FILETIME old{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    ASSERT_TRUE(h && SetFileTime(h.get(), nullptr, &old, &old)) << path;
}

}  // namespace tagpolish::test

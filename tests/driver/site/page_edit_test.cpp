// An input read while another program writes it, and reads that fail
// part way, through the fake file calls: a page that changed while it was
// read keeps the other program's text, and a failed read fails the input.
#include "driver/site/page_edit.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "driver/file_loop.h"
#include "lib/options.h"
#include "support/engine_run.h"
#include "support/fake_file_ops.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

namespace fs = std::filesystem;

const std::string kana = "<p>\xB1\xB2\xB3</p>\n";              // half-width "aiu"
const std::string full = "<p>\x83\x41\x83\x43\x83\x45</p>\n";  // full-width "aiu"

struct Ran {
    std::string out, err;
    int status;
};

// Runs the program in process in folder dir with args (options, then
// page.htm), its files read and written through ops.
Ran run_in(const std::string& dir, const std::vector<std::string>& options, FileOps& ops) {
    use_options(options);
    const fs::path back = fs::current_path();
    fs::current_path(dir);
    std::string name = "page.htm";
    char* argv[] = {name.data()};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = run_files(0, 1, argv, ops);
    Ran ran{testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr(), status};
    fs::current_path(back);
    reset_options();
    return ran;
}

// Waits until the clock that stamps files has moved past the change time
// of path, so that a change made now shows in that time too.
void wait_past_ctime(const TempDir& dir, const std::string& path) {
    const FileStat page = lstat_of(path);
    for (int i = 0; i < 1000; ++i) {
        const FileStat probe = lstat_of(dir.write("probe", ""));
        fs::remove(fs_path(dir.path() + "/probe"));
        if (probe.st_ctim.tv_sec != page.st_ctim.tv_sec ||
            probe.st_ctim.tv_nsec != page.st_ctim.tv_nsec)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void write_at(const std::string& path, std::streamoff at, const std::string& bytes) {
    std::fstream f(fs_path(path), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(at);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(f.flush()) << path;
}

// As another program renames: over the page that the run holds open.
void replace_by_rename(const std::string& path) {
    const std::string other = path + ".new";
    std::ofstream(fs_path(other), std::ios::binary) << "<p>theirs</p>\n";
    ASSERT_EQ(0, system_file_ops().renameat(AT_FDCWD, other.c_str(), AT_FDCWD, path.c_str(), 0));
}

// A page with an edit to make (-k), changed by another program while the
// run reads it, compares it or is about to replace it, in each of the ways
// a program changes a file: the run says so, fails the page, leaves it as
// the other program left it, and makes no backup.
TEST(PageEdit, PageChangedWhileItIsReadKeepsTheOtherProgramsText) {
    // The page fits one read: the checks read it (pread 1) and find its end
    // (pread 2), the walk reads it again (pread 3), and the compare reads
    // the bytes that the first edit replaced (pread 4); the batch syncs the
    // file system before its last look at the page and the rename.
    const struct {
        const char* name;
        Call call;
        int nth;
    } moments[] = {
        {"while the checks read it", Call::pread, 2},
        {"between the two readings", Call::pread, 3},
        {"during the compare", Call::pread, 4},
        {"before the last look", Call::syncfs, 1},
    };
    const struct {
        const char* name;
        std::function<void(const std::string& path)> change;
    } changes[] = {
        {"appended to",
         [](const std::string& path) {
             std::ofstream(fs_path(path), std::ios::app | std::ios::binary) << "<p>added</p>\n";
         }},
        {"written in place, its modification time put back",
         [](const std::string& path) {
             write_at(path, 3, "\xB3\xB2\xB1");
             make_old(path);
         }},
        {"touched",
         [](const std::string& path) {
             fs::last_write_time(fs_path(path), fs::file_time_type::clock::now());
         }},
        {"cut short", [](const std::string& path) { fs::resize_file(fs_path(path), 4); }},
        {"replaced by a rename", replace_by_rename},
    };
    {
        SCOPED_TRACE("left alone: the moments are where the table says");
        TempDir dir;
        const std::string page = dir.write("page.htm", kana);
        FakeFileOps ops;
        const Ran r = run_in(dir.path(), {"-wk", "--backup"}, ops);
        EXPECT_EQ(0, r.status);
        EXPECT_EQ(unrecorded_backup(dir.path(), "page.htm"), r.err);
        EXPECT_EQ(full, read_file(page));
        EXPECT_EQ(kana, read_file(page + ".orig"));
        EXPECT_EQ(4, ops.count(Call::pread));
        EXPECT_EQ(1, ops.count(Call::syncfs));
    }
    for (const auto& m : moments) {
        for (const auto& c : changes) {
            SCOPED_TRACE(std::string(c.name) + " " + m.name);
            TempDir dir;
            const std::string page = dir.write("page.htm", kana);
            make_old(page);
            wait_past_ctime(dir, page);
            FakeFileOps ops;
            std::string left;  // the page as the other program left it
            ops.before = [&](Call call) {
                if (call != m.call || ops.count(call) != m.nth - 1) return;
                c.change(page);
                left = read_file(page);
            };

            const Ran r = run_in(dir.path(), {"-wk", "--backup"}, ops);

            ASSERT_NE("", left) << "the page was not changed";
            EXPECT_EQ(1, r.status);
            // By the last look the new file is made, with or without its record.
            const std::string unrecorded =
                m.call == Call::syncfs ? unrecorded_backup(dir.path(), "page.htm") : "";
            EXPECT_EQ(
                unrecorded +
                    "page.htm: the file changed while it was read\npage.htm: failed to convert\n",
                r.err);
            EXPECT_TRUE(left == read_file(page)) << utf8(read_file(page));
            EXPECT_EQ(std::vector<std::string>{"page.htm"}, dir.entries());
        }
    }
}

// A read that fails fails the input, and nothing of it is written; one
// that a signal interrupts is made again. A file that cannot tell where
// it stands is read as a stream. Where the compare cannot read the page,
// its text is not known to be the same, and it is replaced.
TEST(PageEdit, FailedReadFailsTheInputAndAnInterruptedOneIsMadeAgain) {
    const std::string cannot_read =
        "page.htm: cannot read\n  Input/output error\npage.htm: failed to convert\n";
    const struct {
        const char* name;
        std::vector<std::string> options;
        std::vector<Failure> plan;
        std::string err;
        bool edited;
    } cases[] = {
        {"-w, EIO while the checks read it",
         {"-wk", "--backup"},
         {{Call::pread, EIO, 1}},
         cannot_read,
         false},
        {"-w, EIO while the walk reads it",
         {"-wk", "--backup"},
         {{Call::pread, EIO, 3}},
         cannot_read,
         false},
        {"-w, EIO during the compare", {"-wk", "--backup"}, {{Call::pread, EIO, 4}}, "", true},
        {"-w, EINTR at every reading",
         {"-wk", "--backup"},
         {{Call::pread, EINTR, 1}, {Call::pread, EINTR, 4}, {Call::pread, EINTR, 6}},
         "",
         true},
        {"EIO while the checks read it", {"-k"}, {{Call::pread, EIO, 1}}, cannot_read, false},
        {"EIO while the walk reads it", {"-k"}, {{Call::pread, EIO, 3}}, cannot_read, false},
        {"EINTR at every reading",
         {"-k"},
         {{Call::pread, EINTR, 1}, {Call::pread, EINTR, 4}},
         "",
         true},
        {"no offset: read as a stream", {"-k"}, {{Call::lseek, ESPIPE}}, "", true},
        {"no offset, EINTR", {"-k"}, {{Call::lseek, ESPIPE}, {Call::read, EINTR}}, "", true},
        {"no offset, EIO", {"-k"}, {{Call::lseek, ESPIPE}, {Call::read, EIO}}, cannot_read, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string page = dir.write("page.htm", kana);
        const bool rewrite = c.options.front() == "-wk";
        FakeFileOps ops(c.plan);

        const Ran r = run_in(dir.path(), c.options, ops);

        EXPECT_EQ(c.edited ? 0 : 1, r.status);
        const std::string unrecorded =
            c.edited && rewrite ? unrecorded_backup(dir.path(), "page.htm") : "";
        EXPECT_EQ(unrecorded + c.err, r.err);
        EXPECT_EQ(c.edited && !rewrite ? full : "", r.out);
        EXPECT_EQ(c.edited && rewrite ? full : kana, read_file(page));
        const std::vector<std::string> backed_up{"page.htm", "page.htm.orig"}, alone{"page.htm"};
        EXPECT_EQ(c.edited && rewrite ? backed_up : alone, dir.entries());
    }
}

}  // namespace
}  // namespace tagpolish::test

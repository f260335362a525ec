// A later name is passed over only when it leads to the very file that the
// run edited, as the run left it: a file that another program put in its
// place, even under the same inode number, is edited.
#include "driver/site/edited_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "driver/file_loop.h"
#include "lib/options.h"
#include "support/fake_file_ops.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

const std::string kana = "<p>\xB1</p>\n",
                  full = "<p>\x83\x41</p>\n";  // half-width and full-width a

// Runs tagpolish -w -k over names in process, through ops; returns what it
// wrote to standard error.
std::string run_wk(std::vector<std::string> names, FileOps& ops) {
    std::vector<char*> argv{nullptr};
    for (std::string& name : names) argv.push_back(name.data());
    reset_options();
    opt_w = walk_flags.k = 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, run_files(1, static_cast<int>(argv.size()), argv.data(), ops));
    reset_options();
    return testing::internal::GetCapturedStderr();
}

// The run rewrites a.htm, then finds c.htm locked by another program and
// waits for it. Meanwhile that program replaces a.htm, which frees the
// inode number of the run's new a.htm, and replaces c.htm by a new file,
// which gets that number (the fake makes it look so). c.htm is edited all
// the same: its file handle, or where there is none its change time,
// tells it from the a.htm the run wrote. Named again, it is passed over.
TEST(EditedFiles, ANewFileUnderAReusedInodeNumberIsEdited) {
    const struct {
        const char* name;
        std::vector<Failure> plan;
    } cases[] = {
        {"with file handles", {}},
        {"without file handles", {{Call::name_to_handle_at, EOPNOTSUPP, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string a = dir.write("a.htm", kana), c_htm = dir.write("c.htm", kana);
        HeldLock holder(c_htm);
        ASSERT_TRUE(holder.held());
        FakeFileOps ops(c.plan);
        const FileStat first = lstat_of(a);
        std::uint64_t reused = 0, fresh = 0;
        ops.before = [&](Call call) {
            if (call != Call::flock || reused != 0) return;
            const FileStat made = lstat_of(a);
            if (made.st_ino == first.st_ino) return;
            // About to wait for c.htm: the run's new a.htm is in place.
            reused = made.st_ino;
            dir.write("a.new", kana);
            // As another run of the program renames: over a file held open.
            ASSERT_EQ(0, system_file_ops().renameat(AT_FDCWD, (dir.path() + "/a.new").c_str(),
                                                    AT_FDCWD, a.c_str()));
            // past the clock tick of the run's own rename
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            fresh = lstat_of(dir.write("c.new", kana)).st_ino;
            ASSERT_EQ(0, system_file_ops().renameat(AT_FDCWD, (dir.path() + "/c.new").c_str(),
                                                    AT_FDCWD, c_htm.c_str()));
            holder.release();
        };
        ops.restat = [&](FileStat& st) {
            if (fresh != 0 && st.st_ino == fresh) st.st_ino = reused;
        };

        const std::string err = run_wk({a, c_htm, c_htm}, ops);

        EXPECT_EQ(
            c_htm + ": the same file as " + c_htm + ", already edited in this run; passed over\n",
            err);
        EXPECT_NE(0u, reused) << "the run never waited for c.htm";
        EXPECT_EQ(full, read_file(c_htm));
    }
}

}  // namespace
}  // namespace tagpolish::test

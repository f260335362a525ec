// Rewrites made durable and put in place in batches, and the lock that is
// taken without waiting, through the fake of the file calls.
#include "driver/rewrite/rewrite_batch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "driver/input/output.h"
#include "support/fake_file_ops.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

// A failed sync of one page leaves that page, and only that page, as it
// was; every new text is synced (one syncfs for the file system, then each
// file) before any page is renamed, and the directory is synced once.
TEST(RewriteBatch, FailedSyncLeavesOnlyThatPageOld) {
    TempDir dir;
    const std::vector<std::string> names{"a.htm", "b.htm", "c.htm"};
    FakeFileOps ops({{Call::fsync, EIO, 2}});
    std::map<std::string, Fate> ended;
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back(dir.write(name, "old " + name));
    testing::internal::CaptureStderr();
    {
        RewriteBatch batch(
            [&](const FileRewrite& file, Fate fate) { ended.emplace(file.path(), fate); }, ops);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string& path = paths[i];
            SystemFileOps system;
            RewriteInput in = open_to_rewrite({path.c_str()}, system);
            ASSERT_EQ(Fate::open, in.fate);
            const FileStat old = in.st;
            auto file =
                std::make_unique<FileRewrite>(path.c_str(), std::move(in), RewriteSettings{}, ops);
            file->prepare();
            FdSink sink(file->fd(), LineEnd::lf, ops);
            sink.put("new " + names[i]);
            sink.flush();
            ASSERT_EQ(Went::on, file->finish(sink.error(), old));
            batch.add(std::move(file));
        }
        batch.commit();
    }
    const std::string err = testing::internal::GetCapturedStderr();

    const std::string b = dir.path() + "/b.htm";
    EXPECT_EQ(b + ": failed to rewrite\n  Input/output error\n", err);
    const std::map<std::string, Fate> told{
        {paths[0], Fate::done}, {b, Fate::stopped}, {paths[2], Fate::done}};
    EXPECT_EQ(told, ended);
    EXPECT_EQ("new a.htm", read_file(dir.path() + "/a.htm"));
    EXPECT_EQ("old b.htm", read_file(b));
    EXPECT_EQ("new c.htm", read_file(dir.path() + "/c.htm"));
    EXPECT_EQ(names, dir.entries());
    EXPECT_EQ(1, ops.count(Call::syncfs));
    EXPECT_EQ(3 + 1, ops.count(Call::fsync)) << "each file, then the directory once";
    const auto& log = ops.log();
    const auto first_rename = std::find(log.begin(), log.end(), Call::renameat);
    EXPECT_EQ(std::find(first_rename, log.end(), Call::syncfs), log.end());
    EXPECT_EQ(3, std::count(log.begin(), first_rename, Call::fsync)) << "a rename before a sync";
}

// The lock is taken without waiting; when another holds it, the caller
// first lets go of what it holds, and then waits, or leaves the file busy.
TEST(OpenToRewrite, BusyLockLetsTheCallerCommitBeforeItWaits) {
    TempDir dir;
    const std::string path = dir.write("page.htm", "text");
    for (bool wait : {true, false}) {
        SCOPED_TRACE(wait ? "waits" : "gives up");
        HeldLock holder(path);
        ASSERT_TRUE(holder.held());
        int asked = 0;
        OpenHooks hooks;
        hooks.before_wait = [&] {
            ++asked;
            holder.release();  // what the caller held, let go
            return wait;
        };
        SystemFileOps ops;
        RewriteInput in = open_to_rewrite({path.c_str()}, ops, hooks);
        EXPECT_EQ(1, asked);
        EXPECT_EQ(wait ? Fate::open : Fate::busy, in.fate);
        EXPECT_EQ(wait, in.fd >= 0);
        if (in.fd >= 0) close(in.fd);
    }
}

}  // namespace
}  // namespace tagpolish::test

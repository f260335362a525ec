// The rewrite step by step, with one file call after another made to fail:
// the file holds its old text or the whole new one, keeps what it had, and
// nothing else is left in its directory.
#include "driver/rewrite/rewrite.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "support/fake_file_ops.h"
#include "support/file_rewrite.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

TEST(RewriteFile, EveryStepThatFailsIsReportedAndLeavesNothingBehind) {
    using C = Call;
    const struct {
        const char* name;
        std::vector<Failure> plan;
        Fate result;
        bool replaced;
        std::string why;  // the messages, each after the path
        bool old_acl = false;
        bool note_kept = true;
    } cases[] = {
        {"nothing fails", {}, Fate::done, true, ""},
        {"file not writable",
         {{C::faccessat, EACCES}},
         Fate::stopped,
         false,
         ": cannot open to write\n  Permission denied\n"},
        {"no new file",
         {{C::tmpfile, EROFS}},
         Fate::stopped,
         false,
         ": cannot open to write\n  Read-only file system\n"},
        {"unnamed file refused: a named one", {{C::tmpfile, EOPNOTSUPP}}, Fate::done, true, ""},
        {"unnamed file unknown (old kernel)", {{C::tmpfile, EISDIR}}, Fate::done, true, ""},
        {"folder cannot be read",
         {{C::openat, EACCES}},
         Fate::stopped,
         false,
         ": cannot open to write\n  Permission denied\n"},
        {"named file refused too",
         {{C::tmpfile, EINVAL}, {C::openat, ENOSPC, 2}},
         Fate::stopped,
         false,
         ": cannot open to write\n  No space left on device\n"},
        {"temporary name taken",
         {{C::tmpfile, EINVAL}, {C::openat, EEXIST, 2}},
         Fate::done,
         true,
         ""},
        {"disk full",
         {{C::write, ENOSPC}},
         Fate::stopped,
         false,
         ": failed to rewrite\n  No space left on device\n"},
        {"disk full, named file",
         {{C::tmpfile, EOPNOTSUPP}, {C::write, ENOSPC}},
         Fate::stopped,
         false,
         ": failed to rewrite\n  No space left on device\n"},
        {"attribute the process may not set",
         {{C::fsetxattr, EPERM, 1, "user.note"}},
         Fate::done,
         true,
         "",
         false,
         false},
        {"no room for an attribute",
         {{C::fsetxattr, ENOSPC, 1, "user.note"}},
         Fate::stopped,
         false,
         ": failed to rewrite\n  No space left on device\n"},
#ifndef _WIN32
        // A POSIX ACL, and the unnamed file that is named through /proc,
        // are Linux's alone.
        {"ACL that cannot be set",
         {{C::fsetxattr, EOPNOTSUPP, 1, acl}},
         Fate::failed,
         false,
         ": cannot keep its ACL\n  Operation not supported\n",
         true},
        {"inherited ACL that cannot go",
         {{C::fremovexattr, EPERM, 1, acl}},
         Fate::failed,
         false,
         ": cannot keep its ACL\n  Operation not permitted\n"},
#endif
        {"mode cannot be set",
         {{C::fchmod, EPERM}},
         Fate::failed,
         false,
         ": cannot keep its permission bits\n  Operation not permitted\n"},
        {"sync fails",
         {{C::fsync, EIO}},
         Fate::stopped,
         false,
         ": failed to rewrite\n  Input/output error\n"},
#ifndef _WIN32
        {"temporary name of the unnamed file taken", {{C::linkat, EEXIST}}, Fate::done, true, ""},
        {"no /proc to name it through",
         {{C::linkat, ENOENT}},
         Fate::stopped,
         false,
         ": failed to rewrite\n  No such file or directory\n"},
#endif
        {"close fails",
         {{C::close, EIO}},
         Fate::stopped,
         false,
         ": failed to rewrite\n  Input/output error\n"},
        {"rename fails",
         {{C::renameat, EXDEV}},
         Fate::stopped,
         false,
         ": failed to rewrite\n  Invalid cross-device link\n"},
        {"rename of a named file fails",
         {{C::tmpfile, EOPNOTSUPP}, {C::renameat, EACCES}},
         Fate::stopped,
         false,
         ": failed to rewrite\n  Permission denied\n"},
        {"directory cannot be synced here", {{C::fsync, EINVAL, 2}}, Fate::done, true, ""},
        // The rename is done: the new text is in place, but may not last.
        {"directory sync fails",
         {{C::fsync, EIO, 2}},
         Fate::unsynced,
         true,
         ": replaced, but its folder could not be synced\n  Input/output error\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DressedPage page(c.old_acl);
        if (!page.unable.empty()) GTEST_SKIP() << page.unable;
        const TempDir& dir = page.dir;
        const std::string& path = page.path;
        AttributeStore* kept_in = page.kept_in;
        const FileStat before = lstat_of(path);
        FakeFileOps ops(c.plan, kept_in);

        auto [result, err] = rewrite(path, ops);

        EXPECT_EQ(c.result, result);
        EXPECT_EQ(c.why.empty() ? "" : path + c.why, err);
        EXPECT_EQ(std::vector<std::string>{"page.htm"}, dir.entries());
        const FileStat after = lstat_of(path);
        if (!c.replaced) {
            EXPECT_EQ(old_text, read_file(path));
            EXPECT_EQ(before.st_ino, after.st_ino);
            continue;
        }
        EXPECT_EQ(new_text, read_file(path));
        EXPECT_EQ(dressed_mode, after.st_mode & 07777);
        EXPECT_EQ(before.st_gid, after.st_gid);
        EXPECT_EQ(c.note_kept ? "kept" : "", attribute_of(path, "user.note", kept_in));
        EXPECT_EQ("", attribute(path, acl));
    }
}

// A dry run makes the checks of a real run, but makes, links and renames
// nothing.
TEST(RewriteFile, DryRunChecksAndChangesNothing) {
    const struct {
        const char* name;
        std::vector<Failure> plan;
        Fate result;
        std::string why;
        bool has_backup = false;
    } cases[] = {
        {"nothing fails", {}, Fate::done, ""},
        {"file not writable",
         {{Call::faccessat, EACCES, 1}},
         Fate::stopped,
         ": cannot open to write\n  Permission denied\n"},
        {"no new file can be made in the directory",
         {{Call::faccessat, EROFS, 2}},
         Fate::stopped,
         ": cannot open to write\n  Read-only file system\n"},
        {"backup exists", {}, Fate::failed, ": its backup PATH.orig already exists\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.write("page.htm", old_text);
        if (c.has_backup) dir.write("page.htm.orig", "older\n");
        FakeFileOps ops(c.plan);
        auto [result, err] = rewrite(path, ops, {true, ".orig"});
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(messages(path, c.why), err);
        EXPECT_EQ(old_text, read_file(path));
        for (Call call : {Call::tmpfile, Call::openat, Call::write, Call::fsync, Call::linkat,
                          Call::renameat, Call::unlinkat})
            EXPECT_EQ(0, ops.count(call)) << static_cast<int>(call);
    }
}

TEST(RewriteFile, OwnerThatCannotBeGivenLeavesTheGroupToTry) {
    TempDir dir;
    const std::string path = dir.write("page.htm", old_text);
    FakeFileOps ops({{Call::fchown, EPERM}});
    EXPECT_EQ(Fate::done, rewrite(path, ops).first);
    EXPECT_EQ(2, ops.count(Call::fchown));
}

// A run that waited for the lock while another one replaced the file edits
// the file that is there now.
TEST(OpenToRewrite, OpensTheFileThatReplacedTheOneItWaitedFor) {
    TempDir dir;
    const std::string path = dir.write("page.htm", old_text);
    const std::string other = dir.write("other.htm", new_text);
    FakeFileOps ops;
    ops.before = [&](Call call) {
        if (call == Call::flock && ops.count(Call::flock) == 0) {
            // As another run of the program renames: over a file held open.
            ASSERT_EQ(0,
                      system_file_ops().renameat(AT_FDCWD, other.c_str(), AT_FDCWD, path.c_str()));
        }
    };

    RewriteInput in = open_to_rewrite({path.c_str()}, ops);

    ASSERT_GE(in.fd, 0);
    EXPECT_EQ(2, ops.count(Call::flock));
    char text[64];
    ssize_t n = read(in.fd, text, sizeof text);
    EXPECT_EQ(new_text, std::string(text, static_cast<std::size_t>(std::max<ssize_t>(n, 0))));
    close(in.fd);
}

}  // namespace
}  // namespace tagpolish::test

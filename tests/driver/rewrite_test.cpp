// The rewrite step by step, with one file call after another made to fail:
// the file holds its old text or the whole new one, keeps what it had, and
// nothing else is left in its directory.
#include "driver/rewrite.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/output.h"
#include "support/fake_file_ops.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

const std::string old_text = "<p>old</p>\n";
const std::string new_text = "<p>new</p>\n";
constexpr const char* acl = "system.posix_acl_access";

// An access ACL as the kernel keeps it: the owner may read and write, so
// may user 65534; the group may read; the mask allows reading and writing.
std::string acl_value() {
    std::string value;
    auto put = [&value](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) value += static_cast<char>(v >> (8 * i) & 0xFF);
    };
    put(2, 4);  // version
    const std::uint32_t none = 0xFFFFFFFF;
    const std::uint32_t entries[][3] = {
        {0x01, 6, none}, {0x02, 6, 65534}, {0x04, 4, none}, {0x10, 6, none}, {0x20, 0, none}};
    for (const auto& e : entries) put(e[0], 2), put(e[1], 2), put(e[2], 4);
    return value;
}

std::string attribute(const std::string& path, const char* name) {
    char value[256];
    ssize_t n = getxattr(path.c_str(), name, value, sizeof value);
    return n < 0 ? "" : std::string(value, static_cast<std::size_t>(n));
}

struct stat stat_of(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(0, stat(path.c_str(), &st)) << path;
    return st;
}

// Rewrites path with new_text through ops, as -w does: the new file is
// made, written and put in place; returns the result and what went to
// standard error.
std::pair<Rewrite, std::string> rewrite(const std::string& path, FileOps& ops) {
    int fd = open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0);
    testing::internal::CaptureStderr();
    Rewrite result = Rewrite::done;
    {
        NewFile file(path.c_str(), fd, ops);
        file.prepare();
        FdSink sink(file.fd(), LineEnd::lf, ops);
        sink.put(new_text);
        sink.flush();
        result = file.commit(sink.error());
    }
    std::string err = testing::internal::GetCapturedStderr();
    close(fd);
    return {result, err};
}

TEST(RewriteFile, EveryStepThatFailsIsReportedAndLeavesNothingBehind) {
    using C = Call;
    const struct {
        const char* name;
        std::vector<Failure> plan;
        Rewrite result;
        bool replaced;
        std::string why;  // the messages, each after the path
        bool old_acl = false;
        bool note_kept = true;
    } cases[] = {
        {"nothing fails", {}, Rewrite::done, true, ""},
        {"file not writable",
         {{C::access, EACCES}},
         Rewrite::stopped,
         false,
         ": cannot open to write\n  Permission denied\n"},
        {"no new file",
         {{C::tmpfile, EROFS}},
         Rewrite::stopped,
         false,
         ": cannot open to write\n  Read-only file system\n"},
        {"unnamed file refused: a named one", {{C::tmpfile, EOPNOTSUPP}}, Rewrite::done, true, ""},
        {"unnamed file unknown (old kernel)", {{C::tmpfile, EISDIR}}, Rewrite::done, true, ""},
        {"named file refused too",
         {{C::tmpfile, EINVAL}, {C::openat, EDQUOT}},
         Rewrite::stopped,
         false,
         ": cannot open to write\n  Disk quota exceeded\n"},
        {"temporary name taken",
         {{C::tmpfile, EINVAL}, {C::openat, EEXIST}},
         Rewrite::done,
         true,
         ""},
        {"disk full",
         {{C::write, ENOSPC}},
         Rewrite::stopped,
         false,
         ": failed to rewrite\n  No space left on device\n"},
        {"disk full, named file",
         {{C::tmpfile, EOPNOTSUPP}, {C::write, ENOSPC}},
         Rewrite::stopped,
         false,
         ": failed to rewrite\n  No space left on device\n"},
        {"attribute the process may not set",
         {{C::fsetxattr, EPERM, 1, "user.note"}},
         Rewrite::done,
         true,
         "",
         false,
         false},
        {"no room for an attribute",
         {{C::fsetxattr, ENOSPC, 1, "user.note"}},
         Rewrite::stopped,
         false,
         ": failed to rewrite\n  No space left on device\n"},
        {"ACL that cannot be set",
         {{C::fsetxattr, EOPNOTSUPP, 1, acl}},
         Rewrite::refused,
         false,
         ": cannot keep its ACL\n  Operation not supported\n",
         true},
        {"inherited ACL that cannot go",
         {{C::fremovexattr, EPERM, 1, acl}},
         Rewrite::refused,
         false,
         ": cannot keep its ACL\n  Operation not permitted\n"},
        {"mode cannot be set",
         {{C::fchmod, EPERM}},
         Rewrite::refused,
         false,
         ": cannot keep its permission bits\n  Operation not permitted\n"},
        {"sync fails",
         {{C::fsync, EIO}},
         Rewrite::stopped,
         false,
         ": failed to rewrite\n  Input/output error\n"},
        {"temporary name of the unnamed file taken",
         {{C::linkat, EEXIST}},
         Rewrite::done,
         true,
         ""},
        {"no /proc to name it through",
         {{C::linkat, ENOENT}},
         Rewrite::stopped,
         false,
         ": failed to rewrite\n  No such file or directory\n"},
        {"close fails",
         {{C::close, EIO}},
         Rewrite::stopped,
         false,
         ": failed to rewrite\n  Input/output error\n"},
        {"rename fails",
         {{C::renameat, EXDEV}},
         Rewrite::stopped,
         false,
         ": failed to rewrite\n  Invalid cross-device link\n"},
        {"rename of a named file fails",
         {{C::tmpfile, EOPNOTSUPP}, {C::renameat, EACCES}},
         Rewrite::stopped,
         false,
         ": failed to rewrite\n  Permission denied\n"},
        {"directory cannot be synced here", {{C::fsync, EINVAL, 2}}, Rewrite::done, true, ""},
        // The rename is done: the new text is in place, but may not last.
        {"directory sync fails",
         {{C::fsync, EIO, 2}},
         Rewrite::stopped,
         true,
         ": failed to rewrite\n  Input/output error\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.write("page.htm", old_text);
        ASSERT_EQ(0, chmod(path.c_str(), 0640));
        if (setxattr(path.c_str(), "user.note", "kept", 4, 0) != 0)
            GTEST_SKIP() << "no user attributes on this file system";
        if (c.old_acl) {
            const std::string value = acl_value();
            if (setxattr(path.c_str(), acl, value.data(), value.size(), 0) != 0)
                GTEST_SKIP() << "no ACLs on this file system";
        }
        const struct stat before = stat_of(path);
        FakeFileOps ops(c.plan);

        auto [result, err] = rewrite(path, ops);

        EXPECT_EQ(c.result, result);
        EXPECT_EQ(c.why.empty() ? "" : path + c.why, err);
        EXPECT_EQ(std::vector<std::string>{"page.htm"}, dir.entries());
        const struct stat after = stat_of(path);
        if (!c.replaced) {
            EXPECT_EQ(old_text, read_file(path));
            EXPECT_EQ(before.st_ino, after.st_ino);
            continue;
        }
        EXPECT_EQ(new_text, read_file(path));
        EXPECT_EQ(0640u, after.st_mode & 07777);
        EXPECT_EQ(before.st_gid, after.st_gid);
        EXPECT_EQ(c.note_kept ? "kept" : "", attribute(path, "user.note"));
        EXPECT_EQ("", attribute(path, acl));
    }
}

TEST(RewriteFile, OwnerThatCannotBeGivenLeavesTheGroupToTry) {
    TempDir dir;
    const std::string path = dir.write("page.htm", old_text);
    FakeFileOps ops({{Call::fchown, EPERM}});
    EXPECT_EQ(Rewrite::done, rewrite(path, ops).first);
    EXPECT_EQ(2, ops.count(Call::fchown));
}

// A run that waited for the lock while another one replaced the file edits
// the file that is there now.
TEST(OpenToRewrite, OpensTheFileThatReplacedTheOneItWaitedFor) {
    TempDir dir;
    const std::string path = dir.write("page.htm", old_text);
    const std::string other = dir.write("other.htm", new_text);
    FakeFileOps ops;
    ops.before_flock = [&] {
        if (ops.count(Call::flock) == 0) {
            ASSERT_EQ(0, std::rename(other.c_str(), path.c_str()));
        }
    };

    RewriteInput in = open_to_rewrite(path.c_str(), ops);

    ASSERT_GE(in.fd, 0);
    EXPECT_EQ(2, ops.count(Call::flock));
    char text[64];
    ssize_t n = read(in.fd, text, sizeof text);
    EXPECT_EQ(new_text, std::string(text, static_cast<std::size_t>(std::max<ssize_t>(n, 0))));
    close(in.fd);
}

}  // namespace
}  // namespace tagpolish::test

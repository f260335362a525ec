// The rewrite step by step, with one file call after another made to fail:
// the file holds its old text or the whole new one, keeps what it had, and
// nothing else is left in its directory.
#include "driver/rewrite.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/output.h"
#include "driver/rewrite_batch.h"
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

struct stat stat_of(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(0, stat(path.c_str(), &st)) << path;
    return st;
}

// Gives the page at path mode 0640, the attribute user.note and, when
// asked, an ACL; returns why this file system cannot hold them, or "".
std::string dress_page(const std::string& path, bool with_acl) {
    EXPECT_EQ(0, chmod(path.c_str(), 0640));
    if (setxattr(path.c_str(), "user.note", "kept", 4, 0) != 0)
        return "no user attributes on this file system";
    const std::string value = acl_value();
    if (with_acl && setxattr(path.c_str(), acl, value.data(), value.size(), 0) != 0)
        return "no ACLs on this file system";
    return "";
}

// The messages of a case, each after path, with PATH in them made path.
std::string messages(const std::string& path, std::string why) {
    if (why.empty()) return why;
    if (auto at = why.find("PATH"); at != std::string::npos) why.replace(at, 4, path);
    return path + why;
}

// Rewrites path with new_text through ops, as -w does once the file is
// found and open: the new file is made, written and put in place, in a
// batch of its own; returns the result and what went to standard error.
std::pair<Fate, std::string> rewrite(const std::string& path, FileOps& ops,
                                     const RewriteSettings& how = {}) {
    SystemFileOps system;
    RewriteInput in = open_to_rewrite({path.c_str()}, system);
    EXPECT_EQ(Fate::open, in.fate);
    const struct stat old = in.st;
    testing::internal::CaptureStderr();
    Fate result = Fate::done;
    {
        RewriteBatch batch([&](const FileRewrite&, Fate f) { result = f; }, ops);
        auto file = std::make_unique<FileRewrite>(path.c_str(), std::move(in), how, ops);
        file->prepare();
        FdSink sink(file->fd(), LineEnd::lf, ops);
        sink.put(new_text);
        sink.flush();
        result = file->finish(sink.error(), old);
        if (result == Fate::done && !how.dry_run) batch.add(std::move(file));
        batch.commit();
    }
    std::string err = testing::internal::GetCapturedStderr();
    return {result, err};
}

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
         {{C::tmpfile, EINVAL}, {C::openat, EDQUOT, 2}},
         Fate::stopped,
         false,
         ": cannot open to write\n  Disk quota exceeded\n"},
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
        {"temporary name of the unnamed file taken",
         {{C::linkat, EEXIST}},
         Fate::done,
         true,
         ""},
        {"no /proc to name it through",
         {{C::linkat, ENOENT}},
         Fate::stopped,
         false,
         ": failed to rewrite\n  No such file or directory\n"},
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
        TempDir dir;
        const std::string path = dir.write("page.htm", old_text);
        if (std::string why = dress_page(path, c.old_acl); !why.empty()) GTEST_SKIP() << why;
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

// Where the backup is a hard link it is the old file itself; else it is a
// copy with the old file's bytes, permission bits, attributes and times.
// A backup that cannot be made keeps the file as it was, and a backup made
// for a rename that then failed goes again.
TEST(RewriteFile, BackupIsTheOldFileOrItsCopy) {
    using C = Call;
    enum class Left { none, link, copy };
    const struct {
        const char* name;
        std::vector<Failure> plan;
        Fate result;
        bool replaced;
        Left backup;
        std::string why;  // the messages, each after the path
        bool old_acl = false;
    } cases[] = {
        {"nothing fails", {}, Fate::done, true, Left::link, ""},
        {"link not allowed", {{C::linkat, EPERM}}, Fate::done, true, Left::copy, ""},
        {"too many links", {{C::linkat, EMLINK}}, Fate::done, true, Left::copy, ""},
        {"no /proc to link through", {{C::linkat, ENOENT}}, Fate::done, true, Left::copy, ""},
        {"file system without links", {{C::linkat, ENOTSUP}}, Fate::done, true, Left::copy, ""},
        {"backup made meanwhile",
         {{C::linkat, EEXIST}},
         Fate::failed,
         false,
         Left::none,
         ": its backup PATH.orig already exists\n"},
        {"directory full",
         {{C::linkat, ENOSPC}},
         Fate::stopped,
         false,
         Left::none,
         ": cannot make its backup PATH.orig\n  No space left on device\n"},
        {"copy made meanwhile",
         {{C::linkat, EPERM}, {C::linkat, EEXIST, 2}},
         Fate::failed,
         false,
         Left::none,
         ": its backup PATH.orig already exists\n"},
        {"copy cannot be read",
         {{C::linkat, EPERM}, {C::pread, EIO}},
         Fate::stopped,
         false,
         Left::none,
         ": cannot make its backup PATH.orig\n  Input/output error\n"},
        {"disk full while copying",
         {{C::linkat, EPERM}, {C::write, ENOSPC, 2}},
         Fate::stopped,
         false,
         Left::none,
         ": cannot make its backup PATH.orig\n  No space left on device\n"},
        {"copy cannot be synced",
         {{C::linkat, EPERM}, {C::fsync, EIO, 2}},
         Fate::stopped,
         false,
         Left::none,
         ": cannot make its backup PATH.orig\n  Input/output error\n"},
        {"copy cannot keep the ACL",
         {{C::linkat, EPERM}, {C::fsetxattr, EOPNOTSUPP, 2, acl}},
         Fate::failed,
         false,
         Left::none,
         ": cannot keep its ACL\n  Operation not supported\n",
         true},
        {"rename fails after the backup",
         {{C::renameat, EIO}},
         Fate::stopped,
         false,
         Left::none,
         ": failed to rewrite\n  Input/output error\n"},
        // The rename is made: the old text is only in the backup now.
        {"directory sync fails after the rename",
         {{C::fsync, EIO, 2}},
         Fate::unsynced,
         true,
         Left::link,
         ": replaced, but its folder could not be synced\n  Input/output error\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.write("page.htm", old_text);
        if (std::string why = dress_page(path, c.old_acl); !why.empty()) GTEST_SKIP() << why;
        make_old(path);
        const struct stat before = stat_of(path);
        FakeFileOps ops(c.plan);

        auto [result, err] = rewrite(path, ops, {false, ".orig"});

        EXPECT_EQ(c.result, result);
        EXPECT_EQ(messages(path, c.why), err);
        EXPECT_EQ(c.replaced ? new_text : old_text, read_file(path));
        const std::string backup = path + ".orig";
        if (c.backup == Left::none) {
            EXPECT_EQ(std::vector<std::string>{"page.htm"}, dir.entries());
            continue;
        }
        EXPECT_EQ((std::vector<std::string>{"page.htm", "page.htm.orig"}), dir.entries());
        EXPECT_EQ(old_text, read_file(backup));
        const struct stat kept = stat_of(backup);
        EXPECT_EQ(c.backup == Left::link, kept.st_ino == before.st_ino);
        EXPECT_EQ(0640u, kept.st_mode & 07777);
        EXPECT_EQ(before.st_mtim.tv_sec, kept.st_mtim.tv_sec);
        EXPECT_EQ("kept", attribute(backup, "user.note"));
        EXPECT_EQ(c.backup == Left::copy ? 3 : 2, ops.count(Call::fsync)) << "the copy is synced";
    }
}

// A backup that has to be a copy takes its name only once it is whole and
// synced, so that a run killed while copying leaves no short backup, which
// the next run would keep and an undo would restore.
TEST(RewriteFile, BackupCopyTakesItsNameOnlyOnceWhole) {
    TempDir dir;
    const std::string path = dir.write("page.htm", old_text);
    const std::string backup = path + ".orig";
    FakeFileOps ops({{Call::linkat, EPERM}});
    int syncs = 0;  // the new text's, then the copy's
    bool named_early = false;
    ops.before = [&](Call call) {
        if (syncs == 2) return;
        if (access(backup.c_str(), F_OK) == 0) named_early = true;
        if (call == Call::fsync) ++syncs;
    };

    EXPECT_EQ(Fate::done, rewrite(path, ops, {false, ".orig"}).first);

    EXPECT_EQ(2, syncs);
    EXPECT_FALSE(named_early) << "the backup had its name before it was whole";
    EXPECT_EQ(old_text, read_file(backup));
    EXPECT_EQ(new_text, read_file(path));
}

// A link whose page lies deeper than PATH_MAX bytes of path is followed
// folder by folder: the page is rewritten, and the link stays a link.
TEST(RewriteFile, LinkToAPageDeeperThanPathMaxStaysALink) {
    TempDir dir;
    const std::string folder(254, 'd');
    std::string text;  // the link's
    std::vector<int> folders{open(dir.path().c_str(), O_PATH | O_DIRECTORY)};
    for (int i = 0; i < 16; ++i) {
        ASSERT_EQ(0, mkdirat(folders.back(), folder.c_str(), 0755));
        folders.push_back(openat(folders.back(), folder.c_str(), O_PATH | O_DIRECTORY));
        text += folder + "/";
    }
    text += "page.htm";
    const std::string link = dir.path() + "/deep.htm";
    ASSERT_GT(dir.path().size() + 1 + text.size(), std::size_t{PATH_MAX});
    const int page = openat(folders.back(), "page.htm", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(static_cast<ssize_t>(old_text.size()), write(page, old_text.data(), old_text.size()));
    close(page);
    ASSERT_EQ(0, symlink(text.c_str(), link.c_str()));
    SystemFileOps ops;

    EXPECT_EQ(Fate::done, rewrite(link, ops).first);

    struct stat st {};
    ASSERT_EQ(0, lstat(link.c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    char got[64] = {};
    const int reread = openat(folders.back(), "page.htm", O_RDONLY);
    EXPECT_EQ(new_text, std::string(got, static_cast<std::size_t>(
                                             std::max<ssize_t>(0, read(reread, got, sizeof got)))));
    close(reread);
    // Removed here: a path this long is more than the folder's own clean-up takes.
    EXPECT_EQ(0, unlinkat(folders.back(), "page.htm", 0));
    for (std::size_t i = folders.size() - 1; i > 0; --i) {
        close(folders[i]);
        EXPECT_EQ(0, unlinkat(folders[i - 1], folder.c_str(), AT_REMOVEDIR));
    }
    close(folders[0]);
}

// An existing backup, or one that cannot be looked for, is found before
// any new file is made.
TEST(RewriteFile, BackupNameIsCheckedFirst) {
    const struct {
        const char* name;
        std::vector<Failure> plan;
        std::string why;
    } cases[] = {
        {"backup exists", {}, ": its backup PATH.orig already exists\n"},
        {"backup cannot be looked for",
         {{Call::fstatat, EACCES}},
         ": cannot make its backup PATH.orig\n  Permission denied\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.write("page.htm", old_text);
        if (c.plan.empty()) dir.write("page.htm.orig", "older\n");
        FakeFileOps ops(c.plan);
        auto [result, err] = rewrite(path, ops, {false, ".orig"});
        EXPECT_EQ(Fate::failed, result);
        EXPECT_EQ(messages(path, c.why), err);
        EXPECT_EQ(old_text, read_file(path));
        EXPECT_EQ(0, ops.count(Call::tmpfile));
        if (c.plan.empty()) {
            EXPECT_EQ("older\n", read_file(path + ".orig"));
        }
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

// The backup goes beside the file that is replaced, so that a link to the
// old file stays on its file system; messages show it there.
TEST(RewriteFile, BackupGoesBesideTheFileALinkLeadsTo) {
    TempDir dir, elsewhere;
    const std::string page = elsewhere.write("page.htm", old_text);
    const std::string link = dir.path() + "/link.htm";
    ASSERT_EQ(0, symlink(page.c_str(), link.c_str()));
    SystemFileOps ops;

    EXPECT_EQ(Fate::done, rewrite(link, ops, {false, "~"}).first);
    EXPECT_EQ(new_text, read_file(page));
    EXPECT_EQ(old_text, read_file(page + "~"));
    EXPECT_EQ(std::vector<std::string>{"link.htm"}, dir.entries());

    auto [again, err] = rewrite(link, ops, {false, "~"});
    EXPECT_EQ(Fate::failed, again);
    EXPECT_EQ(link + ": its backup " + page + "~ already exists\n", err);
    EXPECT_EQ(old_text, read_file(page + "~"));
}

// A name is taken for a backup only when, without the suffix, it names a
// regular file beside it: a suffix that pages themselves end in (".htm")
// makes no page a backup.
TEST(IsBackupName, TheNameWithoutItsSuffixIsARegularFileBesideIt) {
    TempDir dir;
    for (const char* name : {"page.htm", "page.htm.orig", "alias.htm", "orphan.htm.orig"})
        dir.write(name, "");
    ASSERT_EQ(0, symlink("page.htm.orig", (dir.path() + "/to-backup.htm").c_str()));
    ASSERT_EQ(0, symlink("page.htm", (dir.path() + "/alias.htm.orig").c_str()));
    ASSERT_EQ(0, mkdir((dir.path() + "/folder").c_str(), 0755));
    dir.write("folder.orig", "");
    const struct {
        const char* name;
        const char* suffix;
        bool backup;
    } cases[] = {
        {"page.htm.orig", ".orig", true},     {"page.htm", ".orig", false},
        {"page.htm", ".htm", false},          {"page.htm", "htm", false},
        {"to-backup.htm", ".orig", true},     {"alias.htm.orig", ".orig", true},
        {"orphan.htm.orig", ".orig", false},  {"folder.orig", ".orig", false},
        {"page.htm.orig", "htm.orig", false},
    };
    for (const auto& c : cases) {
        const std::string path = dir.path() + "/" + c.name;
        Resolution found = resolve(path.c_str());
        ASSERT_EQ(Resolved::found, found.how) << c.name;
        EXPECT_EQ(c.backup, is_backup_name({path.c_str()}, found.target, c.suffix))
            << c.name << " " << c.suffix;
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
            ASSERT_EQ(0, std::rename(other.c_str(), path.c_str()));
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

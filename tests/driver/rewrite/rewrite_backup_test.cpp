// The backup of a rewrite: the old file itself or its whole copy, beside
// the file that is replaced, never over an existing one; and the names
// that are taken for backups.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "driver/rewrite/resolve.h"
#include "driver/rewrite/rewrite.h"
#include "support/fake_file_ops.h"
#include "support/file_rewrite.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

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
        const struct stat before = lstat_of(path);
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
        const struct stat kept = lstat_of(backup);
        EXPECT_EQ(c.backup == Left::link, kept.st_ino == before.st_ino);
        EXPECT_EQ(0640u, kept.st_mode & 07777);
        EXPECT_EQ(before.st_mtim.tv_sec, kept.st_mtim.tv_sec);
        EXPECT_EQ("kept", attribute(backup, "user.note"));
        EXPECT_EQ(c.backup == Left::copy ? 3 : 2, ops.count(Call::fsync)) << "the copy is synced";
    }
}

// A rename refused after the backup link was made (as in a folder with the
// sticky bit, over another user's page) takes the link away again, or
// names it where it cannot be taken away; a page that changes hands says
// so only once it is replaced.
TEST(RewriteFile, RenameRefusedLeavesNoBackupUnsaidAndNoOwnerNote) {
    if (geteuid() != 0) GTEST_SKIP() << "a page of another user is made as root";
    const passwd* user = getpwuid(unprivileged_id);
    const std::string owner = user ? user->pw_name : std::to_string(unprivileged_id);
    const std::string refused = ": failed to rewrite\n  Operation not permitted\n";
    using C = Call;
    const struct {
        const char* name;
        std::vector<Failure> plan;
        Fate result;
        bool backup_left;
        std::string said;  // each line after the path
    } cases[] = {
        {"replaced",
         {{C::fchown, EPERM}},
         Fate::done,
         true,
         ": now owned by you, was " + owner + "\n"},
        {"rename refused",
         {{C::fchown, EPERM}, {C::renameat, EPERM}},
         Fate::stopped,
         false,
         refused},
        {"rename and removal refused",
         {{C::fchown, EPERM}, {C::renameat, EPERM}, {C::unlinkat, EPERM}},
         Fate::stopped,
         true,
         refused + "PATH: its backup PATH.orig was made, but could not be removed again\n"
                   "  Operation not permitted\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.write("page.htm", old_text);
        ASSERT_EQ(0, chown(path.c_str(), unprivileged_id, unprivileged_id));
        FakeFileOps ops(c.plan);

        auto [result, err] = rewrite(path, ops, {false, ".orig"});

        std::string said = path + c.said;
        for (std::size_t at; (at = said.find("PATH")) != std::string::npos;)
            said.replace(at, 4, path);
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(said, err);
        EXPECT_EQ(c.result == Fate::done ? new_text : old_text, read_file(path));
        EXPECT_EQ(c.backup_left, access((path + ".orig").c_str(), F_OK) == 0);
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

}  // namespace
}  // namespace tagpolish::test

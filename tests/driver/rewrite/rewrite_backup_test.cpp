// The backup of a rewrite: the old file itself or its whole copy, beside
// the file that is replaced, never over an existing one; and the names
// that are taken for backups.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
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
        // The copy takes its name by a link where it was made without one,
        // else by a rename that replaces nothing (Windows).
        {"copy made meanwhile",
#ifdef _WIN32
         {{C::linkat, EPERM}, {C::renameat, EEXIST}},
#else
         {{C::linkat, EPERM}, {C::linkat, EEXIST, 2}},
#endif
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
#ifndef _WIN32
        // A POSIX ACL, which Windows has not.
        {"copy cannot keep the ACL",
         {{C::linkat, EPERM}, {C::fsetxattr, EOPNOTSUPP, 2, acl}},
         Fate::failed,
         false,
         Left::none,
         ": cannot keep its ACL\n  Operation not supported\n",
         true},
#endif
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
        DressedPage page(c.old_acl);
        if (!page.unable.empty()) GTEST_SKIP() << page.unable;
        const TempDir& dir = page.dir;
        const std::string& path = page.path;
        AttributeStore* kept_in = page.kept_in;
        make_old(path);
        const FileStat before = lstat_of(path);
        FakeFileOps ops(c.plan, kept_in);

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
        const FileStat kept = lstat_of(backup);
        EXPECT_EQ(c.backup == Left::link, kept.st_ino == before.st_ino);
        EXPECT_EQ(dressed_mode, kept.st_mode & 07777);
        EXPECT_EQ(before.st_mtim.tv_sec, kept.st_mtim.tv_sec);
        EXPECT_EQ("kept", attribute_of(backup, "user.note", kept_in));
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
        if (std::filesystem::exists(fs_path(backup))) named_early = true;
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

// A name is taken for a backup only when, without the suffix, it names a
// regular file beside it: a suffix that pages themselves end in (".htm")
// makes no page a backup.
TEST(IsBackupName, TheNameWithoutItsSuffixIsARegularFileBesideIt) {
    TempDir dir;
    for (const char* name : {"page.htm", "page.htm.orig", "alias.htm", "orphan.htm.orig"})
        dir.write(name, "");
#ifndef _WIN32
    // Symbolic links, which a test on Windows cannot count on making.
    ASSERT_EQ(0, symlink("page.htm.orig", (dir.path() + "/to-backup.htm").c_str()));
    ASSERT_EQ(0, symlink("page.htm", (dir.path() + "/alias.htm.orig").c_str()));
#endif
    make_folder(dir.path() + "/folder");
    dir.write("folder.orig", "");
    const struct {
        const char* name;
        const char* suffix;
        bool backup;
    } cases[] = {
        {"page.htm.orig", ".orig", true},     {"page.htm", ".orig", false},
        {"page.htm", ".htm", false},          {"page.htm", "htm", false},
        {"orphan.htm.orig", ".orig", false},  {"folder.orig", ".orig", false},
        {"page.htm.orig", "htm.orig", false},
#ifndef _WIN32
        {"to-backup.htm", ".orig", true},     {"alias.htm.orig", ".orig", true},
#endif
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

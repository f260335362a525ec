// The backup of a rewrite where POSIX alone can set the scene: a page of
// another user, which root makes, and a symbolic link made by symlink().
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "driver/rewrite/rewrite.h"
#include "support/fake_file_ops.h"
#include "support/file_rewrite.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

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

}  // namespace
}  // namespace tagpolish::test

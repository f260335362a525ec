// Finding the file a name leads to under -w, one component at a time.
#include "driver/rewrite/resolve.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "support/test_support.h"

namespace tagpolish::test {
namespace {

// Where names lead: the folder and name of the file found (as messages
// show them, after the test's folder), whether the name itself was a
// link, or why nothing was found.
TEST(Resolve, FindsTheFileThroughEachFolderAndLink) {
    TempDir dir;
    ASSERT_EQ(0, mkdir((dir.path() + "/sub").c_str(), 0755));
    dir.write("sub/page.htm", "");
    const std::string top = dir.path() + "/";
    for (const auto& [link, to] : {std::pair{"link.htm", "sub/page.htm"},
                                   {"dirlink", "sub"},
                                   {"up", ".."},
                                   {"loop", "loop"},
                                   {"chain.htm", "dirlink/page.htm"},
                                   {"nowhere.htm", "sub/none.htm"}})
        ASSERT_EQ(0, symlink(to, (top + link).c_str()));
    const struct {
        std::string name;
        Resolved how;
        int error;
        std::string shown;  // the file as messages show it, after top
        bool link;
    } cases[] = {
        {"sub/page.htm", Resolved::found, 0, "sub/page.htm", false},
        {"sub/../sub/./page.htm", Resolved::found, 0, "sub/page.htm", false},
        {"link.htm", Resolved::found, 0, "sub/page.htm", true},
        {"dirlink/page.htm", Resolved::found, 0, "sub/page.htm", false},
        {"chain.htm", Resolved::found, 0, "sub/page.htm", true},
        {"sub/../up/" + dir.path().substr(dir.path().rfind('/') + 1) + "/sub//page.htm",
         Resolved::found, 0, "sub/page.htm", false},
        {"sub/page.htm/", Resolved::missing, ENOTDIR, "", false},
        {"sub/none.htm", Resolved::missing, ENOENT, "", false},
        {"nowhere.htm", Resolved::missing, ENOENT, "", false},
        {"loop", Resolved::missing, ELOOP, "", false},
        {"sub/page.htm/x.htm", Resolved::missing, ENOTDIR, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Resolution r = resolve((top + c.name).c_str());
        EXPECT_EQ(c.how, r.how);
        EXPECT_EQ(c.error, r.error);
        if (r.how != Resolved::found) continue;
        EXPECT_EQ(top + c.shown, r.target.shown());
        EXPECT_EQ(c.link, r.target.link);
        EXPECT_TRUE(S_ISREG(r.target.st.st_mode));
        // Every later step acts through the folder found.
        struct stat there {};
        ASSERT_EQ(0,
                  fstatat(r.target.dir.get(), r.target.base.c_str(), &there, AT_SYMLINK_NOFOLLOW));
        EXPECT_EQ(r.target.st.st_ino, there.st_ino);
    }
}

// A link, to the page or to a folder above it, is followed when it belongs
// to the user running the program, to root, or to the owner of what it
// leads to; a link that anybody else planted is not.
TEST(Resolve, FollowsOnlyLinksWhoseOwnerCouldChangeWhatTheyLeadTo) {
    if (geteuid() != 0) GTEST_SKIP() << "giving links to other users needs root";
    TempDir dir;
    const std::string top = dir.path() + "/";
    const uid_t other = unprivileged_id, root = 0;
    dir.write("roots.htm", "");
    dir.write("users.htm", "");
    ASSERT_EQ(0, chown((top + "users.htm").c_str(), other, other));
    ASSERT_EQ(0, mkdir((top + "roots").c_str(), 0755));
    dir.write("roots/page.htm", "");
    const struct {
        const char* link;
        const char* to;
        uid_t owner;
        const char* name;
        Resolved how;
    } cases[] = {
        {"planted.htm", "roots.htm", other, "planted.htm", Resolved::foreign_link},
        {"own.htm", "users.htm", other, "own.htm", Resolved::found},
        {"given.htm", "users.htm", root, "given.htm", Resolved::found},
        {"planted-dir", "roots", other, "planted-dir/page.htm", Resolved::foreign_link},
        {"root-dir", "roots", root, "root-dir/page.htm", Resolved::found},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(0, symlink(c.to, (top + c.link).c_str()));
        ASSERT_EQ(0, lchown((top + c.link).c_str(), c.owner, c.owner));
        EXPECT_EQ(c.how, resolve((top + c.name).c_str()).how);
    }
}

}  // namespace
}  // namespace tagpolish::test

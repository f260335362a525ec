// Whose symbolic links -w follows: links given to other users, which only
// root can make, on a POSIX system.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "driver/rewrite/resolve.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

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

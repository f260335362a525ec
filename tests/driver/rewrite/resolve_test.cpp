// Finding the file a name leads to under -w, one component at a time.
#include "driver/rewrite/resolve.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/file_ops.h"
#include "platform/paths.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

// Where names lead: the folder and name of the file found (as messages
// show them, after the test's folder), whether the name itself was a
// link, or why nothing was found.
TEST(Resolve, FindsTheFileThroughEachFolderAndLink) {
    TempDir dir;
    make_folder(dir.path() + "/sub");
    dir.write("sub/page.htm", "");
    const std::string top = dir.path() + "/";
#ifndef _WIN32
    // Symbolic links are made on POSIX systems only: on Windows making one
    // takes a privilege that a test cannot count on.
    for (const auto& [link, to] : {std::pair{"link.htm", "sub/page.htm"},
                                   {"dirlink", "sub"},
                                   {"up", ".."},
                                   {"loop", "loop"},
                                   {"chain.htm", "dirlink/page.htm"},
                                   {"nowhere.htm", "sub/none.htm"}})
        ASSERT_EQ(0, symlink(to, (top + link).c_str()));
#endif
    const struct {
        std::string name;
        Resolved how;
        int error;
        std::string shown;  // the file as messages show it, after top
        bool link;
    } cases[] = {
        {"sub/page.htm", Resolved::found, 0, "sub/page.htm", false},
        {"sub/../sub/./page.htm", Resolved::found, 0, "sub/page.htm", false},
        {"sub/page.htm/", Resolved::missing, ENOTDIR, "", false},
        {"sub/none.htm", Resolved::missing, ENOENT, "", false},
        {"sub/page.htm/x.htm", Resolved::missing, ENOTDIR, "", false},
#ifndef _WIN32
        {"link.htm", Resolved::found, 0, "sub/page.htm", true},
        {"dirlink/page.htm", Resolved::found, 0, "sub/page.htm", false},
        {"chain.htm", Resolved::found, 0, "sub/page.htm", true},
        {"sub/../up/" + dir.path().substr(dir.path().rfind('/') + 1) + "/sub//page.htm",
         Resolved::found, 0, "sub/page.htm", false},
        {"nowhere.htm", Resolved::missing, ENOENT, "", false},
        {"loop", Resolved::missing, ELOOP, "", false},
#endif
    };
    // The root stays as given; the names after it are joined as a walk
    // joins them.
    const std::size_t root = path_root_length(top);
    const auto shown = [&](const std::string& file) {
        return top.substr(0, root) + walked(top.substr(root) + file);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Resolution r = resolve((top + c.name).c_str());
        EXPECT_EQ(c.how, r.how);
        EXPECT_EQ(c.error, r.error);
        if (r.how != Resolved::found) continue;
        EXPECT_EQ(shown(c.shown), r.target.shown());
        EXPECT_EQ(c.link, r.target.link);
        EXPECT_TRUE(S_ISREG(r.target.st.st_mode));
        // Every later step acts through the folder found.
        FileStat there;
        ASSERT_EQ(0, system_file_ops().fstatat(r.target.dir.get(), r.target.base.c_str(), &there,
                                               AT_SYMLINK_NOFOLLOW));
        EXPECT_EQ(r.target.st.st_ino, there.st_ino);
    }
}

}  // namespace
}  // namespace tagpolish::test

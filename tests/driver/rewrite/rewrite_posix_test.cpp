// The rewrite of a page behind a symbolic link deeper than PATH_MAX, made
// folder by folder with the POSIX calls that reach it: Linux alone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "driver/rewrite/rewrite.h"
#include "support/file_rewrite.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

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

}  // namespace
}  // namespace tagpolish::test

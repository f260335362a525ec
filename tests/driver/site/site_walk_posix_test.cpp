// The walk of -r over what only POSIX lets a test make: symbolic links
// made by symlink(), a loop of them, and a FIFO named as a page.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "driver/site/site_walk.h"
#include "support/site_walks.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

const std::string link_note = ": a symbolic link; passed over (--follow-links follows it)\n";

// A link is noted unless followed, whatever the patterns say of its name
// when it leads to a folder; a loop of followed links is entered once; a
// FIFO is no page, whatever its name.
TEST(SiteWalk, LinksAreNotedUnlessFollowedAndALoopIsEnteredOnce) {
    TempDir t;
    for (const char* dir : {"loop", "sub"})
        ASSERT_EQ(0, mkdir((t.path() + "/" + dir).c_str(), 0755));
    for (const char* file : {"a.htm", "sub/e.htm"}) t.write(file, "<p>\n");
    ASSERT_EQ(0, mkfifo((t.path() + "/fifo.htm").c_str(), 0644));
    ASSERT_EQ(0, symlink("a.htm", (t.path() + "/link.htm").c_str()));
    ASSERT_EQ(0, symlink("sub", (t.path() + "/linkdir").c_str()));
    ASSERT_EQ(0, symlink("..", (t.path() + "/loop/back").c_str()));
    WalkRules plain, followed, text;
    followed.follow_links = true;
    text.include = {"*.txt"};
    text.exclude = {"sub"};
    const struct {
        const char* name;
        const WalkRules& rules;
        std::vector<std::string> seen;
    } cases[] = {
        {"links noted",
         plain,
         {"top/a.htm", "top/link.htm" + link_note, "top/linkdir" + link_note,
          "top/loop/back" + link_note, "top/sub/e.htm"}},
        {"links followed",
         followed,
         {"top/a.htm", "top/link.htm", "top/linkdir/e.htm",
          "top/loop/back: a folder that the walk is in already (a loop of links); passed over\n",
          "top/sub/e.htm"}},
        {"patterns given", text, {"top/linkdir" + link_note, "top/loop/back" + link_note}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.seen, walk(t.path(), c.rules, system_file_ops())) << c.name;
}

}  // namespace
}  // namespace tagpolish::test

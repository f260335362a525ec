// Rewriting files in place (-w) with what only POSIX gives a test: owners,
// groups and permission bits, a child held to a file size or run as
// another user, symbolic links made by symlink(), FIFOs and devices, ACLs
// and user attributes set by setfacl and setfattr. The file keeps its
// owner, permission bits and attributes, or is left as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace tagpolish::test {
namespace {

TEST(Rewrite, KeepsOwnerGroupAndPermissionBits) {
    bool root = geteuid() == 0;
    for (mode_t mode : {0604, 0640, 0755, 02750}) {
        SCOPED_TRACE(mode);
        TempDir dir;
        std::string path = dir.write("page.htm", sjis("<p>１２３</p>\n"));
        if (root) {
            ASSERT_EQ(0, chown(path.c_str(), 12345, 12345));
        }
        ASSERT_EQ(0, chmod(path.c_str(), mode));
        FileStat before = lstat_of(path);
        RunResult r = run_tool({"-wn", path});
        EXPECT_EQ(0, r.status);
        EXPECT_EQ("", r.err);
        EXPECT_EQ("<p>123</p>\n", read_file(path));
        FileStat after = lstat_of(path);
        EXPECT_NE(before.st_ino, after.st_ino) << "not a new file";
        EXPECT_EQ(before.st_uid, after.st_uid);
        EXPECT_EQ(before.st_gid, after.st_gid);
        EXPECT_EQ(mode, after.st_mode & 07777);
        EXPECT_EQ(std::vector<std::string>{"page.htm"}, dir.entries());
    }
}

TEST(Rewrite, FileSizeLimitEndsTheRunWithEveryFileWhole) {
    TempDir dir;
    std::string a = dir.write("a.htm", sjis("ｱ\n"));
    std::string kana;
    for (int i = 0; i < 600; ++i) kana += "ｱ";
    std::string b_text = sjis(kana + "\n");
    std::string b = dir.write("b.htm", b_text);
    std::string c = dir.write("c.htm", sjis("ｲ\n"));
    // b.htm is within the limit; its new text, twice as long, is not.
    test::ChildSetup limited;
    limited.file_size = 1000;
    RunResult r = test::run_tool_in("/", {"-wk", a, b, c}, limited);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(
        b + ": failed to rewrite\n  File too large\n" + c + ": not edited (the run stopped)\n",
        r.err);
    EXPECT_EQ(sjis("ア\n"), read_file(a));
    EXPECT_TRUE(b_text == read_file(b)) << "b.htm damaged";
    EXPECT_EQ(sjis("ｲ\n"), read_file(c)) << "no file after the failure is edited";
    EXPECT_EQ((std::vector<std::string>{"a.htm", "b.htm", "c.htm"}), dir.entries());
}

// The permission checks hold for a user who is not root (as root, the
// program runs as an unprivileged user for them).
TEST(Rewrite, ReadOnlyDirectory) {
    if (std::string why = unprivileged_cannot_run(); !why.empty()) GTEST_SKIP() << why;
    TempDir dir;
    std::string path = dir.write("page.htm", sjis("１\n"));
    give_to_child(path);
    give_to_child(dir.path());
    ASSERT_EQ(0, chmod(dir.path().c_str(), 0555));
    ChildSetup unprivileged;
    unprivileged.unprivileged = true;
    RunResult r = run_tool_in("/", {"-wn", path}, unprivileged);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(path + ": cannot open to write\n  Permission denied\n", r.err);
    EXPECT_EQ(sjis("１\n"), read_file(path));
    EXPECT_EQ(std::vector<std::string>{"page.htm"}, dir.entries());
}

TEST(Rewrite, ReadOnlyFileIsNotReplaced) {
    if (std::string why = unprivileged_cannot_run(); !why.empty()) GTEST_SKIP() << why;
    TempDir dir;
    std::string path = dir.write("page.htm", sjis("１\n"));
    give_to_child(path);
    give_to_child(dir.path());
    ASSERT_EQ(0, chmod(path.c_str(), 0444));
    FileStat before = lstat_of(path);
    ChildSetup unprivileged;
    unprivileged.unprivileged = true;
    RunResult r = run_tool_in("/", {"-wn", path}, unprivileged);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(path + ": cannot open to write\n  Permission denied\n", r.err);
    EXPECT_EQ(sjis("１\n"), read_file(path));
    EXPECT_EQ(before.st_ino, lstat_of(path).st_ino);
    EXPECT_EQ(std::vector<std::string>{"page.htm"}, dir.entries());
}

// A user who is not root cannot give a new file away: a page that would go
// to another group, or a page that anybody may write that would go to the
// user, stays as it was; a page that only changes hands is replaced with a
// note. A dry run says the same.
TEST(Rewrite, PageOfAnotherUserKeepsItsGroupOrIsLeftAlone) {
    if (geteuid() != 0) GTEST_SKIP() << "pages of other users and groups are made as root";
    if (std::string why = unprivileged_cannot_run(); !why.empty()) GTEST_SKIP() << why;
    TempDir dir;
    ASSERT_EQ(0, chmod(dir.path().c_str(), 0777));
    const struct {
        const char* name;
        gid_t group;
        mode_t mode;
        std::string why;  // "" when it is replaced
    } pages[] = {
        {"other-group.htm", 0, 0666, ": cannot keep its group\n"},
        {"anybody.htm", unprivileged_id, 0666, ": cannot keep its owner\n"},
        {"shared.htm", unprivileged_id, 0664, ""},
    };
    std::vector<std::string> args{"-wk", "--list"};
    std::string err;
    for (const auto& p : pages) {
        const std::string path = dir.write(p.name, sjis("<p>ｱ</p>\n"));
        ASSERT_EQ(0, chown(path.c_str(), 0, p.group));
        ASSERT_EQ(0, chmod(path.c_str(), p.mode));
        args.push_back(p.name);
        err += p.why.empty() ? p.name + std::string(": now owned by you, was root\n")
                             : p.name + p.why + p.name + ": failed to convert\n";
    }
    ChildSetup unprivileged;
    unprivileged.unprivileged = true;
    std::vector<std::string> dry = args;
    dry.insert(dry.begin() + 1, "--dry-run");

    RunResult predicted = run_tool_in(dir.path(), dry, unprivileged);
    RunResult r = run_tool_in(dir.path(), args, unprivileged);

    const std::string time = "0 passed over, T seconds\n";
    EXPECT_EQ(err + "1 files would be rewritten, 0 unchanged, 2 failed\n" + time,
              timeless(predicted.err));
    EXPECT_EQ(err + "1 files rewritten, 0 unchanged, 2 failed\n" + time, timeless(r.err));
    EXPECT_EQ("shared.htm\n", r.out);
    EXPECT_EQ(r.out, predicted.out);
    for (const auto& p : pages) {
        SCOPED_TRACE(p.name);
        const FileStat st = lstat_of(dir.path() + "/" + p.name);
        EXPECT_EQ(p.group, st.st_gid);
        EXPECT_EQ(p.mode, st.st_mode & 07777);
        EXPECT_EQ(p.why.empty() ? unprivileged_id : 0u, st.st_uid);
        EXPECT_EQ(sjis(p.why.empty() ? "<p>ア</p>\n" : "<p>ｱ</p>\n"),
                  read_file(dir.path() + "/" + p.name));
    }
}

TEST(Rewrite, SymbolicLinksStayLinks) {
    TempDir dir;
    ASSERT_EQ(0, mkdir((dir.path() + "/sub").c_str(), 0755));
    std::string real = dir.write("sub/real.htm", sjis("<p>１</p>\n"));
    ASSERT_EQ(0, chmod(real.c_str(), 0604));
    std::string link = dir.path() + "/link.htm", chain = dir.path() + "/chain.htm";
    ASSERT_EQ(0, symlink("sub/real.htm", link.c_str()));
    ASSERT_EQ(0, symlink("link.htm", chain.c_str()));

    RunResult r = run_tool({"-wn", chain});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("<p>1</p>\n", read_file(real));
    EXPECT_TRUE(S_ISLNK(lstat_of(link).st_mode));
    EXPECT_TRUE(S_ISLNK(lstat_of(chain).st_mode));
    EXPECT_EQ(0604u, lstat_of(real).st_mode & 07777);
    EXPECT_EQ((std::vector<std::string>{"chain.htm", "link.htm", "sub"}), dir.entries());
    EXPECT_EQ(std::vector<std::string>{"real.htm"}, entries_of(dir.path() + "/sub"));

    std::string dangling = dir.path() + "/dangling.htm";
    ASSERT_EQ(0, symlink("nowhere.htm", dangling.c_str()));
    RunResult d = run_tool({"-wn", dangling});
    EXPECT_EQ(1, d.status);
    EXPECT_EQ(dangling + ": not found\n  No such file or directory\n", d.err);
    EXPECT_TRUE(S_ISLNK(lstat_of(dangling).st_mode));

    // Root edits a user's site: a link that the user planted there, to a
    // file of root's, is not followed.
    if (geteuid() != 0) return;
    const std::string secret = dir.write("secret.txt", "a\nb\n");
    const std::string planted = dir.path() + "/planted.htm";
    ASSERT_EQ(0, symlink(secret.c_str(), planted.c_str()));
    ASSERT_EQ(0, lchown(planted.c_str(), unprivileged_id, unprivileged_id));
    RunResult p = run_tool({"-wj", planted});
    EXPECT_EQ(1, p.status);
    EXPECT_EQ(planted + ": a symbolic link owned by another user; not followed\n" + planted +
                  ": failed to convert\n",
              p.err);
    EXPECT_EQ("a\nb\n", read_file(secret));
}

// A symbolic link to a page that the run has edited already is passed over
// with a note, and stays a link.
TEST(Rewrite, LinkToAPageEditedEarlierIsPassedOver) {
    TempDir dir;
    const std::string path = dir.write("page.htm", "<a href=abc/x>\n");
    const std::string sym = dir.path() + "/link.htm";
    ASSERT_EQ(0, symlink("page.htm", sym.c_str()));

    RunResult r = run_tool({"-wu", path, sym});

    EXPECT_EQ(0, r.status);
    EXPECT_EQ(sym + ": the same file as " + path + ", already edited in this run; passed over\n",
              r.err);
    EXPECT_EQ("<a href=./x>\n", read_file(path));
    EXPECT_TRUE(S_ISLNK(lstat_of(sym).st_mode));
}

// A FIFO, a device or /dev/stdin is refused before anything is read from
// it, so that neither it nor its writer is touched, and the run goes on.
TEST(Rewrite, InputsThatAreNotRegularFilesAreLeftAlone) {
    TempDir dir;
    const std::string fifo = dir.path() + "/pipe.htm";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
    // Both ends in one descriptor: a writer that has written and waits.
    const std::string waiting = sjis("<p>ｱ</p>\n");
    const struct {
        const char* name;
        std::string path;
        std::string input;
        bool writer = false;
    } cases[] = {
        {"FIFO without a writer", fifo, ""},
        {"FIFO with a writer", fifo, "", true},
        {"standard input from a pipe", "/dev/stdin", waiting},
        {"character device", "/dev/null", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string next = dir.write("next.htm", sjis("ｱ\n"));
        int writer = c.writer ? open(fifo.c_str(), O_RDWR | O_NONBLOCK) : -1;
        if (c.writer) {
            ASSERT_EQ(static_cast<ssize_t>(waiting.size()),
                      write(writer, waiting.data(), waiting.size()));
        }
        struct stat before {};
        ASSERT_EQ(0, lstat(c.path.c_str(), &before));

        RunResult r = run_tool({"-wk", c.path, next}, c.input);

        EXPECT_EQ(1, r.status);
        EXPECT_EQ(c.path + ": not a regular file\n" + c.path + ": failed to convert\n", r.err);
        EXPECT_EQ(sjis("ア\n"), read_file(next));
        struct stat after {};
        ASSERT_EQ(0, lstat(c.path.c_str(), &after));
        EXPECT_EQ(before.st_mode, after.st_mode);
        EXPECT_EQ(before.st_ino, after.st_ino);
        if (c.writer) {
            char buf[64];
            ssize_t n = read(writer, buf, sizeof buf);
            EXPECT_EQ(waiting, std::string(buf, static_cast<std::size_t>(std::max<ssize_t>(n, 0))));
            close(writer);
        }
    }
    EXPECT_EQ((std::vector<std::string>{"next.htm", "pipe.htm"}), dir.entries());
}

// The new file carries the ACL and the user attributes of the old one; a
// page without an ACL does not take one from its directory's default ACL.
TEST(Rewrite, KeepsAclAndExtendedAttributes) {
    if (!shell("command -v setfacl && command -v setfattr"))
        GTEST_SKIP() << "setfacl and setfattr are needed (Debian packages acl and attr)";
    TempDir dir;
    const std::string page = dir.write("page.htm", sjis("<p>ｱ</p>\n"));
    ASSERT_EQ(0, chmod(page.c_str(), 0640));
    if (!shell("setfacl -m u:65534:rw- '" + page + "'"))
        GTEST_SKIP() << "no ACLs in " << dir.path();
    if (!shell("setfattr -n user.origin -v old-site '" + page + "'"))
        GTEST_SKIP() << "no user attributes in " << dir.path();
    const std::string sub = dir.path() + "/sub";
    ASSERT_EQ(0, mkdir(sub.c_str(), 0755));
    ASSERT_TRUE(shell("setfacl -d -m u:65534:rwx '" + sub + "'"));
    const std::string plain = dir.write("sub/plain.htm", sjis("<p>ｲ</p>\n"));
    ASSERT_TRUE(shell("setfacl -b '" + plain + "'"));
    ASSERT_EQ(0, chmod(plain.c_str(), 0600));
    const std::string acl_before = attribute(page, "system.posix_acl_access");
    ASSERT_NE("", acl_before);
    const FileStat page_before = lstat_of(page);

    RunResult r = run_tool({"-wk", page, plain});

    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(sjis("<p>ア</p>\n"), read_file(page));
    EXPECT_EQ(sjis("<p>イ</p>\n"), read_file(plain));
    const FileStat page_after = lstat_of(page);
    EXPECT_NE(page_before.st_ino, page_after.st_ino) << "not a new file";
    EXPECT_EQ(acl_before, attribute(page, "system.posix_acl_access"));
    EXPECT_EQ("old-site", attribute(page, "user.origin"));
    EXPECT_EQ(page_before.st_mode, page_after.st_mode);
    EXPECT_EQ("", attribute(plain, "system.posix_acl_access"));
    EXPECT_EQ(0600u, lstat_of(plain).st_mode & 07777);
}

}  // namespace
}  // namespace tagpolish::test

// What --restore decides, through the library: a backup is put back only
// over a page that still holds what the run that made the backup wrote,
// whatever has been done to the times, owners and links of the files
// since; and only while it holds the page's lock, as -w does.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "driver/rewrite/backup_record.h"
#include "driver/site/site_run.h"
#include "lib/options.h"
#include "support/fake_file_ops.h"
#include "support/site_runs.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

namespace fs = std::filesystem;

const std::string old_page = "<font>page</font>\n";
const std::string new_page = "page\n";

RunSettings settings_for(RunJob job, bool force = false) {
    RunSettings s;
    s.edits.del_f = 1;
    s.job = job;
    s.walk = true;
    s.rules.backups = job != RunJob::edit;
    s.how = {false, job == RunJob::edit ? ".orig" : nullptr};
    s.summary = true;
    s.force = force;
    return s;
}

class Restore : public testing::Test {
  protected:
    void SetUp() override {
        reset_options();
        opt_w = 1;
    }
    void TearDown() override { reset_options(); }

    // site/page.htm edited with a backup, as `tagpolish -w -r -d:f --backup
    // site` does it.
    void make_site() {
        fs::remove_all(site);
        fs::remove_all(t.path() + "/copy");
        fs::create_directories(site);
        page = t.write("site/page.htm", old_page);
        backup = page + ".orig";
        FakeFileOps ops({}, kept);
        ASSERT_EQ(0, run_site(t.path(), {"site"}, settings_for(RunJob::edit), ops).status);
        ASSERT_EQ(new_page, read_file(page));
    }

    Ran restore(const std::string& folder, FileOps& ops, bool force = false) {
        Ran ran = run_site(t.path(), {folder}, settings_for(RunJob::restore, force), ops);
        ran.err = timeless(ran.err);
        return ran;
    }

    TempDir t;
    const std::string site = t.path() + "/site";
    std::string page, backup;
    AttributeStore store;
    AttributeStore* kept = unless_kept_in(t.path(), store);
};

void append(const std::string& path, const std::string& text) {
    std::ofstream(fs_path(path), std::ios::binary | std::ios::app) << text;
}

void set_later(const std::string& path) {
    using namespace std::chrono_literals;
    fs::last_write_time(fs_path(path), fs::file_time_type::clock::now() + 100s);
}

// What chmod -R does: the permissions (the read-only mark on Windows) set
// and set back, which moves the change time.
void change_mode(const std::string& path) {
    set_read_only(path, true);
    set_read_only(path, false);
}

// What chown -R does: another owner where the tests may give files away;
// else the same owner again, which moves the change time all the same
// (on Windows, where no test gives a file away, the attributes again).
void change_owner(const std::string& path) {
#ifdef _WIN32
    change_mode(path);
#else
    const bool root = geteuid() == 0;
    ASSERT_EQ(0, chown(path.c_str(), root ? unprivileged_id : geteuid(),
                       root ? unprivileged_id : getegid()));
#endif
}

// A copy of the site made of hard links (cp -al).
void link_copy(const std::string& from, const std::string& to) {
    fs::create_directories(to);
    for (const auto& e : fs::directory_iterator(from))
        fs::create_hard_link(e.path(), to / e.path().filename());
}

// Each case acts on the page and the backup of the edited site, then
// --restore runs over the site, or over the copy that the case made.
TEST_F(Restore, DecidesByTheRecordWhateverHappenedToTheTimes) {
    enum class Then { restored, changed, unrecorded, backup_changed };
    const struct {
        const char* name;
        std::function<void(const std::string& page, const std::string& backup)> act;
        Then then;
        bool force = false;
        const char* folder = "site";
    } cases[] = {
        {"nothing done", [](auto&, auto&) {}, Then::restored},
        {"chmod -R",
         [](auto& p, auto& b) {
             change_mode(p);
             change_mode(b);
         },
         Then::restored},
        {"chown -R",
         [](auto& p, auto& b) {
             change_owner(p);
             change_owner(b);
         },
         Then::restored},
        {"touched later", [](auto& p, auto&) { set_later(p); }, Then::restored},
        {"copied with cp -al", [this](auto&, auto&) { link_copy(site, t.path() + "/copy"); },
         Then::restored, false, "copy"},
        {"gone", [](auto& p, auto&) { fs::remove(fs_path(p)); }, Then::restored},
        {"edited", [](auto& p, auto&) { append(p, "<p>mine\n"); }, Then::changed},
        {"edited, then its times set back",
         [](auto& p, auto&) {
             append(p, "<p>mine\n");
             make_old(p);
         },
         Then::changed},
        {"edited, then chmod -R and chown -R",
         [](auto& p, auto& b) {
             append(p, "<p>mine\n");
             change_mode(p);
             change_owner(b);
         },
         Then::changed},
        {"edited, then copied with cp -al",
         [this](auto& p, auto&) {
             append(p, "<p>mine\n");
             link_copy(site, t.path() + "/copy");
         },
         Then::changed, false, "copy"},
        {"edited, with --force", [](auto& p, auto&) { append(p, "<p>mine\n"); }, Then::restored,
         true},
        {"replaced by a copy without attributes",
         [](auto& p, auto&) {
             fs::copy_file(p, p + ".new");
             fs::rename(p + ".new", p);
         },
         Then::unrecorded},
        {"its record garbled",
         [this](auto& p, auto&) {
             EXPECT_TRUE(set_attribute_of(p, record_attr, "1 page 5", kept));
         },
         Then::unrecorded},
        {"its backup edited", [](auto&, auto& b) { append(b, "<p>later\n"); },
         Then::backup_changed},
        {"its backup replaced by the same text",
         [](auto&, auto& b) {
             fs::copy_file(b, b + ".new");
             fs::rename(b + ".new", b);
         },
         Then::restored},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        make_site();
        c.act(page, backup);
        const std::string in = t.path() + "/" + c.folder + "/page.htm";
        const std::string before = read_file(in);
        FakeFileOps ops({}, kept);

        const Ran r = restore(c.folder, ops, c.force);

        const std::string shown = walked(std::string(c.folder) + "/page.htm");
        const std::string summary = c.then == Then::restored
                                        ? "1 pages restored, 0 failed\n0 passed over, T seconds\n"
                                        : "0 pages restored, 1 failed\n0 passed over, T seconds\n";
        const std::string said[] = {
            shown + ": restored from " + shown + ".orig\n",
            shown + ": changed after its backup was made; not restored (--force restores it)\n",
            shown +
                ": has no record of the run that made its backup; not restored (--force "
                "restores it)\n",
            shown + ": its backup " + shown +
                ".orig changed after it was made; not restored (--force restores it)\n",
        };
        EXPECT_EQ(said[static_cast<int>(c.then)] + summary, r.err);
        EXPECT_EQ(c.then == Then::restored ? 0 : 1, r.status);
        EXPECT_EQ(c.then == Then::restored ? old_page : before, read_file(in));
        EXPECT_EQ(c.then != Then::restored, fs::exists(in + ".orig"));
    }
}

// A -w run holds the page's lock from its reading to its rename: --restore
// waits for it, finds the page that the run put in its place, and leaves
// it, since it is not what the run with --backup wrote.
TEST_F(Restore, WaitsForTheLockOfARunThatReplacesThePage) {
    make_site();
    HeldLock held(page);
    ASSERT_TRUE(held.held());
    FakeFileOps ops({}, kept);
    bool replaced = false;
    ops.before_flock = [&](int operation) {
        if ((operation & LOCK_NB) != 0 || replaced) return;
        // The other run's rename (made as the program makes it, which
        // replaces a page that is open), then its lock let go.
        const std::string theirs = t.write("site/theirs.new", "theirs\n");
        EXPECT_EQ(0, system_file_ops().renameat(AT_FDCWD, theirs.c_str(), AT_FDCWD, page.c_str()));
        held.release();
        replaced = true;
    };

    const Ran r = restore("site", ops);

    EXPECT_TRUE(replaced) << "--restore did not wait for the lock";
    EXPECT_EQ(walked("site/page.htm") +
                  ": has no record of the run that made its backup; not restored "
                  "(--force restores it)\n0 pages restored, 1 failed\n0 passed over, T seconds\n",
              r.err);
    EXPECT_EQ("theirs\n", read_file(page));
    EXPECT_EQ(old_page, read_file(backup));
}

// Where the record cannot be kept, the run says so once and goes on; then
// --restore refuses those pages.
TEST_F(Restore, RecordThatCannotBeKeptIsSaidOnce) {
    fs::create_directories(site);
    for (const char* name : {"site/a.htm", "site/b.htm"}) t.write(name, old_page);
    FakeFileOps ops({{Call::fsetxattr, ENOTSUP, 0, record_attr}}, kept);

    Ran r = run_site(t.path(), {"site"}, settings_for(RunJob::edit), ops);
    const Ran back = restore("site", ops);

    EXPECT_EQ(0, r.status);
    EXPECT_EQ(walked("site/a.htm") +
                  ": cannot keep the record that --restore checks; --restore will refuse "
                  "such pages without --force\n  Operation not supported\n"
                  "2 files rewritten, 0 unchanged, 0 failed\n0 passed over, T seconds\n",
              timeless(r.err));
    const std::string refused =
        ": has no record of the run that made its backup; not restored (--force restores it)\n";
    EXPECT_EQ(walked("site/a.htm") + refused + walked("site/b.htm") + refused +
                  "0 pages restored, 2 failed\n0 passed over, T seconds\n",
              back.err);
    EXPECT_EQ(new_page, read_file(site + "/b.htm"));
}

}  // namespace
}  // namespace tagpolish::test

// A run under -w over a site, through the library: the same pages, list,
// messages and summary whatever the number of jobs and whether the walk
// or a list of names finds the pages; no lock held while the run waits for
// another program's; backups put back and removed.
#include "driver/site/site_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "lib/options.h"
#include "support/fake_file_ops.h"
#include "support/site_runs.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

namespace fs = std::filesystem;

RunSettings site_settings(int jobs, bool walk = true) {
    RunSettings s;
    s.edits.del_f = 1;
    s.walk = walk;
    s.jobs = jobs;
    s.list = s.summary = true;
    return s;
}

RunSettings reporting(RunSettings s) {
    s.report = true;
    return s;
}

// Every file under dir and what it holds.
std::map<std::string, std::string> files_in(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(fs_path(dir)))
        if (e.is_regular_file() && !e.is_symlink())
            files[name_of(e.path().lexically_relative(fs_path(dir)))] =
                read_file(name_of(e.path()));
    return files;
}

// A site of 80 pages in four folders: pages to edit, pages that stay as
// they are, pages with a bracket error or in UTF-8 (which fail), a text
// file, and (but on Windows, where a test cannot count on making one) a
// link to a page; returns the pages in walk order.
std::vector<std::string> make_site(const TempDir& t) {
    std::vector<std::string> pages;
    fs::create_directories(t.path() + "/site");
    for (int d = 0; d < 4; ++d) {
        const std::string folder = "site/d" + std::to_string(d);
        fs::create_directories(t.path() + "/" + folder);
        for (int i = 0; i < 20; ++i) {
            const std::string name = folder + "/p" + std::to_string(10 + i) + ".htm";
            const std::string text = i % 7 == 0    ? "<p>plain</p>\n"
                                     : i % 11 == 0 ? "<font>a > b\n"
                                     : i % 13 == 0
                                         ? "<p>\xE6\x9C\xAC</p>\n"
                                         : "<font color=red>" + sjis("本文") + "</font>\n";
            t.write(name, text);
            pages.push_back(name);
        }
    }
    t.write("site/notes.txt", "<font>\n");
#ifndef _WIN32
    fs::create_symlink("d0/p11.htm", t.path() + "/site/alias.htm");
#endif
    return pages;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

class SiteRunTest : public testing::Test {
  protected:
    void SetUp() override {
        reset_options();
        opt_w = 1;
    }
    void TearDown() override { reset_options(); }
};

using Jobs = SiteRunTest;

// The walk edits what find's list of the pages does, and 1, 2 or 7 jobs
// tell the same pages in the same order with the same messages; each
// page's report line follows its name, and the totals the summary.
TEST_F(Jobs, AnyNumberOfJobsAndTheWalkGiveTheSameRun) {
    std::map<std::string, std::string> result;
    std::string out, err;
    for (int jobs : {1, 2, 7}) {
        SCOPED_TRACE(jobs);
        TempDir t;
        make_site(t);
        FakeFileOps ops;
        const Ran r = run_site(t.path(), {"site"}, reporting(site_settings(jobs)), ops);
        EXPECT_EQ(1, r.status);
        if (jobs == 1) {
            result = files_in(t.path());
            out = r.out;
            err = timeless(r.err);
            continue;
        }
        EXPECT_EQ(result, files_in(t.path()));
        EXPECT_EQ(out, r.out);
        EXPECT_EQ(err, timeless(r.err));
    }
    const std::vector<std::string> told = lines_of(err);
    ASSERT_LE(3u, told.size());
#ifdef _WIN32
    EXPECT_EQ("0 passed over, T seconds", told[told.size() - 2]);
    EXPECT_EQ("60 files rewritten, 12 unchanged, 8 failed", told[told.size() - 3]);
#else
    EXPECT_EQ("site/alias.htm: a symbolic link; passed over (--follow-links follows it)", told[0]);
    EXPECT_EQ("1 passed over, T seconds", told[told.size() - 2]);
    // The link passed over counts as left unchanged too.
    EXPECT_EQ("60 files rewritten, 13 unchanged, 8 failed", told[told.size() - 3]);
#endif
    EXPECT_EQ("in all: font tags 120", told.back());
    EXPECT_NE(std::string::npos,
              out.find(walked("site/d0/p11.htm\nsite/d0/p11.htm: font tags 2\n")));

    // The pages named one by one, as find lists them (in its own order),
    // a few runs at a time.
    TempDir t;
    std::vector<std::string> pages = make_site(t);
    std::reverse(pages.begin(), pages.end());
    FakeFileOps ops;
    std::string listed;
    for (std::size_t at = 0; at < pages.size(); at += 30) {
        std::vector<std::string> some(
            pages.begin() + static_cast<long>(at),
            pages.begin() + static_cast<long>(std::min(at + 30, pages.size())));
        listed += run_site(t.path(), some, reporting(site_settings(1, false)), ops).out;
    }
    EXPECT_EQ(result, files_in(t.path()));
    // The names as given, with the separator the walk shows them with.
    std::vector<std::string> found = lines_of(out), named = lines_of(walked(listed));
    std::sort(found.begin(), found.end());
    std::sort(named.begin(), named.end());
    EXPECT_EQ(found, named);
}

using HandOff = SiteRunTest;

// Before it waits for another program's lock, the run holds none: the pages
// before the locked one are in place, those after it are let go, and each
// could be locked by another program at that moment; then every page is
// edited all the same.
TEST_F(HandOff, NoLockIsHeldWhileTheRunWaits) {
    TempDir t;
    std::vector<std::string> pages;
    for (int i = 10; i < 30; ++i)
        pages.push_back(
            t.write(std::string("p").append(std::to_string(i)).append(".htm"), "<font>x</font>\n"));
    HeldLock holder(pages[8]);
    ASSERT_TRUE(holder.held());
    FakeFileOps ops;
    int waits = 0;
    std::vector<std::string> held, old;
    ops.before_flock = [&](int operation) {
        if (operation & LOCK_NB) return;
        ++waits;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            if (i == 8) continue;
            if (!HeldLock(pages[i]).held()) held.push_back(pages[i]);
            if (i < 8 && read_file(pages[i]) != "x\n") old.push_back(pages[i]);
        }
        holder.release();
    };

    const Ran r = run_site(t.path(), {"."}, site_settings(3), ops);

    EXPECT_EQ(1, waits);
    EXPECT_EQ(std::vector<std::string>{}, held) << "locks held while waiting";
    EXPECT_EQ(std::vector<std::string>{}, old) << "pages before it not in place";
    EXPECT_EQ(0, r.status);
    for (const std::string& page : pages) EXPECT_EQ("x\n", read_file(page)) << page;
    EXPECT_EQ(20u, lines_of(r.out).size());
}

}  // namespace
}  // namespace tagpolish::test

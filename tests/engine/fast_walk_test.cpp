// The fast walk against the plain one, on random pages made of everything
// the checks look at: both must give the same output, result and messages,
// byte for byte, under every single option and the option sets of
// bench/run, with each block search this machine runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/engine_run.h"
#include "support/option_sets.h"
#include "support/random_pages.h"
#include "support/test_support.h"

namespace tagpolish {
namespace {

// Each single option, none, and sets of several; each also with -i, so
// that the walk goes on past the bracket errors of a page.
std::vector<std::string> option_sets() {
    std::vector<std::string> sets = test::each_walk_option();
    for (const std::string& more : {std::string(), std::string("-na"),
                                    test::every_walk_option("ijs"), test::every_walk_option("is")})
        sets.push_back(more);
    std::vector<std::string> all = sets;
    for (const std::string& set : sets) all.push_back(set + " -i");
    return all;
}

// Edits the page with the plain walk and with the fast walk and each block
// search; all must agree.
void expect_walks_agree(const std::string& page, const std::string& set, const std::string& name) {
    const std::vector<test::Walk> walks = test::every_walk();
    test::EditRun plain;
    for (const test::Walk& walk : walks) {
        test::WalkWith with(walk);
        const test::EditRun fast = test::edit(page, test::words(set));
        if (!walk.fast) {
            plain = fast;
            continue;
        }
        SCOPED_TRACE(name + ", options \"" + set + "\", " + walk.name);
        ASSERT_EQ(plain.out, fast.out);
        ASSERT_EQ(plain.err, fast.err);
        ASSERT_EQ(plain.result, fast.result);
        ASSERT_EQ(plain.error_line, fast.error_line);
    }
}

TEST(FastWalk, AgreesWithThePlainWalkOnRandomPages) {
    test::PageMaker maker(20240601);
    for (int i = 0; i < 40; ++i) {
        const std::string page = maker.page(i % 8 == 0);
        for (const std::string& set : option_sets())
            ASSERT_NO_FATAL_FAILURE(expect_walks_agree(page, set, "page " + std::to_string(i)));
    }
}

// The same on the real pages of the corpus, each option set with -i.
TEST(FastWalk, AgreesWithThePlainWalkOnRealPages) {
    const std::filesystem::path dir = std::filesystem::path(TAGPOLISH_CORPUS_DIR) / "html";
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no page corpus at " << dir;
    std::vector<std::filesystem::path> pages;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        pages.push_back(entry.path());
    std::sort(pages.begin(), pages.end());
    for (const auto& path : pages) {
        const std::string page = test::read_file(path.string());
        for (const std::string& set : option_sets()) {
            if (!set.ends_with("-i")) continue;
            ASSERT_NO_FATAL_FAILURE(expect_walks_agree(page, set, path.filename().string()));
        }
    }
}

}  // namespace
}  // namespace tagpolish

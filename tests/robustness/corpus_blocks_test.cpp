// Real pages with script, style, raw and preformatted blocks through the
// executable: the options that act around the blocks leave them as they
// were.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/corpus_pages.h"
#include "support/page_model.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

// Pages with script or raw blocks: the options that act around them leave
// their bodies byte for byte.
class CorpusBlocks : public CorpusPage {};

TEST_P(CorpusBlocks, ScriptAndStyleBodiesStayAsTheyAre) {
    const std::vector<std::string_view> bodies = PageRegions(raw_).blocks;
    ASSERT_FALSE(bodies.empty());
    for (const char* option : {"-d:c", "-j", "-c"}) {
        SCOPED_TRACE(option);
        RunResult r = run_tool({option, path_});
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_TRUE(bodies == PageRegions(r.out).blocks) << "a script or raw body changed";
    }
}

// Pages with preformatted blocks: -j joins the lines around them, and the
// text of every block stays as it was. (With -i: such pages may be feeds
// whose HTML sits in declarations.)
class CorpusPre : public CorpusPage {};

TEST_P(CorpusPre, JoiningKeepsTheTextOfEveryPreBlock) {
    const std::vector<std::string_view> blocks = PageRegions(raw_).pre;
    ASSERT_FALSE(blocks.empty());
    RunResult r = run_tool({"-ij", path_});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_TRUE(blocks == PageRegions(r.out).pre) << "the text of a pre block changed";
}

// The pages that hold a script or style block and walk without an error.
std::vector<std::string> pages_with_blocks() {
    std::vector<std::string> pages;
    for (const std::string& file : corpus_files()) {
        std::string raw = read_file(corpus_dir() + "/" + file);
        if (!broken(file) && !PageRegions(raw).blocks.empty()) pages.push_back(file);
    }
    return pages;
}

// The pages that hold a preformatted block.
std::vector<std::string> pages_with_pre() {
    std::vector<std::string> pages;
    for (const std::string& file : corpus_files())
        if (!PageRegions(read_file(corpus_dir() + "/" + file)).pre.empty()) pages.push_back(file);
    return pages;
}

INSTANTIATE_TEST_SUITE_P(Pages, CorpusBlocks, testing::ValuesIn(pages_with_blocks()),
                         corpus_test_name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusBlocks);
INSTANTIATE_TEST_SUITE_P(Pages, CorpusPre, testing::ValuesIn(pages_with_pre()), corpus_test_name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusPre);

}  // namespace
}  // namespace tagpolish::test

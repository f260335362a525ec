// The real Japanese pages and texts of the shared corpus, as the tests that
// run the program over them see them: where they are, which files there
// are, and which pages stop at a bracket error.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tagpolish::test {

inline constexpr const char* lt_open = "'<' does not close.";
inline constexpr const char* gt_alone = "'>' does not correspond with '<'.";

// A page whose brackets do not pair up: the line (from 1) at which the
// program stops, and why.
struct Broken {
    const char* file;
    int line;
    const char* why;
};

// The pages whose brackets do not pair up.
extern const std::vector<Broken> broken_pages;

// The corpus folder (TAGPOLISH_CORPUS_DIR).
std::string corpus_dir();

// Every file of html/ and text/, as "html/name"; none where it is absent.
std::vector<std::string> corpus_files();

// The entry of broken_pages for a file, or null.
const Broken* broken(const std::string& file);

// A test over one file of the corpus (the parameter, as "html/name"): its
// path and its bytes.
class CorpusPage : public testing::TestWithParam<std::string> {
  protected:
    void SetUp() override;
    std::string path_, raw_;
};

// The file's name as a test name.
std::string corpus_test_name(const testing::TestParamInfo<std::string>& info);

}  // namespace tagpolish::test

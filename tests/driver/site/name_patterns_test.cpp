// Shell patterns as sets of names, checked against fnmatch itself: every
// name that fnmatch shows to join a page's name and a suffix into another
// page's name is found.
#include "driver/site/name_patterns.h"

#include <fnmatch.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tagpolish::test {
namespace {

// Every name up to length 4 over a few bytes.
std::vector<std::string> short_names() {
    std::vector<std::string> names{""};
    for (std::size_t at = 0; names[at].size() < 4; ++at)
        for (char c : {'a', 'B', '.', '-'}) names.push_back(names[at] + c);
    return names;
}

TEST(NamePatterns, FindsEveryJoinThatFnmatchShows) {
    const char* pieces[] = {"a", "b", ".", "*", "?", "[ab]", "[!a]", "[a-c]", "\\*", "[", "A"};
    const std::vector<std::string> names = short_names();
    std::minstd_rand pick(7);
    auto pattern = [&] {
        std::string p;
        for (int n = 1 + static_cast<int>(pick() % 4); n > 0; --n) p += pieces[pick() % 11];
        return p;
    };
    int joins = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string first = pattern(), second = pattern();
        const std::string suffix = names[1 + pick() % 20];
        const bool casefold = round % 2 == 1;
        const int flags = casefold ? FNM_CASEFOLD : 0;
        bool witness = false;
        for (const std::string& n : names)
            witness = witness || (fnmatch(first.c_str(), n.c_str(), flags) == 0 &&
                                  fnmatch(second.c_str(), (n + suffix).c_str(), flags) == 0);
        joins += witness;
        if (witness) {
            EXPECT_TRUE(suffix_joins(first, suffix, second, casefold))
                << first << " + " << suffix << " -> " << second;
        }
    }
    EXPECT_LT(100, joins) << "too few cases that join";
}

// An exclude pattern is trusted only where it surely leaves out every name
// that ends in the suffix.
TEST(NamePatterns, MatchesEveryEndOnlyForSure) {
    const struct {
        const char* pattern;
        const char* suffix;
        bool every;
    } cases[] = {
        {"*.orig", ".orig", true}, {"*orig", ".orig", true},     {"*?rig", ".orig", true},
        {"*", ".orig", true},      {"*.orig", ".ORIG", false},   {"x*.orig", ".orig", false},
        {"*.o*", ".orig", false},  {"*[[:alpha:]]", "x", false}, {"*.bak.orig", ".orig", false},
        {"*[a-z]", "q", true},     {"*[!a-z]", "q", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.every, matches_every_end(c.pattern, c.suffix)) << c.pattern << " " << c.suffix;
}

}  // namespace
}  // namespace tagpolish::test

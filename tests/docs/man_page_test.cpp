// The manual page: it formats without warnings, and its OPTIONS section
// names exactly the option letters that the program accepts.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "support/test_support.h"

namespace tagpolish {
namespace {

using test::read_file;
using test::run_tool;
using test::TempDir;

const std::string man_page = TAGPOLISH_SOURCE_DIR "/docs/tagpolish.1";

// Runs a shell command; returns what it printed on both streams and its
// exit status.
std::pair<std::string, int> shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return {"popen failed", -1};
    char buf[4096];
    std::size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, got);
    int status = pclose(pipe);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// The lines of the page from ".SH OPTIONS" up to the next section.
std::string options_section(const std::string& page) {
    std::size_t start = page.find("\n.SH OPTIONS\n");
    if (start == std::string::npos) return {};
    std::size_t end = page.find("\n.SH ", start + 1);
    return page.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The option names that head the entries of the section: each entry is a
// ".TP" line followed by ".B \-x" or ".B \-d:x".
std::set<std::string> documented_options(const std::string& section) {
    std::set<std::string> names;
    std::istringstream lines(section);
    std::string line, previous;
    while (std::getline(lines, line)) {
        if (previous == ".TP" && line.rfind(".B \\-", 0) == 0) names.insert("-" + line.substr(5));
        previous = line;
    }
    return names;
}

// Every option that the program takes, found by trying each lower-case
// letter in a plain and in a -d: argument on an empty file.
std::set<std::string> accepted_options() {
    TempDir dir;
    std::string file = dir.write("empty.htm", "");
    std::set<std::string> names;
    for (char c = 'a'; c <= 'z'; ++c) {
        for (const std::string& name : {std::string("-") + c, std::string("-d:") + c}) {
            if (run_tool({name, file}).status == 0) names.insert(name);
        }
    }
    return names;
}

TEST(ManPage, GroffFormatsItWithoutWarnings) {
    if (std::system("command -v groff >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "groff is not installed";
    auto [out, status] = shell("groff -man -ww -z '" + man_page + "'");
    EXPECT_EQ("", out);
    EXPECT_EQ(0, status);
}

TEST(ManPage, OptionsSectionNamesEveryOptionOfTheProgram) {
    std::string section = options_section(read_file(man_page));
    ASSERT_FALSE(section.empty()) << man_page << " has no OPTIONS section";
    std::set<std::string> documented = documented_options(section);
    EXPECT_EQ(1u, documented.count("-usage"));
    documented.erase("-usage");
    std::set<std::string> accepted = accepted_options();
    EXPECT_FALSE(accepted.empty());
    EXPECT_EQ(accepted, documented);
}

}  // namespace
}  // namespace tagpolish

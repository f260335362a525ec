// The manual page: it formats without warnings, its OPTIONS section
// names exactly the options that the program accepts and that --help
// lists, and its SYNOPSIS, the README's and that of --help name every long
// option.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "driver/command_line/options.h"
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
// ".TP" line (or a ".TQ" line, for a second name) followed by ".B \-x",
// ".B \-d:x", ".B \-\-name", ".BR \-\-name [ ..." or ".BI \-\-name= value",
// the name written with "\-" for each hyphen.
std::set<std::string> documented_options(const std::string& section) {
    std::set<std::string> names;
    std::istringstream lines(section);
    std::string line, previous;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string macro, name;
        words >> macro >> name;
        const bool heads = previous == ".TP" || previous == ".TQ";
        if (heads && (macro == ".B" || macro == ".BR" || macro == ".BI") &&
            name.starts_with("\\-")) {
            for (std::size_t at; (at = name.find("\\-")) != std::string::npos;) name.erase(at, 1);
            names.insert(name.substr(0, name.find('=')));
        }
        previous = line;
    }
    return names;
}

// The options that --help lists: the first word of each line that begins
// with "  -", without the "=N" or "[=SUFFIX]" of an option that takes a
// value.
std::set<std::string> help_options() {
    std::set<std::string> names;
    for (const std::string& text : help_lines()) {
        if (!text.starts_with("  -")) continue;
        std::string name = text.substr(2, text.find(' ', 2) - 2);
        names.insert(name.substr(0, name.find_first_of("[=")));
    }
    return names;
}

// Every option letter that the program takes, found by trying each
// lower-case letter in a plain and in a -d: argument, with -w (which -r
// needs) in a dry run, on an empty file.
std::set<std::string> accepted_options() {
    TempDir dir;
    std::string file = dir.write("empty.htm", "");
    std::set<std::string> names;
    for (char c = 'a'; c <= 'z'; ++c) {
        for (const std::string& name : {std::string("-") + c, std::string("-d:") + c}) {
            if (run_tool({"-w", "--dry-run", name, file}).status == 0) names.insert(name);
        }
    }
    return names;
}

// What a long option needs beside it to be taken, from its row: -r for
// one the walk alone takes, the option it acts with, a value in range for
// a number, a pattern for a list. The backup beside the page was not made
// by a run of the program, so restoring it needs --force; and .orig is
// taken, so --backup makes another.
std::vector<std::string> taken_with(const std::string& name) {
    const OptionRow* row = find_row(name);
    if (row == nullptr) return {name};
    if (name == "--force" || name == "--restore") return {"--restore", "--force"};
    if (name == "--backup") return {name + "=.bak"};
    std::vector<std::string> args;
    if (row->walk_only) args.push_back("-r");
    if (row->needs != nullptr) args.push_back(row->needs);
    if (row->list != nullptr)
        args.push_back(name + "=x");
    else if (row->choice != nullptr)
        args.push_back(name + "=" + row->choice);
    else if (row->form == OptionForm::with_value && row->text == nullptr)
        args.push_back(name + "=" + std::to_string(row->most));
    else
        args.push_back(name);
    return args;
}

// The long options of the table, "--" aside.
std::set<std::string> long_option_rows() {
    std::set<std::string> names;
    for (const OptionRow& row : option_rows)
        if (std::string_view(row.name).starts_with("--") && std::string_view(row.name) != "--")
            names.insert(row.name);
    return names;
}

// The letter clusters that text shows in brackets ("[-acijknsuw]",
// "[ \-d: abcfhilos ]" in troff), written as on the command line.
std::set<std::string> clusters_in(std::string text) {
    for (std::size_t at; (at = text.find("\\-")) != std::string::npos;) text.erase(at, 1);
    std::set<std::string> found;
    static const std::regex cluster(R"(\[ ?(-(d: ?)?[a-z]+) ?\])");
    for (std::sregex_iterator it(text.begin(), text.end(), cluster), end; it != end; ++it) {
        std::string c = (*it)[1];
        std::erase(c, ' ');
        found.insert(c);
    }
    return found;
}

// The long options that text names: each "--" and a letter, up to what is
// neither a letter nor "-".
std::set<std::string> long_options_in(const std::string& text) {
    std::set<std::string> names;
    for (std::size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
        std::size_t end = at + 2;
        while (end < text.size() && ((text[end] >= 'a' && text[end] <= 'z') ||
                                     (text[end] >= '0' && text[end] <= '9') || text[end] == '-'))
            ++end;
        if (end > at + 2 && text[at + 2] != '-') names.insert(text.substr(at, end - at));
        at = end - 2;
    }
    return names;
}

// The text of page between start and the first end after it.
std::string between(const std::string& page, const std::string& start, const std::string& end) {
    const std::size_t from = page.find(start);
    if (from == std::string::npos) return {};
    const std::size_t to = page.find(end, from + start.size());
    return page.substr(from + start.size(),
                       to == std::string::npos ? to : to - from - start.size());
}

TEST(ManPage, SynopsesNameEveryLongOption) {
    const std::set<std::string> table = long_option_rows();
    std::string help, readme_block;
    for (const std::string& line : help_lines()) {
        if (!line.starts_with("Usage:") && !line.starts_with(" ")) break;
        help += line + "\n";
        readme_block += "    " + line + "\n";
    }
    EXPECT_EQ(table, long_options_in(help));
    // The README shows the synopsis of --help as it is.
    const std::string readme = read_file(TAGPOLISH_SOURCE_DIR "/README.md");
    EXPECT_EQ(readme_block, between(readme, "## Usage\n\n", "\n\n") + "\n");
    std::string synopsis = between(read_file(man_page), "\n.SH SYNOPSIS\n", "\n.SH ");
    for (std::size_t at; (at = synopsis.find("\\-")) != std::string::npos;) synopsis.erase(at, 1);
    EXPECT_EQ(table, long_options_in(synopsis));
    // The letters too, cluster by cluster, as --help shows them.
    EXPECT_FALSE(clusters_in(help).empty());
    EXPECT_EQ(clusters_in(help), clusters_in(synopsis));
}

// The README's table of options names every option --help lists but the
// ones that only ask (-usage, --help, --version) and "--", which the text
// above the table tells of.
TEST(ManPage, ReadmeTableNamesEveryOption) {
    const std::string readme = read_file(TAGPOLISH_SOURCE_DIR "/README.md");
    const std::string table = between(readme, "| option | effect |\n", "\n\n");
    ASSERT_FALSE(table.empty());
    std::set<std::string> named;
    static const std::regex cell(R"(`(-[^`=\[]+)[^`]*`)");
    std::istringstream lines(table);
    for (std::string line; std::getline(lines, line);) {
        const std::string first = line.substr(0, line.find(" | ", 2));
        for (std::sregex_iterator it(first.begin(), first.end(), cell), end; it != end; ++it)
            named.insert((*it)[1]);
    }
    std::set<std::string> listed = help_options();
    for (const char* asks : {"-usage", "--help", "--version", "--"}) listed.erase(asks);
    EXPECT_EQ(listed, named);
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
    EXPECT_EQ(help_options(), documented) << "--help and the manual differ";
    EXPECT_EQ(1u, documented.count("-usage"));
    documented.erase("-usage");
    std::set<std::string> letters, long_options;
    for (const std::string& name : documented)
        (name.starts_with("--") ? long_options : letters).insert(name);
    std::set<std::string> accepted = accepted_options();
    EXPECT_FALSE(accepted.empty());
    EXPECT_EQ(accepted, letters);
    // Every long option is taken; with -w and --list, each of them may be,
    // on a page that has a backup.
    TempDir dir;
    std::set<std::string> rows = long_option_rows();
    rows.insert("--");
    EXPECT_EQ(rows, long_options);
    for (const std::string& name : long_options) {
        const std::string file = dir.write("empty.htm", "");
        dir.write("empty.htm.orig", "");
        std::vector<std::string> args{"-w", "--list"};
        for (const std::string& arg : taken_with(name)) args.push_back(arg);
        args.push_back(file);
        EXPECT_EQ(0, run_tool(args).status) << name;
    }
}

}  // namespace
}  // namespace tagpolish

// Real Japanese pages and texts through the executable: unchanged without
// options, no crash or sanitizer report with any option, and only the
// failures that the pages' own markup deserves.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "lib/sjstr.h"
#include "support/corpus_pages.h"
#include "support/option_sets.h"
#include "support/page_model.h"
#include "support/test_support.h"

namespace tagpolish::test {
namespace {

namespace fs = std::filesystem;

// The sweep's tests over every file of the corpus.
class CorpusSweep : public CorpusPage {};

// Options that edit characters or attributes but never a bracket, so a page
// fails with them exactly when it fails without options.
const std::vector<std::string> bracket_neutral = {"-a",   "-c",   "-j",   "-k",
                                                  "-n",   "-s",   "-u",   "-u --flatten-offsite",
                                                  "-d:b", "-d:h", "-d:l", "-d:s"};
// Options that remove whole tags or comments.
const std::vector<std::string> removals = {"-d:a", "-d:c", "-d:f", "-d:i", "-d:o"};

// The two lists and -i are every option of the walk: a new one must be
// placed in one of them.
TEST(CorpusSweepOptions, EveryOptionOfTheWalkIsSwept) {
    std::set<std::string> swept(bracket_neutral.begin(), bracket_neutral.end());
    swept.insert(removals.begin(), removals.end());
    swept.insert("-i");
    const std::vector<std::string> each = each_walk_option();
    EXPECT_EQ(std::set<std::string>(each.begin(), each.end()), swept);
}

// The first n lines of raw, each with its line end.
std::string first_lines(const std::string& raw, int n) {
    std::size_t end = 0;
    for (int i = 0; i < n; ++i) end = raw.find('\n', end) + 1;
    return raw.substr(0, end);
}

// Line n (from 1) as the program sees it: a "\r\n" line end reads as "\n".
std::string line_text(const std::string& raw, int n) {
    std::string line = first_lines(raw, n).substr(first_lines(raw, n - 1).size());
    if (line.ends_with("\r\n")) line.erase(line.size() - 2, 1);
    return line;
}

// A page's lines without their line ends ("\n" or "\r\n"), and those ends.
struct PageLines {
    std::vector<std::string> lines;
    std::vector<std::string> ends;  // "" for a last line without one

    explicit PageLines(const std::string& raw) {
        for (std::size_t at = 0; at < raw.size();) {
            std::size_t nl = raw.find('\n', at);
            if (nl == std::string::npos) nl = raw.size();
            std::size_t body = nl > at && nl < raw.size() && raw[nl - 1] == '\r' ? nl - 1 : nl;
            lines.push_back(raw.substr(at, body - at));
            ends.push_back(raw.substr(body, std::min(nl + 1, raw.size()) - body));
            at = nl + 1;
        }
    }
    std::string text() const {
        std::string s;
        for (std::size_t i = 0; i < lines.size(); ++i) s += lines[i] + ends[i];
        return s;
    }
};

// The text with its line ends, in order, given as ends (as many as it has).
std::string with_line_ends(const std::string& text, const std::vector<std::string>& ends) {
    std::string s;
    std::size_t i = 0;
    for (char c : text) c == '\n' ? s += ends.at(i++) : s += c;
    return s;
}

// A run that ended by itself with no sanitizer report: status 0 and nothing
// on standard error, or status 1 closing with the failure of the input.
void expect_clean(const RunResult& r, const std::string& path) {
    EXPECT_TRUE(r.status == 0 || r.status == 1) << "status " << r.status;
    EXPECT_EQ(std::string::npos, r.err.find("Sanitizer")) << r.err;
    EXPECT_EQ(std::string::npos, r.err.find("runtime error")) << r.err;
    if (r.status == 0) {
        EXPECT_EQ("", r.err);
    }
    if (r.status == 1) {
        EXPECT_TRUE(r.err.ends_with(path + ": failed to convert\n")) << r.err;
    }
}

bool iequals(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// Under -c or -s, no value changes case that a browser reads with its
// case: quoted values, addresses, ids, names, classes, styles and
// handlers (the model's own reading of the tags, not the program's).
void expect_values_keep_case(const std::string& raw, const std::string& out) {
    const std::vector<std::string> kept = {"href",  "src",   "background", "action", "id",
                                           "name",  "class", "style",      "title",  "alt",
                                           "value", "type",  "content",    "usemap", "for"};
    for (const AttributeValue& v : PageRegions(raw).values) {
        const bool keeps = v.quoted || v.name.starts_with("on") ||
                           std::find(kept.begin(), kept.end(), v.name) != kept.end();
        if (!keeps || v.at + v.size > out.size()) continue;
        EXPECT_EQ(raw.substr(v.at, v.size), out.substr(v.at, v.size))
            << "the value of " << v.name << " at byte " << v.at << " changed case";
    }
}

// The attribute values of a page that lead to another site, in order: a
// scheme ("http:", two letters or more) or "//" after any blanks. Base
// tags are left out, as -u removes their references.
std::vector<std::string> off_site_values(const std::string& page) {
    std::vector<std::string> found;
    for (const AttributeValue& v : PageRegions(page).values) {
        if (v.tag.starts_with("base")) continue;
        const std::string value = page.substr(v.at, v.size);
        const std::size_t text = std::min(value.find_first_not_of(" \t\r\n\f"), value.size());
        const std::size_t colon = value.find_first_not_of(
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.", text);
        const bool scheme = colon != std::string::npos && colon >= text + 2 &&
                            value[colon] == ':' &&
                            std::isalpha(static_cast<unsigned char>(value[text]));
        if (scheme || value.compare(text, 2, "//") == 0) found.push_back(value);
    }
    return found;
}

// The runs of printable ASCII of a page, in order: blanks, line ends and
// other bytes end them, and so does a double-byte character, whatever its
// second byte. Joining lines keeps them as they are exactly when it runs
// no two words together.
std::vector<std::string> ascii_words(const std::string& s) {
    std::vector<std::string> words(1);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c > 0x20 && c < 0x7F) {
            words.back() += s[i];
            continue;
        }
        if (!words.back().empty()) words.emplace_back();
        if (is_lead_byte(c)) ++i;
    }
    if (words.back().empty()) words.pop_back();
    return words;
}

// The page without its blanks and line-end bytes, and how many line ends
// it has.
std::string without_blanks_or_line_ends(std::string s) {
    std::erase_if(s, [](char c) { return c == ' ' || c == '\r' || c == '\n'; });
    return s;
}

std::size_t line_ends(const std::string& s) {
    auto lf = std::count(s.begin(), s.end(), '\n');
    return static_cast<std::size_t>(lf ? lf : std::count(s.begin(), s.end(), '\r'));
}

// A second run of one option over the output of the first changes nothing,
// except where a rule of the option itself makes it differ:
// - -j leaves an empty line's newline, which after the first run ends the
//   text joined before it, and the second run joins that text on (with a
//   blank between ASCII words); and it puts a newline before a first line
//   that begins with a paragraph tag on every run. So a second -j only
//   takes line ends away or puts blanks in their place, but for that one
//   newline at the start.
// - -u makes "./x" of an unquoted "abc/x", which a second run cuts down to
//   "x"; no corpus page has such a value.
void expect_second_run_changes_nothing(const std::string& option, const std::string& first) {
    RunResult second = run_tool(words(option), first);
    EXPECT_EQ(0, second.status) << second.err;
    if (option != "-j") {
        EXPECT_TRUE(second.out == first) << "a second run changed the page";
        return;
    }
    EXPECT_TRUE(without_blanks_or_line_ends(second.out) == without_blanks_or_line_ends(first));
    EXPECT_TRUE(ascii_words(second.out) == ascii_words(first)) << "a second run ran words together";
    EXPECT_LE(line_ends(second.out), line_ends(first) + 1);
}

TEST(CorpusSweepFolder, IsPresent) {
    if (!fs::is_directory(corpus_dir() + "/html"))
        GTEST_SKIP() << "no page corpus at " << corpus_dir() << " (html/ and text/): sweep skipped";
    EXPECT_LT(90u, corpus_files().size());
    for (const Broken& b : broken_pages)
        EXPECT_TRUE(fs::exists(corpus_dir() + "/" + b.file)) << b.file;
}

TEST_P(CorpusSweep, WithoutOptionsPassesUnchangedOrStopsWhereTheMarkupBreaks) {
    RunResult r = run_tool({path_});
    const Broken* b = broken(GetParam());
    if (!b) {
        EXPECT_EQ(0, r.status);
        EXPECT_TRUE(r.out == raw_) << "output differs from the page";
        EXPECT_EQ("", r.err);
        return;
    }
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(r.out == first_lines(raw_, b->line - 1)) << "not the lines before the error";
    // "path:line:column: quoted line", the reason, what to do, the failure.
    const std::string head = path_ + ":" + std::to_string(b->line) + ":";
    const std::string why = std::string("\n ... ") + b->why + "\n ... ";
    ASSERT_TRUE(r.err.starts_with(head) && r.err.ends_with(path_ + ": failed to convert\n"))
        << r.err;
    const std::size_t colon = r.err.find(": ", head.size());
    const std::size_t reason = r.err.find(why, colon);
    ASSERT_NE(std::string::npos, reason) << r.err;
    // The column is the bracket's, and the line is quoted as the file has
    // it, cut short when it is long.
    std::string line = line_text(raw_, b->line);
    line.pop_back();
    const std::size_t column = std::stoul(r.err.substr(head.size(), colon - head.size()));
    ASSERT_LE(column, line.size());
    EXPECT_EQ(std::string_view(b->why) == lt_open ? '<' : '>', line[column - 1]);
    const std::string quoted = r.err.substr(colon + 2, reason - colon - 2);
    EXPECT_TRUE(line.starts_with(quoted));
    if (line.size() < 700) {
        EXPECT_EQ(line, quoted);
    }
}

TEST_P(CorpusSweep, IgnoringBracketErrorsPassesEveryPageUnchanged) {
    RunResult r = run_tool({"-i", path_});
    EXPECT_EQ(0, r.status);
    EXPECT_TRUE(r.out == raw_) << "output differs from the page";
    EXPECT_EQ("", r.err);
}

// Each option alone: a clean run, and a second run over its output changes
// nothing but what the option's own rules change.
TEST_P(CorpusSweep, EachSingleOptionRunsCleanAndTwiceAsOnce) {
    const Broken* b = broken(GetParam());
    std::string unedited = b ? first_lines(raw_, b->line - 1) : raw_;
    for (const std::string& option : bracket_neutral) {
        SCOPED_TRACE(option);
        RunResult r = run_tool(words(option, {path_}));
        expect_clean(r, path_);
        EXPECT_EQ(b ? 1 : 0, r.status);
        if (option == "-c" || option == "-s") {
            EXPECT_TRUE(iequals(unedited, r.out));
            expect_values_keep_case(raw_, r.out);
        }
        if (option != "-k" && option != "-j") {
            EXPECT_LE(r.out.size(), raw_.size());
        }
        if (option == "-k") {
            EXPECT_EQ(std::string::npos, PageRegions(r.out).first_text_kana);
        }
        if (option == "-j") {
            EXPECT_TRUE(ascii_words(unedited) == ascii_words(r.out)) << "words run together";
        }
        if (option == "-u") {
            EXPECT_TRUE(off_site_values(unedited) == off_site_values(r.out))
                << "a reference to another site changed";
        }
        if (!b) expect_second_run_changes_nothing(option, r.out);
    }
    // A removal refuses every page that the walk refuses without it, and
    // takes no running text with the tags and comments it removes.
    const std::string text = PageRegions(raw_).text;
    for (const std::string& option : removals) {
        SCOPED_TRACE(option);
        RunResult r = run_tool({option, path_});
        expect_clean(r, path_);
        EXPECT_LE(r.out.size(), raw_.size());
        if (b) {
            EXPECT_EQ(1, r.status);
        } else {
            EXPECT_TRUE(PageRegions(r.out).text == text) << "running text changed";
        }
        if (r.status == 0) expect_second_run_changes_nothing(option, r.out);
    }
}

// The page with the ">" of its first link, image or font tag taken away:
// where the walk then refuses it at a "<" inside that tag, the removal of
// the tag refuses it in the same words, and under -w leaves it as it is.
TEST_P(CorpusSweep, RemovedTagThatLostItsBracketRefusesThePageAsTheWalkDoes) {
    const struct {
        const char* name;
        const char* option;
    } tags[] = {{"<a ", "-d:a"}, {"<img", "-d:i"}, {"<font", "-d:f"}};
    std::string lower = raw_;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::size_t at = std::string::npos;
    const char* option = nullptr;
    for (const auto& t : tags)
        if (const std::size_t k = lower.find(t.name); k < at) at = k, option = t.option;
    const std::size_t end = at == std::string::npos ? at : raw_.find('>', at);
    if (end == std::string::npos) GTEST_SKIP() << "no tag to remove";
    std::string page = raw_;
    page.erase(end, 1);
    TempDir dir;
    const std::string copy = dir.write("page", page);
    RunResult plain = run_tool({copy});
    if (plain.err.find(lt_open) == std::string::npos) GTEST_SKIP() << "the walk finds no '<' in it";

    RunResult removal = run_tool({option, copy});
    EXPECT_EQ(1, removal.status);
    EXPECT_EQ(plain.err, removal.err);
    RunResult w = run_tool({"-w", option, copy});
    EXPECT_EQ(1, w.status);
    EXPECT_TRUE(w.err.ends_with(copy + ": not edited (markup error)\n")) << w.err;
    EXPECT_TRUE(read_file(copy) == page) << "page changed";
}

TEST_P(CorpusSweep, AllOptionsAtOnceRunClean) {
    RunResult r = run_tool(words(every_walk_option(), {path_}));
    expect_clean(r, path_);
    EXPECT_EQ(std::string::npos, PageRegions(r.out).first_text_kana);
}

TEST_P(CorpusSweep, RewriteLeavesThePageAsItWas) {
    TempDir dir;
    std::string copy = dir.write("page", raw_);
    struct stat before, after;
    ASSERT_EQ(0, stat(copy.c_str(), &before));
    RunResult r = run_tool({"-w", copy});
    EXPECT_EQ(broken(GetParam()) ? 1 : 0, r.status);
    EXPECT_TRUE(read_file(copy) == raw_) << "page changed";
    ASSERT_EQ(0, stat(copy.c_str(), &after));
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(std::vector<std::string>{"page"}, dir.entries());
}

// The page with mixed line ends, its first line CR LF, comes out with every
// line's own line end: without options byte for byte (or the lines before
// its markup error), and with -k only the lines that -k edits differ,
// exactly as they differ in the page with LF line ends, whose messages it
// gives too.
TEST_P(CorpusSweep, MixedLineEndsAreKeptLineByLine) {
    PageLines mixed(raw_);
    for (std::size_t i = 0; i < mixed.ends.size(); ++i)
        if (!mixed.ends[i].empty()) mixed.ends[i] = i % 3 == 1 ? "\n" : "\r\n";
    PageLines lf = mixed;
    for (std::string& end : lf.ends)
        if (!end.empty()) end = "\n";
    TempDir mixed_dir, lf_dir;
    const std::string text = mixed.text();
    mixed_dir.write("page", text);
    lf_dir.write("page", lf.text());

    RunResult plain = run_tool_in(mixed_dir.path(), {"page"});
    EXPECT_TRUE(plain.status == 0 ? plain.out == text : text.starts_with(plain.out))
        << "not the page byte for byte";

    RunResult got = run_tool_in(mixed_dir.path(), {"-k", "page"});
    RunResult lf_run = run_tool_in(lf_dir.path(), {"-k", "page"});
    EXPECT_EQ(lf_run.status, got.status);
    EXPECT_EQ(lf_run.err, got.err);
    EXPECT_TRUE(with_line_ends(lf_run.out, mixed.ends) == got.out);
}

INSTANTIATE_TEST_SUITE_P(Pages, CorpusSweep, testing::ValuesIn(corpus_files()), corpus_test_name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusSweep);

}  // namespace
}  // namespace tagpolish::test

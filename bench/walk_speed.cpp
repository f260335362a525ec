// The engine alone: how fast the walk edits a page that is already in
// memory, with the plain walk (every byte through the checks) and the fast
// walk with each block search this machine runs, under each option set of
// bench/run. Reading and writing the page are left out: the lines come
// from memory and the output is only counted.
//
//   [RUNS=n] [WALK=name] walk_speed [SIZE_MB [PAGE [OPTIONS]]]
//
// SIZE_MB (default 32) is the size of the realistic page; the other pages
// are a few megabytes of lines that are hard on the walk. PAGE and OPTIONS
// pick one page (by the start of its name) and one option set. RUNS
// (default 5) sets the runs behind each median; the walks take their turns
// round-robin, one run each per round, so that a busy moment of the
// machine falls on all of them alike. Prints MB per second of processor
// time (1 MB = 2^20 bytes), which other work on the machine blurs less
// than wall time. WALK picks one walk by the name in the table's head.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/page_gen.h"
#include "driver/command_line/options.h"
#include "engine/fast_walk.h"
#include "engine/line_io.h"
#include "engine/scanner.h"

namespace tagpolish {
namespace {

constexpr double mb = 1048576;

// The lines of a page, each followed in memory by a NUL byte.
class PageLines : public LineSource {
  public:
    explicit PageLines(std::string_view page) {
        for (std::size_t at = 0; at < page.size();) {
            std::size_t end = std::min(page.find('\n', at), page.size() - 1) + 1;
            starts_.push_back(store_.size());
            store_.append(page.substr(at, end - at));
            store_.push_back('\0');
            at = end;
        }
        starts_.push_back(store_.size());
    }
    void rewind() { next_ = 0; }
    std::string_view next_line() override {
        if (next_ + 1 >= starts_.size()) return {};
        std::size_t at = starts_[next_], end = starts_[++next_] - 1;
        return {store_.data() + at, end - at};
    }
    LineMark mark() const override { return next_ - 1; }
    void rewind(LineMark mark) override { next_ = static_cast<std::size_t>(mark); }

  private:
    std::string store_;
    std::vector<std::size_t> starts_;
    std::size_t next_ = 0;
};

// Counts what the engine puts out.
class CountSink : public OutputSink {
  public:
    void put(std::string_view item) override { bytes += item.size(); }
    std::size_t bytes = 0;
};

// A page to walk, made when it is needed, with the options it is walked
// under.
struct Page {
    std::string name;
    std::function<std::string()> make;
    std::vector<std::string> option_sets;
};

// The walk's options of a set such as "-acknu -d:abcfhilos", as the
// command line gives them.
WalkOptions options_of(const std::string& set) {
    reset_options();
    std::vector<std::string> args{"walk_speed"};
    std::istringstream words(set);
    for (std::string w; words >> w;) args.push_back(w);
    if (args.size() == 1) return {};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    parse_options(static_cast<int>(argv.size()), argv.data());
    return walk_options_given();
}

// One way to walk: the plain walk, or the fast one with a block search.
struct Walk {
    std::string name;
    bool fast;
    BlockSearch search;
};

// Every walk, or the one that WALK (for example "fast avx2") names.
std::vector<Walk> walks() {
    std::vector<Walk> all{{"plain", false, BlockSearch::portable}};
    for (BlockSearch s : block_searches())
        all.push_back({std::string("fast ") + block_search_name(s), true, s});
    const char* only = std::getenv("WALK");
    if (only) std::erase_if(all, [only](const Walk& w) { return w.name != only; });
    return all;
}

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Processor seconds of one edit of the page; fails the benchmark on an error.
double time_walk(const WalkOptions& opt, PageLines& lines, const Walk& walk,
                 std::size_t& out_bytes) {
    set_fast_walk(walk.fast);
    use_block_search(walk.search);
    lines.rewind();
    CountSink sink;
    double start = cpu_seconds();
    int result = edit_html(opt, "page.htm", lines, sink);
    double s = cpu_seconds() - start;
    if (result != 0) {
        std::fprintf(stderr, "walk_speed: the page failed\n");
        std::exit(1);
    }
    out_bytes = sink.bytes;
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// One table row: the page under one option set, MB/s of each walk.
void time_row(const Page& page, std::size_t bytes, PageLines& lines, const std::string& set,
              const std::vector<Walk>& all, int runs) {
    const WalkOptions opt = options_of(set);
    std::vector<std::vector<double>> secs(all.size());
    std::vector<std::size_t> out(all.size());
    for (int r = 0; r < runs; ++r)
        for (std::size_t w = 0; w < all.size(); ++w)
            secs[w].push_back(time_walk(opt, lines, all[w], out[w]));
    for (std::size_t w = 1; w < all.size(); ++w) {
        if (out[w] != out[0]) {
            std::fprintf(stderr, "walk_speed: %s put out %zu bytes, the plain walk %zu\n",
                         all[w].name.c_str(), out[w], out[0]);
            std::exit(1);
        }
    }
    std::printf("%-14s %-26s", page.name.c_str(), set.empty() ? "(none)" : set.c_str());
    for (std::vector<double>& s : secs) std::printf(" %12.1f", bytes / mb / median(s));
    std::printf("\n");
    std::fflush(stdout);
}

// A line of n bytes made of unit over and over.
std::string repeated_line(std::string_view unit, std::size_t n) {
    std::string line;
    while (line.size() + unit.size() <= n) line += unit;
    return line + "\n";
}

// Lines of `length` bytes made of unit, size bytes in all.
std::string repeated_lines(std::string_view unit, std::size_t size, std::size_t length) {
    const std::string line = repeated_line(unit, length);
    std::string page;
    while (page.size() < size) page += line;
    return page;
}

std::vector<Page> pages(std::size_t size_mb) {
    const std::vector<std::string> bench_sets = {
        "", "-k", "-na", "-c", "-d:f", "-u", "-j", "-acknu -d:abcfhilos", "-acknu -d:abcfhilos -j"};
    const std::vector<std::string> hard_sets = {"", "-k", "-c", "-acknu -d:abcfhilos"};
    auto size = static_cast<std::size_t>(size_mb * mb);
    return {
        {"realistic", [size] { return realistic_page(size); }, bench_sets},
        {"pathological", [] { return pathological_page(8 * 1048576); }, hard_sets},
        {"5 MB of tags", [] { return repeated_line("<b>x</b><p align=left>", 5 * 1048576); },
         hard_sets},
        {"quoted values",
         [] { return repeated_lines("<td class=\"x\" id='y' title=\"z\">", 4 * 1048576, 2000); },
         hard_sets},
        {"kana lines", [] { return repeated_lines("\xB1\xB2\xB3\xB4\xB5", 8 * 1048576, 255999); },
         hard_sets},
        {"only '<'", [] { return repeated_line("<", 4 * 1048576); }, {"-i", "-i -c"}},
    };
}

}  // namespace
}  // namespace tagpolish

int main(int argc, char** argv) {
    using namespace tagpolish;
    long size_mb = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 32;
    std::string_view only_page = argc > 2 ? argv[2] : "";
    const char* only_set = argc > 3 ? argv[3] : nullptr;
    const char* runs_env = std::getenv("RUNS");
    int runs = runs_env ? std::atoi(runs_env) : 5;
    if (argc > 4 || size_mb < 1 || runs < 1) {
        std::fprintf(stderr, "usage: [RUNS=n] walk_speed [SIZE_MB [PAGE [OPTIONS]]]\n");
        return 2;
    }
    const std::vector<Walk> all = walks();
    std::printf("MB/s of the walk alone, median of %d runs\n%-14s %-26s", runs, "page", "options");
    for (const Walk& w : all) std::printf(" %12s", w.name.c_str());
    std::printf("\n");
    for (const Page& page : pages(static_cast<std::size_t>(size_mb))) {
        if (!page.name.starts_with(only_page)) continue;
        const std::string text = page.make();
        PageLines lines(text);
        for (const std::string& set : page.option_sets)
            if (!only_set || set == only_set) time_row(page, text.size(), lines, set, all, runs);
    }
    set_fast_walk(true);
    return 0;
}

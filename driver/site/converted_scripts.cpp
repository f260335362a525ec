#include "driver/site/converted_scripts.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "driver/input/encoding_check.h"
#include "driver/input/line_source.h"
#include "engine/utf8_page.h"
#include "platform/paths.h"
#include "platform/run_stop.h"

namespace tagpolish {
namespace {

// The largest script file this looks into; a larger one is not taken for
// converted.
constexpr std::size_t largest_script = std::size_t{64} << 20;

// The file a script's src names, from the page's folder (the page's name
// up to its last separator, or its root): a relative reference without a
// scheme, a query or a fragment; "" for any other.
std::string script_path(std::string_view page, std::string_view src) {
    while (!src.empty() && (src.front() == ' ' || src.front() == '\t')) src.remove_prefix(1);
    while (!src.empty() && (src.back() == ' ' || src.back() == '\t')) src.remove_suffix(1);
    src = src.substr(0, src.find_first_of("?#"));
    if (src.empty() || src.front() == '/' || src.find_first_of(":\\%") != src.npos) return "";
    const std::size_t slash = find_last_separator(page);
    const std::size_t cut = slash == page.npos ? path_root_length(page) : slash + 1;
    return plain_path(std::string(page.substr(0, cut)) + std::string(src));
}

// Where locks keep others from reading (Windows), a script that another
// worker of the run, or another program, holds locked while it rewrites it
// cannot be read until the lock is let go, which a rewrite does within
// moments: the read is asked again for a while, not for ever, since two
// pages that name each other as scripts would wait on each other.
constexpr int lock_tries = 100;
constexpr auto lock_pause = std::chrono::milliseconds(50);

// Reads text.size() bytes of fd into text; false when they could not all
// be read.
bool read_script(FileOps& ops, int fd, std::string& text) {
    int refused = 0;
    for (std::size_t got = 0; got < text.size();) {
        const ssize_t n = read_some(ops, fd, text.data() + got, text.size() - got, nullptr);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            continue;
        }
        const bool locked = n < 0 && (errno == EWOULDBLOCK || errno == EAGAIN);
        if (!locked || ++refused > lock_tries || stop_requested()) return false;
        std::this_thread::sleep_for(lock_pause);
    }
    return true;
}

}  // namespace

std::string plain_path(std::string_view path) {
    std::vector<std::string_view> steps;
    std::string plain(path.substr(0, path_root_length(path)));
    for (char& c : plain)
        if (is_path_separator(c)) c = '/';
    const bool rooted = root_is_absolute(plain);
    path.remove_prefix(plain.size());
    while (!path.empty()) {
        const std::size_t slash = find_separator(path);
        const std::string_view step = path.substr(0, slash);
        path.remove_prefix(slash == path.npos ? path.size() : slash + 1);
        if (step.empty() || step == ".") continue;
        if (step == ".." && !steps.empty() && steps.back() != "..")
            steps.pop_back();
        else if (!(step == ".." && rooted))
            steps.push_back(step);
    }
    for (std::size_t i = 0; i < steps.size(); ++i) plain.append(i ? "/" : "").append(steps[i]);
    return plain.empty() ? "." : plain;
}

ConvertedScripts::ConvertedScripts(const std::vector<std::string>& names, const WalkRules* walk,
                                   bool replace, FileOps& ops)
    : walk_(walk), replace_(replace), ops_(ops) {
    for (const std::string& name : names) names_.push_back(plain_path(name));
}

bool ConvertedScripts::converts(std::string_view page, std::string_view src) {
    const std::string path = script_path(page, src);
    return !path.empty() && taken(path) && converts_cleanly(path);
}

// Whether the run takes the file at path: one of its names, or under -r a
// file the walk of a folder named takes.
bool ConvertedScripts::taken(const std::string& path) const {
    if (std::any_of(names_.begin(), names_.end(),
                    [&path](const std::string& name) { return same_name(name, path); }))
        return true;
    if (walk_ == nullptr) return false;
    for (const std::string& folder : names_) {
        const bool below = folder == "." ? path_root_length(path) == 0 && !path.starts_with("..")
                                         : name_starts_with(path, folder + "/");
        if (!below) continue;
        std::string_view rest(path);
        if (folder != ".") rest.remove_prefix(folder.size() + 1);
        for (std::size_t slash; (slash = rest.find('/')) != rest.npos;
             rest.remove_prefix(slash + 1))
            if (!walk_enters(*walk_, rest.substr(0, slash))) return false;
        return walk_takes(*walk_, rest);
    }
    return false;
}

// Whether the script at path, a regular file, converts as it is (or is
// in UTF-8 already); what it said of a path is kept for the other pages.
bool ConvertedScripts::converts_cleanly(const std::string& path) {
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        if (const auto known = known_.find(path); known != known_.end()) return known->second;
    }
    bool clean = false;
    const int fd = ops_.openat(AT_FDCWD, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
    FileStat st{};
    if (fd >= 0 && ops_.fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<std::uint64_t>(st.st_size) <= largest_script) {
        std::string text(static_cast<std::size_t>(st.st_size), '\0');
        const bool whole = read_script(ops_, fd, text);
        EncodingCheck check;
        check.feed(text);
        const Encoding kind = check.verdict().kind;
        Utf8Text out;
        EditCounts counts{};
        Utf8Failure failure;
        clean = whole && text.find('\0') == text.npos &&
                (kind == Encoding::utf8 ||
                 (kind == Encoding::shift_jis &&
                  (replace_ ||
                   convert_to_utf8(text, {.kind = Utf8Kind::script}, out, counts, failure))));
    }
    if (fd >= 0) ops_.close(fd);
    const std::lock_guard<std::mutex> hold(mutex_);
    known_.emplace(path, clean);
    return clean;
}

}  // namespace tagpolish

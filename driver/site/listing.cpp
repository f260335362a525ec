#include "driver/site/listing.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string_view>

#include "lib/diag.h"
#include "platform/run_stop.h"

namespace tagpolish {

void Listing::name(std::string_view path) {
    if (failed()) return;
    sink_.put(path);
    sink_.put(std::string_view(&end_, 1));
    if (sink_.flush()) return;
    errmsg_why(sink_.error(), "standard output: cannot write\n");
    // Nobody reads the list any more: the run stops as a broken pipe would
    // have stopped it, with every page of the batch put in place.
    if (sink_.error() == EPIPE) request_stop(broken_pipe_stop);
}

void put_summary(const Tally& tally, RunJob job, bool dry_run, double seconds) {
    using Counts = MsgFormat<std::int64_t, std::int64_t>;
    constexpr Counts restored[] = {"%d pages restored, %d failed\n",
                                   "%d pages would be restored, %d failed\n"};
    constexpr Counts removed[] = {"%d backups removed, %d failed\n",
                                  "%d backups would be removed, %d failed\n"};
    switch (job) {
        case RunJob::edit:
            if (dry_run)
                errmsg("%d files would be rewritten, %d unchanged, %d failed\n", tally.rewritten,
                       tally.unchanged, tally.failed);
            else
                errmsg("%d files rewritten, %d unchanged, %d failed\n", tally.rewritten,
                       tally.unchanged, tally.failed);
            break;
        case RunJob::restore:
            errmsg(restored[dry_run], tally.rewritten, tally.failed);
            break;
        case RunJob::remove:
            errmsg(removed[dry_run], tally.rewritten, tally.failed);
            break;
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", seconds);
    errmsg("%d passed over, %s seconds\n", tally.passed_over, static_cast<const char*>(time));
}

const char* changed_word(RunJob job, bool dry_run) {
    switch (job) {
        case RunJob::edit:
            return dry_run ? "would change" : "rewritten";
        case RunJob::restore:
            return dry_run ? "would be restored" : "restored";
        case RunJob::remove:
            return dry_run ? "would be removed" : "removed";
    }
    return "";
}

std::string report_line(std::string_view name, const EditCounts& counts) {
    std::string line(name);
    line += ':';
    const char* between = " ";
    for (const EditName& e : edit_names) {
        const std::uint64_t n = counts[static_cast<std::size_t>(e.edit)];
        if (n == 0) continue;
        line.append(between).append(e.name).append(" ").append(std::to_string(n));
        between = ", ";
    }
    // A line ending in its colon would read as cut short.
    if (*between == ' ') line += " no edits";
    return line;
}

}  // namespace tagpolish

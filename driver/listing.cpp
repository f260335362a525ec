#include "driver/listing.h"

#include <cerrno>
#include <csignal>
#include <string_view>

#include "driver/run_stop.h"
#include "lib/diag.h"

namespace tagpolish {

void Listing::name(const char* path) {
    if (failed()) return;
    sink_.put(path);
    sink_.put(std::string_view(&end_, 1));
    if (sink_.flush()) return;
    errmsg_why(sink_.error(), "standard output: cannot write\n");
    // Nobody reads the list any more: the run stops as a broken pipe would
    // have stopped it, with every page of the batch put in place.
    if (sink_.error() == EPIPE) request_stop(SIGPIPE);
}

void put_summary(const Tally& tally, bool dry_run) {
    if (dry_run)
        errmsg("%d files would be rewritten, %d unchanged, %d failed\n", tally.rewritten,
               tally.unchanged, tally.failed);
    else
        errmsg("%d files rewritten, %d unchanged, %d failed\n", tally.rewritten, tally.unchanged,
               tally.failed);
}

}  // namespace tagpolish

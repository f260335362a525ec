#include "driver/listing.h"

#include <string_view>

#include "lib/diag.h"

namespace tagpolish {

void Listing::name(const char* path) {
    if (failed()) return;
    sink_.put(path);
    sink_.put(std::string_view(&end_, 1));
    if (!sink_.flush()) errmsg_why(sink_.error(), "standard output: cannot write\n");
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

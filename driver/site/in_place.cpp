// The rewrite in place, as the command line and the file loop reach it.
#include "driver/in_place.h"

#include <cstddef>
#include <iterator>

#include "driver/site/backups.h"
#include "driver/site/site_run.h"
#include "driver/site/site_walk.h"
#include "lib/options.h"

namespace tagpolish {

const char* suffix_joining_pages() {
    WalkRules rules;
    rules.include.assign(include_globs.begin(), include_globs.end());
    rules.exclude.assign(exclude_globs.begin(), exclude_globs.end());
    const char* const options[] = {"--backup", "--restore", "--remove-backups"};
    const char* const suffixes[] = {backup_suffix, restore_suffix, remove_suffix};
    for (std::size_t i = 0; i < std::size(options); ++i)
        if (suffixes[i] != nullptr && suffix_joins_pages(rules, suffixes[i])) return options[i];
    return nullptr;
}

int run_in_place(int first, int argc, char** argv, FileOps& ops) {
    const RunSettings settings = settings_from_options();
    if (settings.job == RunJob::edit &&
        backups_in_the_way(argv + first, argc - first, settings.walk ? &settings.rules : nullptr,
                           settings.how.backup_suffix, settings.how.dry_run, ops))
        return 1;
    SiteRun run(argv + first, argc - first, settings, ops);
    return run.go();
}

}  // namespace tagpolish

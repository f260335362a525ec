// The rewrite in place: -w, with the backups it keeps and acts on
// (--backup, --restore, --remove-backups), which driver/site runs (on
// top of driver/rewrite). What the command line and the file loop know of
// it is here, so that they include nothing of driver/site.
#pragma once

#include "platform/file_ops.h"

namespace tagpolish {

// The suffix of the backups when none is given.
inline constexpr const char* default_backup_suffix = ".orig";

// The first of --backup, --restore and --remove-backups given whose suffix
// would make a page's name into another page's name (so that a backup
// could not be told from a page), or null.
const char* suffix_joining_pages();

// Rewrites the files named argv[first] to argv[argc - 1] in place (-w), or
// restores or removes their backups, and returns the run status.
int run_in_place(int first, int argc, char** argv, FileOps& ops);

}  // namespace tagpolish

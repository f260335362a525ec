// The rewrite in place: -w, with the backups it keeps and acts on
// (--backup, --restore, --remove-backups), which driver/site runs. What
// the command line and the file loop know of it is here, so that a build
// without it compiles none of driver/site and driver/rewrite: it links
// in_place_refused.cpp instead, which refuses these options.
#pragma once

#include "lib/diag.h"
#include "platform/file_ops.h"

namespace tagpolish {

// The suffix of the backups when none is given.
inline constexpr const char* default_backup_suffix = ".orig";

// What a build without the rewrite says of an option that needs it.
inline constexpr MsgFormat<const char*> msg_not_available = "%s: not yet available on Windows\n";

// Whether this build rewrites files in place; without, parse_options
// refuses -w, -r and the backup options (msg_not_available).
bool rewrites_in_place();

// The first of --backup, --restore and --remove-backups given whose suffix
// would make a page's name into another page's name (so that a backup
// could not be told from a page), or null.
const char* suffix_joining_pages();

// Rewrites the files named argv[first] to argv[argc - 1] in place (-w), or
// restores or removes their backups, and returns the run status.
int run_in_place(int first, int argc, char** argv, FileOps& ops);

}  // namespace tagpolish

// The option flags: what the command line asked for, as the engine and the
// driver both read it.
#pragma once

#include <vector>

namespace tagpolish {

// Process-wide option flags: 0 at start, set only by option parsing (to 1,
// opt_u to 4), read everywhere else.
extern int opt_a, opt_c, opt_i, opt_j, opt_k, opt_n, opt_s, opt_u, opt_w;
extern int del_a, del_b, del_c, del_f, del_h, del_i, del_l, del_o, del_s;

// Long options, all for -w: --dry-run, --list and --null set their flag to
// 1; --backup sets backup_suffix (".orig", or the text after "--backup=").
// backup_suffix is null without --backup.
extern int opt_dry_run, opt_list, opt_null;
extern const char* backup_suffix;

// The walk and its run: -r (--recursive), --follow-links, --quiet,
// --report and --force set their flag to 1; --jobs=N sets opt_jobs (0:
// not given); --include= and --exclude= add their pattern.
extern int opt_r, opt_follow_links, opt_quiet, opt_report, opt_force;
extern int opt_jobs;
extern std::vector<const char*> include_globs, exclude_globs;

// --restore and --remove-backups set their suffix (".orig", or the text
// after "="); null when not given.
extern const char *restore_suffix, *remove_suffix;

// Clears every option flag (for tests and the fuzzer; the program never
// clears a flag).
void reset_options();

}  // namespace tagpolish

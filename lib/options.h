// The option flags: what the command line asked for, as the engine and the
// driver both read it.
#pragma once

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

// Clears every option flag (for tests and the fuzzer; the program never
// clears a flag).
void reset_options();

}  // namespace tagpolish

// The command line: option flags, the usage text and option parsing.
#pragma once

namespace tagpolish {

// Process-wide option flags: 0 at start, set only by parse_options (to 1,
// opt_u to 4), read everywhere else.
extern int opt_a, opt_c, opt_i, opt_j, opt_k, opt_n, opt_s, opt_u, opt_w;
extern int del_a, del_b, del_c, del_f, del_h, del_i, del_l, del_o, del_s;

// Long options, all for -w: --dry-run, --list and --null set their flag to
// 1; --backup sets backup_suffix (".orig", or the text after "--backup=").
// backup_suffix is null without --backup.
extern int opt_dry_run, opt_list, opt_null;
extern const char* backup_suffix;

// The help text as Shift_JIS (cp932) bytes, 37 lines and a null entry.
extern const char* const usage[];

// The English help of --help, one line per entry, and a null entry.
extern const char* const help_lines[];

// Clears every option flag (for tests and the fuzzer; the program never
// clears a flag).
void reset_options();

// Handles "-usage" and the empty command line, then sets the flags from the
// option arguments: letter clusters, long options ("--list"), and "--",
// after which every argument is a file name. Returns the index of the first
// file argument (argc when there is none). Ends the process itself for
// help, the version, the usage line and a refused option.
int parse_options(int argc, char** argv);

}  // namespace tagpolish

// The command line: option flags, the usage text and option parsing.
#pragma once

namespace tagpolish {

// Process-wide option flags: 0 at start, set only by parse_options (to 1,
// opt_u to 4), read everywhere else.
extern int opt_a, opt_c, opt_i, opt_j, opt_k, opt_n, opt_s, opt_u, opt_w;
extern int del_a, del_b, del_c, del_f, del_h, del_i, del_l, del_o, del_s;

// The help text as Shift_JIS (cp932) bytes, 37 lines and a null entry.
extern const char* const usage[];

// Clears every option flag (for tests and the fuzzer; the program never
// clears a flag).
void reset_options();

// Handles "-usage" and the empty command line, then sets the flags from the
// option arguments. Returns the index of the first file argument (argc when
// there is none). Ends the process itself for help, the usage line and an
// unknown option letter.
int parse_options(int argc, char** argv);

}  // namespace tagpolish

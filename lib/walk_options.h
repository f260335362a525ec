// What the walk of a page is asked to do: the edits and the bracket check,
// one field per option that the walk reads. The engine is handed this
// value; the command line makes it once (walk_options_given, in
// lib/options.h), tests and the fuzzer make it directly.
#pragma once

namespace tagpolish {

// Each field holds what its option's row sets it to: 0 when the option is
// not given, 1 (-u: 4) when it is.
struct WalkOptions {
    int a = 0, c = 0, i = 0, j = 0, k = 0, n = 0, s = 0, u = 0;
    int flatten_offsite = 0;
    int del_a = 0, del_b = 0, del_c = 0, del_f = 0, del_h = 0, del_i = 0, del_l = 0, del_o = 0,
        del_s = 0;
};

// One field of the walk's options, as the tables of checks and edits name
// the option they act under.
using WalkFlag = int WalkOptions::*;

}  // namespace tagpolish

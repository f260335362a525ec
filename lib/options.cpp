#include "lib/options.h"

#include <initializer_list>

namespace tagpolish {

int opt_a, opt_c, opt_i, opt_j, opt_k, opt_n, opt_s, opt_u, opt_w;
int del_a, del_b, del_c, del_f, del_h, del_i, del_l, del_o, del_s;
int opt_dry_run, opt_list, opt_null;
const char* backup_suffix;
int opt_r, opt_follow_links, opt_quiet, opt_report, opt_force;
int opt_jobs;
std::vector<const char*> include_globs, exclude_globs;
const char *restore_suffix, *remove_suffix;

void reset_options() {
    for (int* flag : {&opt_a, &opt_c, &opt_i, &opt_j, &opt_k, &opt_n, &opt_s, &opt_u, &opt_w})
        *flag = 0;
    for (int* flag : {&del_a, &del_b, &del_c, &del_f, &del_h, &del_i, &del_l, &del_o, &del_s})
        *flag = 0;
    for (int* flag : {&opt_dry_run, &opt_list, &opt_null}) *flag = 0;
    backup_suffix = nullptr;
    for (int* flag : {&opt_r, &opt_follow_links, &opt_quiet, &opt_report, &opt_force, &opt_jobs})
        *flag = 0;
    include_globs.clear();
    exclude_globs.clear();
    restore_suffix = remove_suffix = nullptr;
}

}  // namespace tagpolish

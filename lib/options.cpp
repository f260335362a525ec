#include "lib/options.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace tagpolish {

int opt_a, opt_c, opt_i, opt_j, opt_k, opt_n, opt_s, opt_u, opt_w;
int del_a, del_b, del_c, del_f, del_h, del_i, del_l, del_o, del_s;
int opt_dry_run, opt_list, opt_null;
int opt_r, opt_follow_links, opt_quiet, opt_report, opt_force;
int opt_jobs;
const char *backup_suffix, *restore_suffix, *remove_suffix;
std::vector<const char*> include_globs, exclude_globs;

namespace {

constexpr bool walk_reads(const OptionRow& row) {
    return row.role != OptionRole::run;
}

constexpr std::size_t walk_option_count =
    std::count_if(std::begin(option_rows), std::end(option_rows), walk_reads);

const std::array<const OptionRow*, walk_option_count> walk_rows = [] {
    std::array<const OptionRow*, walk_option_count> rows{};
    std::size_t n = 0;
    for (const OptionRow& row : option_rows)
        if (walk_reads(row)) rows[n++] = &row;
    return rows;
}();

}  // namespace

std::span<const OptionRow* const> walk_options() {
    return walk_rows;
}

bool edits_asked() {
    return std::any_of(std::begin(option_rows), std::end(option_rows), [](const OptionRow& row) {
        return row.role == OptionRole::edit && *row.flag != 0;
    });
}

void reset_options() {
    for (const OptionRow& row : option_rows) {
        if (row.flag != nullptr) *row.flag = 0;
        if (row.text != nullptr) *row.text = nullptr;
        if (row.list != nullptr) row.list->clear();
    }
}

}  // namespace tagpolish

#include "lib/options.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace tagpolish {

namespace {

constexpr bool walk_reads(const OptionRow& row) {
    return row.walk != nullptr;
}

constexpr std::size_t walk_option_count =
    std::count_if(std::begin(option_rows), std::end(option_rows), walk_reads);

// Made when the program is compiled, so it is there before any code runs.
constexpr std::array<const OptionRow*, walk_option_count> walk_rows = [] {
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

const OptionRow* find_row(std::string_view name) {
    for (const OptionRow& row : option_rows)
        if (name == row.name) return &row;
    return nullptr;
}

bool edits_asked() {
    return std::any_of(std::begin(option_rows), std::end(option_rows), [](const OptionRow& row) {
        return (row.role == OptionRole::edit || row.role == OptionRole::output) &&
               *flag_of(row) != 0;
    });
}

void reset_options() {
    walk_flags = {};
    for (const OptionRow& row : option_rows) {
        if (row.flag != nullptr) *row.flag = 0;
        if (row.text != nullptr) *row.text = nullptr;
        if (row.list != nullptr) row.list->clear();
    }
}

}  // namespace tagpolish

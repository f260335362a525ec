#include "support/option_sets.h"

#include <sstream>
#include <string_view>

#include "lib/options.h"

namespace tagpolish::test {

std::vector<std::string> each_walk_option() {
    std::vector<std::string> sets;
    for (const OptionRow* row : walk_options())
        sets.push_back(row->needs ? std::string(row->needs) + " " + row->name : row->name);
    return sets;
}

std::string every_walk_option(const std::string& without) {
    std::string letters = "-", deletes = "-d:", words;
    for (const OptionRow* row : walk_options()) {
        if (row->form == OptionForm::letter && without.find(row->letter()) == std::string::npos)
            letters += row->letter();
        else if (row->form == OptionForm::delete_letter)
            deletes += row->letter();
        else if (row->form == OptionForm::word)
            words += std::string(" ") + row->name;
    }
    return letters + words + " " + deletes;
}

std::vector<std::string> words(const std::string& set, const std::vector<std::string>& more) {
    std::vector<std::string> all;
    std::istringstream in(set);
    for (std::string w; in >> w;) all.push_back(w);
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

}  // namespace tagpolish::test

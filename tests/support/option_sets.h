// The walk's options as command-line words, made from the table of
// options, so that a test's option sets take up a new option by
// themselves.
#pragma once

#include <string>
#include <vector>

namespace tagpolish::test {

// Each option of the walk alone, after the option it needs: "-a", ...,
// "-u --flatten-offsite", "-d:a", ... in the table's order.
std::vector<std::string> each_walk_option();

// Every option of the walk at once, but the letters named in `without`
// (e.g. "is" leaves out -i and -s): "-acijknsu --flatten-offsite
// -d:abcfhilos".
std::string every_walk_option(const std::string& without = "");

// The words of an option set ("-u --flatten-offsite": two), then more.
std::vector<std::string> words(const std::string& set, const std::vector<std::string>& more = {});

}  // namespace tagpolish::test

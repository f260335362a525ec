// Shell patterns (as fnmatch takes them, byte by byte) as sets of file
// names, so that what a backup suffix does to the names of pages can be
// told before any file is looked at.
#pragma once

#include <string_view>

namespace tagpolish {

// Whether some name that first matches, followed by suffix, is a name
// that second matches; letter case is ignored with casefold (as
// FNM_CASEFOLD ignores it). A bracket expression that names a class or a
// multi-byte element counts as any byte, so that the answer errs towards
// yes.
bool suffix_joins(std::string_view first, std::string_view suffix, std::string_view second,
                  bool casefold);

// Whether pattern (fnmatch without flags, or with FNM_CASEFOLD where
// casefold) matches every name that ends in suffix (in any letter case
// where casefold), as far as can be told for sure: a "*" and then a part
// without "*" or classes that matches the end of suffix.
bool matches_every_end(std::string_view pattern, std::string_view suffix, bool casefold = false);

}  // namespace tagpolish

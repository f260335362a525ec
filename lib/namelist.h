// The name list: an ordered list of owned text copies.
#pragma once

#include <deque>
#include <string>
#include <string_view>

namespace tagpolish {

// While non-zero, add_name refuses a text that the list already holds.
extern int name_lst_dup_check;

// An ordered list of NUL-terminated texts that the list owns. A fetched
// pointer stays valid until del_allname: appending never moves an entry.
struct NameList {
    std::deque<std::string> entries;
};

// Makes the list empty; what it held is released.
void name_init(NameList& list);

// Appends a copy of text. Returns 0.
int add_list(NameList& list, std::string_view text);

// Appends a copy of text unless name_lst_dup_check is set and an equal text
// is already in the list. Returns 0.
int add_name(NameList& list, std::string_view text);

// Walks the list: n == 0 restarts at the first entry, n == 1 gives the next.
// Null past the end. The position is shared by all lists.
const char* get_name(const NameList& list, int n);

// Entry i (from 0), or null when i is out of range.
const char* get_name2(const NameList& list, int i);

// Releases every text and empties the list; it may be filled again at once.
void del_allname(NameList& list);

}  // namespace tagpolish

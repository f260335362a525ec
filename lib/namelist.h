// The name list: an ordered list of owned text copies.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "lib/mem.h"

namespace tagpolish {

// While non-zero, add_name refuses a text that the list already holds.
extern int name_lst_dup_check;

// A block of text copies; it is released with the size it was taken with.
struct TextBlockFree {
    std::size_t size = 0;
    void operator()(char* block) const { large_free(block, size); }
};
using TextBlock = std::unique_ptr<char[], TextBlockFree>;

// An ordered list of NUL-terminated texts that the list owns. Texts live in
// large blocks that never move, so a fetched pointer stays valid until
// del_allname; the entry table makes append and fetch by number O(1).
struct NameList {
    std::vector<TextBlock> blocks;  // storage of the copies
    std::size_t block_used = 0;     // bytes used in blocks.back()
    std::size_t block_size = 0;     // capacity of blocks.back()
    std::vector<std::string_view, LargeAllocator<std::string_view>> entries;  // without NULs
};

// Makes the list empty; what it held is released.
void name_init(NameList& list);

// Appends a copy of text. Returns 0.
int add_list(NameList& list, std::string_view text);

// Appends a copy of text to the end of the last entry, so that a text can
// be stored as it arrives, piece by piece. The list must not be empty.
void extend_last(NameList& list, std::string_view text);

// Appends a copy of text unless name_lst_dup_check is set and an equal text
// is already in the list. Returns 0.
int add_name(NameList& list, std::string_view text);

// Walks the list: n == 0 restarts at the first entry, n == 1 gives the next.
// Null past the end. The position is shared by all lists.
const char* get_name(const NameList& list, int n);

// Entry i (from 0), or null when i is out of range.
const char* get_name2(const NameList& list, int i);

// Entry i with its length; an empty view with null data when out of range.
std::string_view get_entry(const NameList& list, int i);

// Number of entries.
int name_count(const NameList& list);

// Releases every text and empties the list; it may be filled again at once.
void del_allname(NameList& list);

}  // namespace tagpolish

// The name list: texts copied into strings that never move, in a deque for
// appending and fetching by number in constant time.
#include "lib/namelist.h"

#include <new>

#include "lib/mem.h"

namespace tagpolish {

int name_lst_dup_check = 1;

namespace {

// The position of get_name: one for all lists, so only one walk at a time.
std::size_t walk_position = 0;

// A failed allocation ends the program with a message, whether or not the
// new handler has been installed.
void append(NameList& list, std::string_view text) {
    try {
        list.entries.emplace_back(text);
    } catch (const std::bad_alloc&) {
        out_of_memory();
    }
}

}  // namespace

void name_init(NameList& list) {
    list = NameList{};
}

int add_list(NameList& list, std::string_view text) {
    append(list, text);
    return 0;
}

int add_name(NameList& list, std::string_view text) {
    if (name_lst_dup_check != 0) {
        for (const std::string& entry : list.entries) {
            if (entry == text) return 0;
        }
    }
    append(list, text);
    return 0;
}

const char* get_name(const NameList& list, int n) {
    if (n == 0) walk_position = 0;
    if (walk_position >= list.entries.size()) return nullptr;
    return list.entries[walk_position++].c_str();
}

const char* get_name2(const NameList& list, int i) {
    if (i < 0 || static_cast<std::size_t>(i) >= list.entries.size()) return nullptr;
    return list.entries[static_cast<std::size_t>(i)].c_str();
}

void del_allname(NameList& list) {
    list = NameList{};
}

}  // namespace tagpolish

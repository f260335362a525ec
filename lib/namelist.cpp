// The name list: texts copied into large blocks that never move, with a
// table of entries for appending and fetching by number in constant time.
#include "lib/namelist.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tagpolish {

int name_lst_dup_check = 1;

namespace {

// Most lines are short: one block holds many thousands of them. A large
// input takes blocks that double in size up to block_size_max, so that it
// needs few of them.
constexpr std::size_t block_size_min = std::size_t{1} << 20;
constexpr std::size_t block_size_max = std::size_t{64} << 20;

// The position of get_name: one for all lists, so only one walk at a time.
std::size_t walk_position = 0;

// Opens a new last block of at least n bytes. Blocks are not zeroed:
// every byte handed out is written at once.
void open_block(NameList& list, std::size_t n) {
    const std::size_t next =
        list.blocks.empty() ? block_size_min : std::min(2 * list.block_size, block_size_max);
    const std::size_t size = large_capacity(std::max(n, next));
    list.blocks.emplace_back(static_cast<char*>(large_alloc(size)), TextBlockFree{size});
    list.block_size = size;
    list.block_used = 0;
}

// Room for n more bytes in the last block, opening a new block if needed.
char* reserve(NameList& list, std::size_t n) {
    if (list.blocks.empty() || list.block_size - list.block_used < n) open_block(list, n);
    char* p = list.blocks.back().get() + list.block_used;
    list.block_used += n;
    return p;
}

// A failed allocation ends the program with a message, whether or not the
// new handler has been installed.
void append(NameList& list, std::string_view text) {
    try {
        char* copy = reserve(list, text.size() + 1);
        if (!text.empty()) std::memcpy(copy, text.data(), text.size());
        copy[text.size()] = '\0';
        list.entries.emplace_back(copy, text.size());
    } catch (const std::bad_alloc&) {
        out_of_memory();
    }
}

// The NUL that ends the last entry: the last byte used in the last block,
// as every entry goes to the end of the last block when it is added.
char* last_end(NameList& list) {
    return list.blocks.back().get() + list.block_used - 1;
}

}  // namespace

void name_init(NameList& list) {
    list = NameList{};
}

int add_list(NameList& list, std::string_view text) {
    append(list, text);
    return 0;
}

void extend_last(NameList& list, std::string_view text) {
    if (text.empty()) return;
    std::string_view& last = list.entries.back();
    if (list.block_size - list.block_used >= text.size()) {
        char* end = last_end(list);
        std::memcpy(end, text.data(), text.size());
        end[text.size()] = '\0';
        list.block_used += text.size();
        last = std::string_view(last.data(), last.size() + text.size());
        return;
    }
    // The entry moves to a new block with room to grow as much again, so
    // that all the moves of an entry that keeps growing copy no more than
    // twice its final size.
    try {
        const std::size_t size = last.size() + text.size();
        open_block(list, 2 * (size + 1));
        char* copy = reserve(list, size + 1);
        std::memcpy(copy, last.data(), last.size());
        std::memcpy(copy + last.size(), text.data(), text.size());
        copy[size] = '\0';
        last = std::string_view(copy, size);
    } catch (const std::bad_alloc&) {
        out_of_memory();
    }
}

int add_name(NameList& list, std::string_view text) {
    if (name_lst_dup_check != 0) {
        for (std::string_view entry : list.entries) {
            if (entry == text) return 0;
        }
    }
    append(list, text);
    return 0;
}

const char* get_name(const NameList& list, int n) {
    if (n == 0) walk_position = 0;
    if (walk_position >= list.entries.size()) return nullptr;
    return list.entries[walk_position++].data();
}

const char* get_name2(const NameList& list, int i) {
    return get_entry(list, i).data();
}

std::string_view get_entry(const NameList& list, int i) {
    if (i < 0 || static_cast<std::size_t>(i) >= list.entries.size()) return {};
    return list.entries[static_cast<std::size_t>(i)];
}

int name_count(const NameList& list) {
    return static_cast<int>(list.entries.size());
}

void del_allname(NameList& list) {
    list = NameList{};
}

}  // namespace tagpolish

#include "lib/namelist.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tagpolish {
namespace {

class NameListTest : public testing::Test {
  protected:
    void SetUp() override { name_init(list); }
    void TearDown() override {
        del_allname(list);
        name_lst_dup_check = saved_check;
    }

    // Every entry, in order, through get_name2.
    std::vector<std::string> all() const {
        std::vector<std::string> texts;
        for (int i = 0; get_name2(list, i) != nullptr; ++i) texts.emplace_back(get_name2(list, i));
        return texts;
    }

    NameList list;
    int saved_check = name_lst_dup_check;
};

TEST_F(NameListTest, EmptyListHasNoEntries) {
    EXPECT_EQ(nullptr, get_name(list, 0));
    EXPECT_EQ(nullptr, get_name2(list, 0));
}

TEST_F(NameListTest, FetchByNumberEndsAtBothSides) {
    for (const char* text : {"one\n", "", "three\n"}) EXPECT_EQ(0, add_list(list, text));
    EXPECT_EQ(nullptr, get_name2(list, -1));
    EXPECT_STREQ("one\n", get_name2(list, 0));
    EXPECT_STREQ("", get_name2(list, 1));  // the empty string is an entry too
    EXPECT_STREQ("three\n", get_name2(list, 2));
    EXPECT_EQ(nullptr, get_name2(list, 3));
}

TEST_F(NameListTest, WalkStopsAtTheEndAndRestartsWithZero) {
    add_list(list, "a");
    add_list(list, "b");
    EXPECT_STREQ("a", get_name(list, 0));
    EXPECT_STREQ("b", get_name(list, 1));
    EXPECT_EQ(nullptr, get_name(list, 1));
    EXPECT_EQ(nullptr, get_name(list, 1));
    EXPECT_STREQ("a", get_name(list, 0));
    EXPECT_STREQ("a", get_name2(list, 0));  // does not move the walk
    EXPECT_STREQ("b", get_name(list, 1));
}

TEST_F(NameListTest, WalkPositionIsSharedByAllLists) {
    NameList other;
    name_init(other);
    for (const char* text : {"a0", "a1", "a2", "a3"}) add_list(list, text);
    add_list(other, "b0");
    add_list(other, "b1");
    EXPECT_STREQ("a0", get_name(list, 0));
    EXPECT_STREQ("b1", get_name(other, 1));
    EXPECT_STREQ("a2", get_name(list, 1));
    // Past the end of the shorter list: null, and the position stays put.
    EXPECT_EQ(nullptr, get_name(other, 1));
    EXPECT_STREQ("a3", get_name(list, 1));
    del_allname(other);
}

TEST_F(NameListTest, DuplicateCheckSwitch) {
    name_lst_dup_check = 1;
    add_name(list, "<p>\n");
    EXPECT_EQ(0, add_name(list, "<p>\n"));
    add_name(list, "<P>\n");
    add_list(list, "<p>\n");  // never checks
    EXPECT_EQ((std::vector<std::string>{"<p>\n", "<P>\n", "<p>\n"}), all());

    del_allname(list);
    name_lst_dup_check = 0;
    for (int i = 0; i < 3; ++i) add_name(list, "\n");
    add_name(list, "");
    add_name(list, "");
    EXPECT_EQ((std::vector<std::string>{"\n", "\n", "\n", "", ""}), all());
}

TEST_F(NameListTest, EntryIsTheListsOwnCopy) {
    std::string line = "<html>\n";
    add_list(list, line);
    line[1] = 'X';
    EXPECT_STREQ("<html>\n", get_name2(list, 0));
    // Only the view's bytes are stored, each copy ends in its own NUL.
    add_list(list, std::string_view("abcdef", 3));
    EXPECT_STREQ("abc", get_name2(list, 1));
}

TEST_F(NameListTest, FetchedTextsStayPutWhileTheListGrows) {
    add_list(list, "first");
    const std::string big(3u << 20, 'b');
    add_list(list, big);
    const char* first = get_name2(list, 0);
    const char* second = get_name2(list, 1);
    for (int i = 0; i < 100000; ++i)
        add_list(list, "line " + std::to_string(i) + " of the input\n");
    EXPECT_EQ(first, get_name2(list, 0));
    EXPECT_STREQ("first", first);
    EXPECT_EQ(big.size(), std::strlen(second));
    EXPECT_STREQ("line 99999 of the input\n", get_name2(list, 100001));
    EXPECT_EQ(nullptr, get_name2(list, 100002));
    EXPECT_STREQ("line 0 of the input\n", get_name2(list, 2));
}

TEST_F(NameListTest, EmptiedListTakesNewEntriesAtOnce) {
    del_allname(list);
    EXPECT_EQ(nullptr, get_name2(list, 0));
    add_list(list, "old");
    del_allname(list);
    EXPECT_EQ(nullptr, get_name2(list, 0));
    add_name(list, "new");
    EXPECT_EQ((std::vector<std::string>{"new"}), all());
    EXPECT_STREQ("new", get_name(list, 0));
}

}  // namespace
}  // namespace tagpolish

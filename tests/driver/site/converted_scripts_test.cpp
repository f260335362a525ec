#include "driver/site/converted_scripts.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "support/fake_file_ops.h"
#include "support/test_support.h"

namespace tagpolish {
namespace {

TEST(ConvertedScripts, PlainPaths) {
    const std::pair<const char*, const char*> cases[] = {
        {"./a/../b//c", "b/c"}, {".", "."},         {"", "."},
        {"a/./b/", "a/b"},      {"../x", "../x"},   {"a/../../x", "../x"},
        {"/a/../../b", "/b"},   {"./site", "site"},
    };
    for (const auto& [path, plain] : cases) EXPECT_EQ(plain, plain_path(path)) << path;
}

// A script's file counts as converted where the run takes it and its text
// converts (or is UTF-8 already).
TEST(ConvertedScripts, OnlyFilesTheRunTakesAndConverts) {
    test::TempDir dir;
    dir.write("a.js", "w('\x93\xFA')\n");
    dir.write("u.js", "w('\xE6\x97\xA5')\n");
    dir.write("bad.js", "w('\xA0')\n");
    dir.write("skip.js", "w(1)\n");
    const std::string top = dir.path();
    WalkRules js;
    js.include = {"*.htm", "*.js"};
    js.exclude = {"skip.js"};
    const struct {
        const WalkRules* walk;
        bool replace;
        std::string src;
        bool converts;
    } cases[] = {
        {&js, false, "a.js", true},      {&js, false, " ./a.js?v=2#x ", true},
        {&js, false, "u.js", true},      {&js, false, "bad.js", false},
        {&js, true, "bad.js", true},     {&js, false, "skip.js", false},
        {&js, false, "none.js", false},  {&js, false, "http://example.jp/a.js", false},
        {&js, false, "/a.js", false},    {&js, false, "a%2Ejs", false},
        {nullptr, false, "a.js", false},  // not among the names
    };
    for (const auto& c : cases) {
        ConvertedScripts scripts({top}, c.walk, c.replace, system_file_ops());
        EXPECT_EQ(c.converts, scripts.converts(top + "/index.htm", c.src)) << c.src;
    }
    WalkRules pages;  // the default patterns take no script
    EXPECT_FALSE(ConvertedScripts({top}, &pages, false, system_file_ops())
                     .converts(top + "/index.htm", "a.js"));
    EXPECT_TRUE(
        ConvertedScripts({top + "/index.htm", top + "/a.js"}, nullptr, false, system_file_ops())
            .converts(top + "/index.htm", "a.js"));
}

// A script that another worker or program holds locked, where locks keep
// readers out (Windows), is read once the lock is let go; a read that
// fails otherwise leaves the script taken for unconverted.
TEST(ConvertedScripts, LockedScriptIsReadOnceItIsLetGo) {
    test::TempDir dir;
    dir.write("a.js", "w('\x93\xFA')\n");
    const std::string top = dir.path();
    const struct {
        const char* name;
        int error;
        bool converts;
    } cases[] = {
        {"locked for a moment", EWOULDBLOCK, true},
        {"cannot be read", EIO, false},
    };
    for (const auto& c : cases) {
        test::FakeFileOps ops({{test::Call::read, c.error}});
        ConvertedScripts scripts({top + "/index.htm", top + "/a.js"}, nullptr, false, ops);
        EXPECT_EQ(c.converts, scripts.converts(top + "/index.htm", "a.js")) << c.name;
        EXPECT_EQ(c.converts ? 2 : 1, ops.count(test::Call::read)) << c.name;
    }
}

}  // namespace
}  // namespace tagpolish

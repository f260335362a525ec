// The layering that docs/DESIGN.md draws, read from the sources' own
// includes: the engine and lib know nothing of the driver, the engine
// reads no command-line flag, and each room of the driver includes only
// the rooms after it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>

namespace tagpolish::test {
namespace {

namespace fs = std::filesystem;

// The project headers that the sources in folder include.
std::set<std::string> includes_of(const std::string& folder) {
    std::set<std::string> found;
    static const std::regex include(R"re(^#include "([^"]+)")re");
    for (const auto& e : fs::directory_iterator(std::string(TAGPOLISH_SOURCE_DIR "/") + folder)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path());
        for (std::string line; std::getline(in, line);) {
            std::smatch m;
            if (std::regex_search(line, m, include)) found.insert(m[1]);
        }
    }
    return found;
}

bool in_folder(const std::string& header, const std::string& folder) {
    return header.starts_with(folder + "/");
}

TEST(IncludeGraph, EngineAndLibKnowNothingOfTheDriver) {
    for (const char* folder : {"engine", "lib"})
        for (const std::string& header : includes_of(folder))
            EXPECT_FALSE(in_folder(header, "driver")) << folder << " includes " << header;
    EXPECT_EQ(0u, includes_of("engine").count("lib/options.h"))
        << "the engine is handed its options; it reads no flag";
}

TEST(IncludeGraph, EachRoomIncludesOnlyTheRoomsAfterIt) {
    const std::string rooms[] = {"driver/command_line", "driver/site", "driver/rewrite",
                                 "driver/input"};
    for (std::size_t r = 0; r < std::size(rooms); ++r)
        for (const std::string& header : includes_of(rooms[r]))
            for (std::size_t before = 0; before < r; ++before)
                EXPECT_FALSE(in_folder(header, rooms[before]))
                    << rooms[r] << " includes " << header;
}

// A header of the system (<unistd.h>, <sys/stat.h>, <windows.h>) as
// opposed to one of the C++ library (<cerrno>, <string>): it has a ".h" or
// a folder in its name. The compiler's intrinsics (<immintrin.h>) are not
// the system's.
std::set<std::string> system_headers_of(const std::string& folder) {
    std::set<std::string> found;
    static const std::regex include(R"re(^#include <([^>]*(\.h|/)[^>]*)>)re");
    for (const auto& e :
         fs::recursive_directory_iterator(std::string(TAGPOLISH_SOURCE_DIR "/") + folder)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path());
        for (std::string line; std::getline(in, line);) {
            std::smatch m;
            if (std::regex_search(line, m, include) && !m[1].str().ends_with("intrin.h"))
                found.insert(e.path().filename().string() + ": " + m[1].str());
        }
    }
    return found;
}

TEST(IncludeGraph, OnlyThePlatformLayerIncludesSystemHeaders) {
    for (const char* folder : {"driver", "engine", "lib"})
        EXPECT_EQ(std::set<std::string>{}, system_headers_of(folder)) << "in " << folder;
}

}  // namespace
}  // namespace tagpolish::test

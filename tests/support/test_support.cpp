// The helpers that are the same on every system.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "platform/paths.h"

namespace tagpolish::test {

std::string TempDir::write(const std::string& name, std::string_view bytes) const {
    std::string p = path_ + "/" + name;
    std::ofstream f(fs_path(p), std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p;
}

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(fs_path(path_)))
        names.push_back(name_of(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

std::string read_file(const std::string& path) {
    std::ifstream f(fs_path(path), std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string repeat(std::string_view unit, std::size_t times) {
    std::string s;
    s.reserve(unit.size() * times);
    for (std::size_t i = 0; i < times; ++i) s.append(unit);
    return s;
}

std::string timeless(std::string err) {
    static const std::regex time(" passed over, [0-9]+\\.[0-9] seconds\n");
    return std::regex_replace(err, time, " passed over, T seconds\n");
}

std::string walked(std::string text) {
    std::replace(text.begin(), text.end(), '/', shown_separator);
    return text;
}

std::vector<std::string> entries_of(const std::string& dir) {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(fs_path(dir)))
        names.push_back(name_of(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

void set_read_only(const std::string& path, bool read_only) {
    namespace fs = std::filesystem;
    constexpr fs::perms writable =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    std::error_code ec;
    if (read_only)
        fs::permissions(fs_path(path), writable, fs::perm_options::remove, ec);
    else
        fs::permissions(fs_path(path), fs::perms::owner_write, fs::perm_options::add, ec);
    EXPECT_FALSE(ec) << path << ": " << ec.message();
}

void make_folder(const std::string& path) {
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::create_directory(fs_path(path), ec))
        << path << ": " << ec.message();
}

std::string unrecorded_backup(const std::string& dir, const std::string& name) {
    if (keeps_user_attributes(dir)) return "";
    return name +
           ": cannot keep the record that --restore checks; --restore will refuse such pages "
           "without --force\n  Operation not supported\n";
}

void make_hard_link(const std::string& from, const std::string& to) {
    std::error_code ec;
    std::filesystem::create_hard_link(fs_path(from), fs_path(to), ec);
    EXPECT_FALSE(ec) << to << ": " << ec.message();
}

}  // namespace tagpolish::test

#include "platform/paths.h"

#include "platform/file_ops.h"  // AT_EMPTY_PATH

namespace tagpolish {
namespace {

bool is_drive_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The length of "C:\" or "C:" at the start of path, or 0.
std::size_t drive_length(std::string_view path) {
    if (path.size() < 2 || !is_drive_letter(path[0]) || path[1] != ':') return 0;
    return path.size() > 2 && is_path_separator(path[2]) ? 3 : 2;
}

// The length of "server\share\" (or of as much of it as path holds) at
// the start of path.
std::size_t share_length(std::string_view path) {
    const std::size_t server = find_separator(path);
    if (server == std::string_view::npos) return path.size();
    const std::size_t share = find_separator(path, server + 1);
    return share == std::string_view::npos ? path.size() : share + 1;
}

// After "\\?\" or "\\.\": "C:\", "UNC\server\share\", or one name (a
// volume, "Volume{...}\", or a device) and its separator.
std::size_t device_root_length(std::string_view rest) {
    if (const std::size_t drive = drive_length(rest)) return drive;
    if (rest.size() >= 4 && same_name(rest.substr(0, 3), "UNC") && is_path_separator(rest[3]))
        return 4 + share_length(rest.substr(4));
    const std::size_t end = find_separator(rest);
    return end == std::string_view::npos ? rest.size() : end + 1;
}

}  // namespace

const char shown_separator = '\\';
const bool names_fold_case = true;

bool is_path_separator(char c) {
    return c == '/' || c == '\\';
}

bool name_may_hold(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && std::string_view("/\\:<>\"|?*").find(c) == std::string_view::npos;
}

std::size_t path_root_length(std::string_view path) {
    if (const std::size_t drive = drive_length(path)) return drive;
    if (path.empty() || !is_path_separator(path[0])) return 0;
    if (path.size() < 2 || !is_path_separator(path[1])) return 1;
    const std::string_view after = path.substr(2);
    if (after.size() >= 2 && (after[0] == '?' || after[0] == '.') && is_path_separator(after[1]))
        return 4 + device_root_length(after.substr(2));
    return 2 + share_length(after);
}

OpenFileLink open_file_link(int fd) {
    OpenFileLink link;
    link.dir = fd;
    link.flags = AT_EMPTY_PATH;
    return link;
}

}  // namespace tagpolish

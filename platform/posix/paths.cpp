#include "platform/paths.h"

#include <fcntl.h>

#include <cstdio>

namespace tagpolish {

const char shown_separator = '/';
const bool names_fold_case = false;

bool is_path_separator(char c) {
    return c == '/';
}

bool name_may_hold(char c) {
    return c != '/';
}

std::size_t path_root_length(std::string_view path) {
    return path.starts_with('/') ? 1 : 0;
}

OpenFileLink open_file_link(int fd) {
    OpenFileLink link;
    link.dir = AT_FDCWD;
    std::snprintf(link.path, sizeof link.path, "/proc/self/fd/%d", fd);
    link.flags = AT_SYMLINK_FOLLOW;
    return link;
}

}  // namespace tagpolish

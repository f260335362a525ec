#include "platform/users.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace tagpolish {

std::uint32_t effective_user() {
    return geteuid();
}

bool acts_as_superuser() {
    return geteuid() == 0;
}

bool in_group(std::uint32_t group) {
    if (group == getegid()) return true;
    const int n = getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(n > 0 ? n : 0));
    const int got = n > 0 ? getgroups(n, groups.data()) : 0;
    for (int i = 0; i < got; ++i)
        if (groups[static_cast<std::size_t>(i)] == group) return true;
    return false;
}

// getpwuid_r, as workers ask at the same time.
std::string user_name(std::uint32_t uid) {
    passwd entry{}, *found = nullptr;
    std::vector<char> text(1024);
    while (getpwuid_r(uid, &entry, text.data(), text.size(), &found) == ERANGE &&
           text.size() < (std::size_t{1} << 20))
        text.resize(text.size() * 2);
    return found != nullptr ? found->pw_name : std::to_string(uid);
}

}  // namespace tagpolish

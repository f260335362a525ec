// The users and groups that the owner rules of a rewrite in place ask
// about. On Windows they are security identifiers (SIDs), which the
// Windows side numbers, and the superuser is a process that may act as an
// administrator.
#pragma once

#include <cstdint>
#include <string>

namespace tagpolish {

// The user the process acts as, and whether that user may do anything
// (the superuser), which decides who may own the files it makes.
std::uint32_t effective_user();
bool acts_as_superuser();

// Whether the user running the program belongs to group.
bool in_group(std::uint32_t group);

// The name of the user uid, or its number when it has none. Safe to ask
// from several threads at once.
std::string user_name(std::uint32_t uid);

}  // namespace tagpolish

// The program's numbers for Windows security identifiers (SIDs), which
// stand where POSIX has user and group ids: 0 for the Administrators group
// (and the system account, whose files a superuser's are), and numbers
// from 1000 up for the others, in the order the process meets them. Safe
// to use from several threads at once.
#pragma once

#include <cstdint>
#include <vector>

namespace tagpolish {

// sid: a valid PSID. None, or one that is not valid, gives no_sid_id.
std::uint32_t id_of_sid(const void* sid);

// Copies the SID numbered id into sid (0 gives the Administrators group);
// false when the process never gave that number.
bool sid_of_id(std::uint32_t id, std::vector<unsigned char>& sid);

// The number of no one, as (uid_t)-1 is on POSIX: no SID is given it.
inline constexpr std::uint32_t no_sid_id = 0xFFFFFFFF;

}  // namespace tagpolish

// What a file's security descriptor says of its owner, in the program's
// numbers for SIDs (platform/windows/sids.h).
#pragma once

#include <windows.h>

#include <cstdint>

namespace tagpolish {

// The owner and group of the file open as h; the number of no one when
// the handle may not read them.
void owners_of(HANDLE h, std::uint32_t& owner, std::uint32_t& group);

}  // namespace tagpolish

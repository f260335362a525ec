#include "platform/process.h"

#include <windows.h>

#include <algorithm>

namespace tagpolish {

// The C runtime's table of descriptors holds this many.
long open_file_limit(bool) {
    return 8192;
}

int processor_count() {
    DWORD_PTR mine = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &mine, &system) && mine != 0) {
        int count = 0;
        for (; mine != 0; mine &= mine - 1) ++count;
        return count;
    }
    return static_cast<int>(std::max<DWORD>(1, GetActiveProcessorCount(ALL_PROCESSOR_GROUPS)));
}

long process_id() {
    return static_cast<long>(GetCurrentProcessId());
}

}  // namespace tagpolish

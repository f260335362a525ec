#include "platform/process.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

namespace tagpolish {

long open_file_limit(bool raise) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
    if (raise && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, rlim_t{1} << 20);
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0 && getrlimit(RLIMIT_NOFILE, &limit) != 0)
            return -1;
    }
    if (limit.rlim_cur == RLIM_INFINITY) return 0;
    return static_cast<long>(std::min<rlim_t>(limit.rlim_cur, rlim_t{1} << 30));
}

int processor_count() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return static_cast<int>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
}

long process_id() {
    return static_cast<long>(getpid());
}

}  // namespace tagpolish

#include "platform/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace tagpolish {

const char* const null_device = "/dev/null";

// The lowest free number is the one an open takes, so the descriptors are
// filled in order.
int take_standard_streams() {
    // A file-size limit must fail the write, not kill the process before
    // it can remove its temporary file.
    std::signal(SIGXFSZ, SIG_IGN);
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int taken = open(null_device, fd == 0 ? O_WRONLY : O_RDONLY);
        if (taken < 0) return errno;
        if (taken != fd) {  // only when something else took the number meanwhile
            dup2(taken, fd);
            close(taken);
        }
    }
    return 0;
}

}  // namespace tagpolish

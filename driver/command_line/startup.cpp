#include "driver/command_line/startup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "lib/diag.h"

namespace tagpolish {

// The lowest free number is the one an open takes, so the descriptors are
// filled in order.
bool take_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int taken = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (taken < 0) {
            errmsg_why(errno, "/dev/null: cannot open\n");
            return false;
        }
        if (taken != fd) {  // only when something else took the number meanwhile
            dup2(taken, fd);
            close(taken);
        }
    }
    return true;
}

}  // namespace tagpolish

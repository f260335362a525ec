#include "platform/standard_streams.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

namespace tagpolish {
namespace {

// Whether descriptor fd has a handle: a process started without one of
// its standard handles gets -1 or -2 for it.
bool is_open(int fd) {
    const intptr_t handle = _get_osfhandle(fd);
    return handle != -1 && handle != -2;
}

}  // namespace

const char* const null_device = "NUL";

int take_standard_streams() {
    static constexpr DWORD std_handles[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int fd = 0; fd <= 2; ++fd) {
        if (!is_open(fd)) {
            const int taken = _open(null_device, (fd == 0 ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
            if (taken < 0) return errno;
            if (taken != fd) {
                _dup2(taken, fd);
                _close(taken);
            }
            // The system's own standard handle as well, which the console
            // calls take.
            SetStdHandle(std_handles[fd], reinterpret_cast<HANDLE>(_get_osfhandle(fd)));
        }
        // The pages' bytes go as they are: no CR LF for LF, no end at 0x1A.
        _setmode(fd, _O_BINARY);
    }
    return 0;
}

}  // namespace tagpolish

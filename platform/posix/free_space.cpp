#include "platform/free_space.h"

#include <sys/statvfs.h>

namespace tagpolish {

double FreeDiskSpace = 0.0;

int getFreeSpace(const char* name) {
    struct statvfs fs;
    if (statvfs(name, &fs) == 0)
        FreeDiskSpace = static_cast<double>(fs.f_bavail) * static_cast<double>(fs.f_frsize);
    else
        FreeDiskSpace = -1.0;
    if (FreeDiskSpace > 2147483647.0) return 2147483647;
    return static_cast<int>(FreeDiskSpace);
}

}  // namespace tagpolish

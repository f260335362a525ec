// What both sides share: the one SystemFileOps, and the calls that a stop
// cuts short.
#include "platform/file_ops.h"

#include <cerrno>

#include "platform/run_stop.h"

namespace tagpolish {

FileOps& system_file_ops() {
    static SystemFileOps ops;
    return ops;
}

namespace {

class StoppableFileOps : public SystemFileOps {
  public:
    ssize_t write(int fd, const void* data, std::size_t size) override {
        return cut_short(SystemFileOps::write(fd, data, size));
    }
    ssize_t writev(int fd, const iovec* iov, int count) override {
        return cut_short(SystemFileOps::writev(fd, iov, count));
    }

  private:
    static ssize_t cut_short(ssize_t result) {
        if (result < 0 && errno == EINTR && stop_requested()) errno = ECANCELED;
        return result;
    }
};

}  // namespace

FileOps& stoppable_file_ops() {
    static StoppableFileOps ops;
    return ops;
}

}  // namespace tagpolish

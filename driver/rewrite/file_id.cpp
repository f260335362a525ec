#include "driver/rewrite/file_id.h"

#include <algorithm>

namespace tagpolish {
namespace {

bool same_time(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

bool unchanged(const FileStat& before, const FileStat& now) {
    return before.st_dev == now.st_dev && before.st_ino == now.st_ino &&
           before.st_size == now.st_size && same_time(before.st_mtim, now.st_mtim) &&
           same_time(before.st_ctim, now.st_ctim);
}

void take_state(FileId& id, const FileStat& st) {
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtime = st.st_mtim;
    id.ctime = st.st_ctim;
}

// The handle is kept with its type in front, as bytes.
FileId file_id(FileOps& ops, int fd, const FileStat& st) {
    FileId id;
    take_state(id, st);
    alignas(file_handle) unsigned char room[sizeof(file_handle) + MAX_HANDLE_SZ] = {};
    auto* handle = reinterpret_cast<file_handle*>(room);
    handle->handle_bytes = MAX_HANDLE_SZ;
    int mount = 0;
    if (ops.name_to_handle_at(fd, "", handle, &mount, AT_EMPTY_PATH) != 0) return id;
    const int type = handle->handle_type;
    id.handle.append(reinterpret_cast<const char*>(&type), sizeof type);
    id.handle.append(reinterpret_cast<const char*>(room + sizeof(file_handle)),
                     std::min<std::size_t>(handle->handle_bytes, MAX_HANDLE_SZ));
    return id;
}

bool same_file(const FileId& a, const FileId& b) {
    if (a.dev != b.dev || a.ino != b.ino || a.size != b.size || !same_time(a.mtime, b.mtime) ||
        !same_time(a.ctime, b.ctime))
        return false;
    return a.handle.empty() || b.handle.empty() || a.handle == b.handle;
}

}  // namespace tagpolish

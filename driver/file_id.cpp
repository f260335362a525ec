#include "driver/file_id.h"

#include <fcntl.h>

#include <algorithm>

namespace tagpolish {
namespace {

bool same_time(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// A handle with its type in front, as its bytes.
constexpr std::size_t handle_room = sizeof(int) + MAX_HANDLE_SZ;

}  // namespace

bool unchanged(const struct stat& before, const struct stat& now) {
    return before.st_dev == now.st_dev && before.st_ino == now.st_ino &&
           before.st_size == now.st_size && same_time(before.st_mtim, now.st_mtim) &&
           same_time(before.st_ctim, now.st_ctim);
}

FileId file_id(FileOps& ops, int fd, const struct stat& st) {
    FileId id;
    id.handle.reserve(handle_room);
    take_id(id, ops, fd, st);
    return id;
}

void take_id(FileId& id, FileOps& ops, int fd, const struct stat& st) {
    id.st = st;
    id.handle.clear();
    alignas(file_handle) unsigned char room[sizeof(file_handle) + MAX_HANDLE_SZ] = {};
    auto* handle = reinterpret_cast<file_handle*>(room);
    handle->handle_bytes = MAX_HANDLE_SZ;
    int mount = 0;
    if (ops.name_to_handle_at(fd, "", handle, &mount, AT_EMPTY_PATH) != 0) return;
    const int type = handle->handle_type;
    id.handle.append(reinterpret_cast<const char*>(&type), sizeof type);
    id.handle.append(reinterpret_cast<const char*>(room + sizeof(file_handle)),
                     std::min<std::size_t>(handle->handle_bytes, MAX_HANDLE_SZ));
}

bool same_file(const FileId& a, const FileId& b) {
    if (!unchanged(a.st, b.st)) return false;
    return a.handle.empty() || b.handle.empty() || a.handle == b.handle;
}

}  // namespace tagpolish

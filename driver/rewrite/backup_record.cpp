#include "driver/rewrite/backup_record.h"

#include <cerrno>
#include <charconv>
#include <cstdio>

#include "driver/input/line_source.h"

namespace tagpolish {
namespace {

constexpr std::string_view version = "1";
constexpr std::size_t read_block = std::size_t{1} << 16;

// Takes the next word of text, up to a space or the end.
std::string_view next_word(std::string_view& text) {
    const std::size_t end = std::min(text.find(' '), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    return word;
}

// Takes "name SIZE HASH" from text.
bool read_contents(std::string_view& text, std::string_view name, Contents& out) {
    if (next_word(text) != name) return false;
    const std::string_view size = next_word(text), hash = next_word(text);
    const auto a = std::from_chars(size.data(), size.data() + size.size(), out.size);
    const auto b = std::from_chars(hash.data(), hash.data() + hash.size(), out.hash, 16);
    return !size.empty() && a.ec == std::errc() && a.ptr == size.data() + size.size() &&
           hash.size() == 16 && b.ec == std::errc() && b.ptr == hash.data() + hash.size();
}

}  // namespace

Contents contents_of(const TextHash& hash) {
    return {hash.size(), hash.value()};
}

std::string record_text(const BackupRecord& r) {
    char text[96];
    const int n = std::snprintf(text, sizeof text, "%s page %llu %016llx backup %llu %016llx",
                                version.data(), static_cast<unsigned long long>(r.page.size),
                                static_cast<unsigned long long>(r.page.hash),
                                static_cast<unsigned long long>(r.backup.size),
                                static_cast<unsigned long long>(r.backup.hash));
    return std::string(text, static_cast<std::size_t>(n));
}

bool read_record(std::string_view text, BackupRecord& record) {
    return next_word(text) == version && read_contents(text, "page", record.page) &&
           read_contents(text, "backup", record.backup) && text.empty();
}

int put_record(FileOps& ops, int fd, const BackupRecord& record) {
    const std::string text = record_text(record);
    return ops.fsetxattr(fd, record_attr, text.data(), text.size(), 0) == 0 ? 0 : errno;
}

// A file system without user attributes has no record either.
int get_record(FileOps& ops, int fd, BackupRecord& record) {
    char text[128];
    const ssize_t got = ops.fgetxattr(fd, record_attr, text, sizeof text);
    if (got < 0) return errno == ERANGE || errno == ENOTSUP ? ENODATA : errno;
    return read_record({text, static_cast<std::size_t>(got)}, record) ? 0 : ENODATA;
}

int contents_of(FileOps& ops, int fd, Contents& contents) {
    TextHash hash;
    std::string block(read_block, '\0');
    for (std::uint64_t at = 0;;) {
        const ssize_t got = read_some(ops, fd, block.data(), block.size(), &at);
        if (got < 0) return errno;
        if (got == 0) break;
        hash.add({block.data(), static_cast<std::size_t>(got)});
        at += static_cast<std::uint64_t>(got);
    }
    contents = contents_of(hash);
    return 0;
}

}  // namespace tagpolish

// The record that a run with --backup leaves on each page it replaces, so
// that --restore can tell later, whatever has been done to the times and
// owners of the files since, whether the page still holds what that run
// wrote and its backup what the run kept: an extended attribute of the
// page, given to the new file before it takes the page's name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "lib/text_hash.h"
#include "platform/file_ops.h"

namespace tagpolish {

// The attribute that holds the record. A new page never takes it over
// from the old one.
inline constexpr const char* record_attr = "user.tagpolish.backup";

// What a file holds, in short: its size and the hash of its bytes.
struct Contents {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    bool operator==(const Contents&) const = default;
};

Contents contents_of(const TextHash& hash);

struct BackupRecord {
    Contents page;    // what the run wrote as the page
    Contents backup;  // what it kept as the page's backup
};

// The record as the attribute holds it, in words that getfattr shows:
// "1 page SIZE HASH backup SIZE HASH", the sizes in decimal and the
// hashes in 16 hexadecimal digits.
std::string record_text(const BackupRecord& record);
// Reads text as record_text writes it; false when it is no record.
bool read_record(std::string_view text, BackupRecord& record);

// Gives the file open as fd the record. 0 or the errno.
int put_record(FileOps& ops, int fd, const BackupRecord& record);
// Reads the record of the file open as fd: 0, ENODATA when it has none
// (or what it holds is none), or the errno.
int get_record(FileOps& ops, int fd, BackupRecord& record);

// What the file open as fd holds, read through ops from its start. 0 or
// the errno.
int contents_of(FileOps& ops, int fd, Contents& contents);

}  // namespace tagpolish

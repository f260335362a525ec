// A file made beside the one it is to replace or keep: the edited text of
// a rewrite, or the copy that backs up the old file.
#pragma once

#include <optional>
#include <string>

#include "driver/file_ops.h"

namespace tagpolish {

// How a rewrite, or one step of it, ended. Unless it is done, the file was
// left as it was and the failure has been reported.
enum class Rewrite {
    done,     // the file holds the new text (or the step is made)
    refused,  // this file cannot be rewritten safely; the run goes on
    stopped,  // the new text cannot be written or put in place; the run stops
};

// Reports "failed to rewrite" for path with the reason error; the run stops.
Rewrite give_up(int error, const char* path);

// Links the file open as fd into the directory open as dir_fd under name,
// through /proc, which needs no privilege where linking the descriptor
// itself would. Never replaces an existing name. Returns 0 or the errno.
int link_open_file(FileOps& ops, int fd, int dir_fd, const char* name);

// Holds back the signals that would end the process (hang-up, interrupt,
// quit, termination, a broken pipe) while it lives, so that no file made
// under a name of its own is left behind half done. Holds nest: the
// signals come once the last hold ends.
class SignalHold {
  public:
    SignalHold();
    ~SignalHold();
    SignalHold(const SignalHold&) = delete;
    SignalHold& operator=(const SignalHold&) = delete;
};

// The new file, from its making until it is in its place; whatever is left
// of it on the way out (a failure, a signal held back meanwhile) is
// removed. While it has a temporary name, signals are held.
class NewFile {
  public:
    explicit NewFile(FileOps& ops);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Makes the file in dir: unnamed where the file system allows it, so
    // that it goes with the process however that ends, else under a
    // temporary name. Returns 0 or the errno.
    int make(const std::string& dir);
    // Makes the file in dir under name itself, never over an existing
    // file (EEXIST). Returns 0 or the errno.
    int make_named(const std::string& dir, const std::string& name);
    // Writes every byte of the file open as from. 0 or the errno.
    int copy(int from);
    // Gives the file what the old file open as old_fd (which fstat
    // described as old) has and the process may give: owner and group,
    // extended attributes and ACL, and its permission bits, last. path
    // names the input in messages.
    Rewrite carry(int old_fd, const struct stat& old, const char* path);
    // Gives the file the access and modification times in old.
    int copy_times(const struct stat& old);
    // Makes the file (sync) or its bytes and size (sync_data) last a power
    // cut. 0 or the errno.
    int sync();
    int sync_data();
    // Renames the synced file over base in its directory. 0 or the errno.
    int put_in_place(const std::string& base);
    // Keeps a file made under its own name (make_named) where it is.
    void keep() {
        name_.clear();
        hold_.reset();
    }
    // Syncs the directory, so that a change to its names lasts a power cut.
    int sync_dir();
    int dir_fd() const { return dir_fd_; }
    // The file, open to write; -1 before it is made.
    int fd() const { return fd_; }

  private:
    int give_name();
    void copy_owner(const struct stat& old);
    Rewrite copy_attributes(int old_fd, const char* path);
    FileOps& ops_;
    int dir_fd_ = -1;
    int fd_ = -1;
    std::string name_;                // the file's name in the directory, "" while it has none
    std::optional<SignalHold> hold_;  // while it has a name that is not its own
};

}  // namespace tagpolish

// Rewriting a file in place under -w: opening it so that no other run of
// the program edits it meanwhile, and replacing it with the edited text.
#pragma once

#include <signal.h>

#include <optional>
#include <string>

#include "driver/file_ops.h"

namespace tagpolish {

// An input opened to be rewritten: fd is open and locked, or -1; then error
// is the errno of the failed open, or 0 when the input is not a regular
// file.
struct RewriteInput {
    int fd = -1;
    int error = 0;
};

// Opens name for reading, to rewrite it later. Only a regular file is
// taken (looked at before anything is read, and without waiting for the
// writer of a FIFO). The file stays locked (flock) until fd is closed, so
// that another run of the program on the same file waits; when that run
// replaced the file while this one waited, the new file is opened.
RewriteInput open_to_rewrite(const char* name, FileOps& ops = system_file_ops());

// How a rewrite ended. Unless it is done, the file was left as it was and
// the failure has been reported.
enum class Rewrite {
    done,     // the file holds the new text
    refused,  // the file's ACL or permission bits cannot be kept; the run goes on
    stopped,  // the new text cannot be written or put in place; the run stops
};

// The new file that replaces a file under -w, from before the walk, which
// writes the new text into it, until it has replaced the file or is
// dropped. It is made in the directory of the file that the path leads to
// (the final target of a symbolic link), unnamed where the file system
// allows it; on replacing the file it gets the old file's owner and group
// (as far as the user may give them), its extended attributes and ACL, and
// its permission bits; it is synced, renamed over the target, and the
// directory is synced. One that does not replace the file is removed.
class NewFile {
  public:
    // For the file at path, whose old text is open as old_fd.
    NewFile(const char* path, int old_fd, FileOps& ops = system_file_ops());
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Makes the new file, if the user may write the old one. Returns 0 or
    // the errno, which is reported only by commit: a text that comes out
    // unchanged needs no new file.
    int prepare();
    // Where to write the new text: -1 until prepare has made the file.
    int fd() const { return fd_; }
    // Puts the new file, which holds the whole new text, in place of the
    // old one; write_error is the errno of the first write of the text that
    // failed, or 0. A failure is reported: that of prepare as "cannot open
    // to write", that of a write as "failed to rewrite".
    Rewrite commit(int write_error);

  private:
    int make(const std::string& dir);
    void copy_owner(const struct stat& old);
    Rewrite copy_attributes();
    int give_name();
    int replace();

    // Signals that would end the process while a new file has a name in
    // the directory are held back until it has been renamed or removed.
    class HoldSignals {
      public:
        HoldSignals();
        ~HoldSignals();
        HoldSignals(const HoldSignals&) = delete;
        HoldSignals& operator=(const HoldSignals&) = delete;

      private:
        sigset_t old_;
    };

    const char* path_;
    int old_fd_;
    FileOps& ops_;
    std::string base_;  // the target's name in its directory
    int made_ = 0;      // what prepare returned
    int dir_fd_ = -1;
    int fd_ = -1;
    std::string temp_;  // the new file's name in the directory, "" while it has none
    std::optional<HoldSignals> hold_;
};

}  // namespace tagpolish

// Finding the file that a name leads to, for -w: one component at a time,
// each folder opened as it is met and each symbolic link followed only
// when its owner can be trusted, so that every later step (the lock, the
// new file, the backup, the last check, the rename) acts through the final
// folder's descriptor and never looks the name up again.
#pragma once

#include <string>

#include "driver/input/input_edit.h"  // say_unopened, for a name that does not resolve
#include "platform/file_ops.h"

namespace tagpolish {

// Where a name leads: a file, by its folder and its name there.
struct Target {
    Fd dir;            // the folder that holds the file
    std::string base;  // the file's name in that folder
    // that folder as messages show it, with its separator ("" for the
    // current one)
    std::string dir_shown;
    bool link = false;  // the name itself was a symbolic link
    Fd file;            // the file (O_PATH), until it is opened
    FileStat st{};      // what fstat said of the file
    std::string shown() const { return dir_shown + base; }
};

enum class Resolved {
    found,
    missing,       // a component cannot be opened (error says why)
    foreign_link,  // a symbolic link on the way that is not followed
    link,          // the name itself is a symbolic link, not to be followed
};

struct Resolution {
    Resolved how = Resolved::found;
    int error = 0;
    Target target;
};

// Resolves name from the current folder (or from the root it begins
// with: platform/paths.h), following at most 40 symbolic links. A link
// (on Windows a symbolic link or a junction), whether it names the file
// or a folder above it, is followed only when it belongs to the user
// running the program, to root (on Windows the Administrators group), or
// to the owner of what it leads to: then nobody can lead the program,
// through a link of their own, to a file they could not change
// themselves.
Resolution resolve(const char* name, FileOps& ops = system_file_ops());

// Resolves name (one entry, or a path) from the folder open as dir, which
// messages show as shown (with its separator), as resolve does from the current
// folder; when name itself is a symbolic link and follow is not set, it
// answers link.
Resolution resolve_at(int dir, const std::string& shown, const char* name, bool follow,
                      FileOps& ops = system_file_ops());

}  // namespace tagpolish

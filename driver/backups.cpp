#include "driver/backups.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "driver/inputs.h"
#include "driver/resolve.h"
#include "lib/diag.h"

namespace tagpolish {
namespace {

// A page and its backup, in the folder that holds both.
struct Pair {
    Fd dir;  // open to be read, so that it can be synced
    std::string page, backup;              // their names in it
    std::string page_shown, backup_shown;  // as messages show them
};

bool later(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// The folder found as target, open to be read.
Fd readable(const Target& target, FileOps& ops) {
    return Fd(ops.openat(target.dir.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
}

// A page named: found as -w finds it; a page that is gone is found by the
// name of its backup.
bool find_named(Page& page, const char* suffix, Pair& pair, FileOps& ops) {
    const char* name = page.name.c_str();
    Resolution found = resolve(name, ops);
    const bool gone = found.how == Resolved::missing && found.error == ENOENT;
    if (gone) found = resolve((page.name + suffix).c_str(), ops);
    if (found.how == Resolved::foreign_link) {
        errmsg("%s: a symbolic link owned by another user; not followed\n", name);
        return false;
    }
    if (found.how != Resolved::found) {
        say_unopened(name, found.error);
        return false;
    }
    if (!S_ISREG(found.target.st.st_mode)) {
        errmsg("%s: not a regular file\n", name);
        return false;
    }
    const Target& t = found.target;
    pair.page = gone ? t.base.substr(0, t.base.size() - std::string_view(suffix).size()) : t.base;
    pair.backup = pair.page + suffix;
    pair.page_shown = page.name;
    // The backup of a page reached through a link is beside its target.
    pair.backup_shown = (t.link && !gone ? t.dir_shown + pair.page : page.name) + suffix;
    pair.dir = readable(t, ops);
    if (!pair.dir) errmsg_why(errno, "%s: cannot read its folder\n", name);
    return static_cast<bool>(pair.dir);
}

// A backup that the walk found, in the walk's folder.
bool find_walked(const Page& page, const char* suffix, Pair& pair, FileOps& ops) {
    const std::size_t cut = std::string_view(suffix).size();
    pair.backup = page.name.substr(page.entry_at);
    pair.page = pair.backup.substr(0, pair.backup.size() - cut);
    pair.backup_shown = page.name;
    pair.page_shown = page.name.substr(0, page.name.size() - cut);
    pair.dir = Fd(ops.openat(page.folder->get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (!pair.dir) errmsg_why(errno, "%s: cannot read its folder\n", page.name.c_str());
    return static_cast<bool>(pair.dir);
}

// Finds the pair and looks at the backup, which must be a regular file:
// false after a message.
bool find_pair(Page& page, const BackupWork& work, Pair& pair, struct stat& backup) {
    const bool found = page.folder ? find_walked(page, work.suffix, pair, work.ops)
                                   : find_named(page, work.suffix, pair, work.ops);
    if (!found) return false;
    if (work.ops.fstatat(pair.dir.get(), pair.backup.c_str(), &backup, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            errmsg("%s: has no backup %s\n", pair.page_shown.c_str(), pair.backup_shown.c_str());
        else
            errmsg_why(errno, "%s: cannot read\n", pair.backup_shown.c_str());
        return false;
    }
    if (!S_ISREG(backup.st_mode)) {
        errmsg("%s: not a regular file\n", pair.backup_shown.c_str());
        return false;
    }
    return true;
}

// Whether the page may be put back: it is gone, or a regular file not
// modified since its backup was made (or work.force). False after a
// message.
bool may_restore(const Pair& pair, const struct stat& backup, const BackupWork& work) {
    const char* page = pair.page_shown.c_str();
    struct stat st {};
    if (work.ops.fstatat(pair.dir.get(), pair.page.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return true;
        errmsg_why(errno, "%s: cannot read\n", page);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        errmsg("%s: not a regular file; its backup is not put in its place\n", page);
        return false;
    }
    if (!work.force && later(st.st_mtim, backup.st_ctim)) {
        errmsg("%s: changed after its backup was made; not restored (--force restores it)\n",
               page);
        return false;
    }
    return true;
}

}  // namespace

Fate restore_backup(Page& page, const BackupWork& work) {
    Pair pair;
    struct stat backup {};
    if (!find_pair(page, work, pair, backup) || !may_restore(pair, backup, work))
        return Fate::failed;
    page.listed = pair.page_shown;
    const char *shown = pair.page_shown.c_str(), *from = pair.backup_shown.c_str();
    if (work.dry_run) {
        errmsg("%s: would be restored from %s\n", shown, from);
        return Fate::done;
    }
    if (work.ops.renameat(pair.dir.get(), pair.backup.c_str(), pair.dir.get(), pair.page.c_str()) !=
        0) {
        errmsg_why(errno, "%s: cannot be restored from %s\n", shown, from);
        return Fate::failed;
    }
    errmsg("%s: restored from %s\n", shown, from);
    // EINVAL: a file system that cannot sync a folder.
    if (work.ops.fsync(pair.dir.get()) != 0 && errno != EINVAL) {
        errmsg_why(errno, "%s: replaced, but its folder could not be synced\n", shown);
        return Fate::unsynced;
    }
    return Fate::done;
}

Fate remove_backup(Page& page, const BackupWork& work) {
    Pair pair;
    struct stat backup {}, st {};
    if (!find_pair(page, work, pair, backup)) return Fate::failed;
    const char* shown = pair.backup_shown.c_str();
    if (work.ops.fstatat(pair.dir.get(), pair.page.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode)) {
        errmsg("%s: its page %s is not there; kept (--restore puts it back)\n", shown,
               pair.page_shown.c_str());
        return Fate::failed;
    }
    page.listed = pair.backup_shown;
    if (work.dry_run) {
        errmsg("%s: would be removed\n", shown);
        return Fate::done;
    }
    if (work.ops.unlinkat(pair.dir.get(), pair.backup.c_str(), 0) != 0) {
        errmsg_why(errno, "%s: cannot be removed\n", shown);
        return Fate::failed;
    }
    errmsg("%s: removed\n", shown);
    return Fate::done;
}

// A page found by the walk is looked for in its folder's entries; a page
// named is found as -w finds it.
bool backups_taken(char** names, int count, const WalkRules* rules, const char* backup_suffix,
                   FileOps& ops) {
    Inputs inputs(names, count, rules, ops);
    const std::string suffix = backup_suffix;
    std::int64_t taken = 0;
    while (std::unique_ptr<Page> page = inputs.next()) {
        if (page->stage == Stage::done) continue;  // a note of the walk, said again later
        if (page->folder) {
            taken += inputs.walk()->beside(page->name.substr(page->entry_at) + suffix);
            continue;
        }
        const Resolution found = resolve(page->name.c_str(), ops);
        struct stat st {};
        taken += found.how == Resolved::found && S_ISREG(found.target.st.st_mode) &&
                 ops.fstatat(found.target.dir.get(), (found.target.base + suffix).c_str(), &st,
                             AT_SYMLINK_NOFOLLOW) == 0;
    }
    if (taken == 0) return false;
    errmsg(
        "%d pages already have a backup (%s): put the backups back with --restore, or remove "
        "them with --remove-backups, first\n",
        taken, suffix.c_str());
    return true;
}

}  // namespace tagpolish

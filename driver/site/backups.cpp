#include "driver/site/backups.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/rewrite/backup_record.h"
#include "driver/rewrite/file_id.h"
#include "driver/rewrite/resolve.h"
#include "driver/site/inputs.h"
#include "lib/diag.h"
#include "platform/paths.h"
#include "platform/run_stop.h"

namespace tagpolish {
namespace {

// A page and its backup, in the folder that holds both.
struct Pair {
    Fd dir;                                // open to be read, so that it can be synced
    std::string page, backup;              // their names in it
    std::string page_shown, backup_shown;  // as messages show them
};

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

// Finds the pair, whose backup must be a regular file: false after a
// message.
bool find_pair(Page& page, const BackupWork& work, Pair& pair) {
    const bool found = page.folder ? find_walked(page, work.suffix, pair, work.ops)
                                   : find_named(page, work.suffix, pair, work.ops);
    if (!found) return false;
    FileStat backup{};
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

// The page of the pair, locked as -w locks it, so that a run that edits
// it meanwhile is waited for.
LockedFile lock_page(const Pair& pair, const Page& page, const BackupWork& work) {
    return lock_entry(pair.dir.get(), pair.page, pair.page_shown.c_str(), work.ops,
                      lock_waits(page, work.letting_go));
}

// The backup, open to be read (st is what fstat says of it): false after
// a message.
bool open_backup(const Pair& pair, FileOps& ops, Fd& fd, FileStat& st) {
    fd = Fd(ops.openat(pair.dir.get(), pair.backup.c_str(),
                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
    if (!fd || ops.fstat(fd.get(), &st) != 0) {
        errmsg_why(errno, "%s: cannot read\n", pair.backup_shown.c_str());
        return false;
    }
    if (S_ISREG(st.st_mode)) return true;
    errmsg("%s: not a regular file\n", pair.backup_shown.c_str());
    return false;
}

// Whether the page (locked) holds what the record of the run that made
// its backup says it wrote, and the backup (open as backup) what that run
// kept: false after a message.
bool as_recorded(const Pair& pair, const LockedFile& page, int backup, FileOps& ops) {
    const char* shown = pair.page_shown.c_str();
    BackupRecord record;
    Contents now;
    int error = get_record(ops, page.fd.get(), record);
    if (error == ENODATA) {
        errmsg(
            "%s: has no record of the run that made its backup; not restored (--force "
            "restores it)\n",
            shown);
        return false;
    }
    if (error == 0) error = contents_of(ops, page.fd.get(), now);
    if (error != 0) {
        errmsg_why(error, "%s: cannot read\n", shown);
        return false;
    }
    if (now != record.page) {
        errmsg("%s: changed after its backup was made; not restored (--force restores it)\n",
               shown);
        return false;
    }
    if (int why = contents_of(ops, backup, now)) {
        errmsg_why(why, "%s: cannot read\n", pair.backup_shown.c_str());
        return false;
    }
    if (now == record.backup) return true;
    errmsg("%s: its backup %s changed after it was made; not restored (--force restores it)\n",
           shown, pair.backup_shown.c_str());
    return false;
}

// Whether the page may be put back: it is gone, or a regular file as its
// record says (or work.force). False after a message.
bool may_restore(const Pair& pair, const LockedFile& page, int backup, const BackupWork& work) {
    const char* shown = pair.page_shown.c_str();
    if (page.fate == Fate::open) return work.force || as_recorded(pair, page, backup, work.ops);
    if (page.error == ENOENT) return true;
    if (page.error == 0 || page.error == ELOOP)
        errmsg("%s: not a regular file; its backup is not put in its place\n", shown);
    else
        errmsg_why(page.error, "%s: cannot read\n", shown);
    return false;
}

// Whether the names of the pair still lead to the files as they were
// looked at: the page as it was locked (or still none), the backup as it
// was opened.
bool still_there(const Pair& pair, const LockedFile& page, const FileStat& backup, FileOps& ops) {
    FileStat now{};
    const int dir = pair.dir.get();
    const bool named = ops.fstatat(dir, pair.page.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0;
    if (page.fate == Fate::open ? !named || !unchanged(page.st, now) : named || errno != ENOENT)
        return false;
    return ops.fstatat(dir, pair.backup.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
           unchanged(backup, now);
}

// The last look and the rename, in one step that a second stop signal
// waits for. A page that is gone is put back only where no file has taken
// its name since (where the file system can tell).
Went put_back(const Pair& pair, const LockedFile& page, const FileStat& backup, FileOps& ops) {
    const StopHold hold;
    const char* shown = pair.page_shown.c_str();
    if (!still_there(pair, page, backup, ops)) {
        errmsg(msg_changed, shown);
        return Went::failed;
    }
    const int dir = pair.dir.get();
    const unsigned flags = page.fate == Fate::open ? 0 : RENAME_NOREPLACE;
    int renamed = ops.renameat(dir, pair.backup.c_str(), dir, pair.page.c_str(), flags);
    if (renamed != 0 && errno == EINVAL && flags != 0)
        renamed = ops.renameat(dir, pair.backup.c_str(), dir, pair.page.c_str());
    if (renamed == 0) return Went::on;
    if (errno == EEXIST)
        errmsg(msg_changed, shown);
    else
        errmsg_why(errno, "%s: cannot be restored from %s\n", shown, pair.backup_shown.c_str());
    return Went::failed;
}

}  // namespace

Fate restore_backup(Page& page, const BackupWork& work) {
    Pair pair;
    if (!find_pair(page, work, pair)) return Fate::failed;
    const LockedFile locked = lock_page(pair, page, work);
    if (locked.fate == Fate::busy || locked.fate == Fate::not_reached) return locked.fate;
    Fd backup;
    FileStat backup_st{};
    if (!open_backup(pair, work.ops, backup, backup_st) ||
        !may_restore(pair, locked, backup.get(), work))
        return stop_requested() ? Fate::not_reached : Fate::failed;
    page.listed = pair.page_shown;
    const char *shown = pair.page_shown.c_str(), *from = pair.backup_shown.c_str();
    if (work.dry_run) {
        errmsg("%s: would be restored from %s\n", shown, from);
        return Fate::done;
    }
    if (Went put = put_back(pair, locked, backup_st, work.ops); put != Went::on)
        return fate_of(put);
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
    if (!find_pair(page, work, pair)) return Fate::failed;
    const LockedFile locked = lock_page(pair, page, work);
    if (locked.fate == Fate::busy || locked.fate == Fate::not_reached) return locked.fate;
    const char* shown = pair.backup_shown.c_str();
    const int error = locked.error;
    if (locked.fate != Fate::open && (error == ENOENT || error == ELOOP || error == 0)) {
        errmsg("%s: its page %s is not there; kept (--restore puts it back)\n", shown,
               pair.page_shown.c_str());
        return Fate::failed;
    }
    if (locked.fate != Fate::open) {
        errmsg_why(error, "%s: cannot read\n", pair.page_shown.c_str());
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

namespace {

// The pages of a run that have a backup with one suffix.
struct Found {
    const char* suffix;
    std::int64_t count = 0;
    std::string first;  // the first of those backups, as messages show it

    void add(const std::string& page_shown) {
        if (count++ == 0) first = page_shown + suffix;
    }
};

// Counts, in one pass over the inputs as the run will find them, the pages
// that have a backup with each suffix: a page found by the walk is looked
// for in its folder's entries; a page named is found as -w finds it, and
// its backup beside the file it leads to.
void count_backups(char** names, int count, const WalkRules* rules, std::vector<Found>& found,
                   FileOps& ops) {
    Inputs inputs(names, count, rules, ops);
    while (std::unique_ptr<Page> page = inputs.next()) {
        if (page->stage == Stage::done) continue;  // a note of the walk, said again later
        if (page->folder) {
            const std::string entry = page->name.substr(page->entry_at);
            for (Found& f : found)
                if (inputs.walk()->beside(entry + f.suffix)) f.add(page->name);
            continue;
        }
        const Resolution r = resolve(page->name.c_str(), ops);
        if (r.how != Resolved::found || !S_ISREG(r.target.st.st_mode)) continue;
        for (Found& f : found) {
            FileStat st{};
            if (ops.fstatat(r.target.dir.get(), (r.target.base + f.suffix).c_str(), &st,
                            AT_SYMLINK_NOFOLLOW) == 0)
                f.add(r.target.link ? r.target.shown() : page->name);
        }
    }
}

}  // namespace

bool backups_in_the_way(char** names, int count, const WalkRules* rules, const char* backup_suffix,
                        bool dry_run, FileOps& ops) {
    std::vector<Found> found;
    if (backup_suffix != nullptr) found.push_back({backup_suffix, 0, {}});
    const bool makes_default =
        backup_suffix != nullptr && same_name(backup_suffix, default_backup_suffix);
    if (!makes_default) found.push_back({default_backup_suffix, 0, {}});
    count_backups(names, count, rules, found, ops);
    if (backup_suffix != nullptr && found.front().count > 0) {
        errmsg(
            "%d pages already have a backup (%s): put the backups back with --restore, or "
            "remove them with --remove-backups, first\n",
            found.front().count, backup_suffix);
        return true;
    }
    const Found& outdated = found.back();
    if (makes_default || outdated.count == 0) return false;
    if (dry_run)
        errmsg(
            "%d pages have a backup that this run would make out of date (first: %s; "
            "--restore would refuse them afterwards)\n",
            outdated.count, outdated.first.c_str());
    else
        errmsg(
            "%d pages have a backup that this run will make out of date (first: %s; "
            "--restore refuses them afterwards)\n",
            outdated.count, outdated.first.c_str());
    return false;
}

}  // namespace tagpolish

// The backups that --backup keeps, the rest of the way: put back in place
// of their pages, or removed; and what a run that edits finds of them
// before it begins. For a page named, its backup is the one beside the
// file that the name leads to (a symbolic link's target); for a backup
// that the walk found, that backup.
#pragma once

#include <functional>

#include "driver/site/page.h"
#include "driver/site/site_walk.h"
#include "platform/file_ops.h"

namespace tagpolish {

struct BackupWork {
    const char* suffix;  // a page's name and this name its backup
    bool dry_run;        // say what would be done, do nothing
    bool force;          // restore a page whatever its record says
    FileOps& ops;
    // Whether the run lets go of its pages (then no page waits for a lock).
    std::function<bool()> letting_go;
};

// Renames the backup over its page, in one step, so that the page is
// wholly the old one or wholly the new one at any moment; a page that is
// missing is restored too. The page is locked as -w locks it, and only
// then looked at: unless work.force, a page is refused that does not hold
// what the record of the run that made the backup says it wrote, or
// whose backup does not hold what that run kept, or that has no record.
// Says what it did; answers done, failed (reported), busy or not_reached.
Fate restore_backup(Page& page, const BackupWork& work);

// Removes the backup, when its page is there (else the backup is all that
// is left of it, and it is kept), with the page locked as -w locks it.
// Says what it did; answers done, failed (reported), busy or not_reached.
Fate remove_backup(Page& page, const BackupWork& work);

// Before a run that edits the pages named (in the folders walked by
// rules, when given), in one pass over them: when some of the backup
// names that --backup (backup_suffix, or null) is to take are taken
// already, says so once (how many, and the way out) and answers true, so
// that the run stops before it edits anything. Else says once how many
// of the pages have a backup with the default suffix (unless that is the
// suffix the run makes backups with), which the run will make out of date
// (would, under a dry run), and answers false.
bool backups_in_the_way(char** names, int count, const WalkRules* rules, const char* backup_suffix,
                        bool dry_run, FileOps& ops = system_file_ops());

}  // namespace tagpolish

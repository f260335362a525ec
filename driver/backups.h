// The backups that --backup keeps, the rest of the way: put back in place
// of their pages, or removed. For a page named, its backup is the one
// beside the file that the name leads to (a symbolic link's target); for
// a backup that the walk found, that backup.
#pragma once

#include "driver/file_ops.h"
#include "driver/page.h"
#include "driver/site_walk.h"

namespace tagpolish {

struct BackupWork {
    const char* suffix;  // a page's name and this name its backup
    bool dry_run;        // say what would be done, do nothing
    bool force;          // restore over a page changed since its backup
    FileOps& ops;
};

// Renames the backup over its page, in one step, so that the page is
// wholly the old one or wholly the new one at any moment; a page that is
// missing is restored too. A page modified after its backup was made (its
// modification time later than the backup's change time) is refused
// unless work.force. Says what it did; answers done or failed (reported).
Fate restore_backup(Page& page, const BackupWork& work);

// Removes the backup, when its page is there (else the backup is all that
// is left of it, and it is kept). Says what it did; answers done or failed
// (reported).
Fate remove_backup(Page& page, const BackupWork& work);

// Whether the backup names of some of the pages that a run with --backup
// is to edit (in the folders walked by rules, when given) are taken
// already: then says so once (how many, and the way out), so that the run
// can stop before it edits anything.
bool backups_taken(char** names, int count, const WalkRules* rules, const char* backup_suffix,
                   FileOps& ops = system_file_ops());

}  // namespace tagpolish

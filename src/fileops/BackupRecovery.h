#pragma once
// What a run killed in the middle of a rewrite leaves in a backup folder, settled by the next
// command that writes in that folder (RunFiles sweeps every folder such a command opens).
//
// An Aside name (BackupSlot.h) holds the older backup of its subject B, or, killed before the
// exchange, the new backup itself; a Vacant marker says B had no backup. Which state is right
// depends on whether the page B beside the backup folder was replaced:
// - not replaced (B, the backup name, leads to the page's own file, or holds the page's bytes):
//   the backup folder goes back to what it held: the Aside name's file under B again, or, for
//   a Vacant marker, B removed;
// - replaced (the page is something else now): the new backup stays, the Aside or marker goes.
// An Aside name that still leads to the page's own file is the new backup's second name from
// before the exchange, and goes. Only names provably ours (TemporaryNames.h) are looked at, only
// once they have stood for the stale age, and only while no run holds the page locked (a live
// run holds its pages until its backups are settled). Where the page is gone or is not a
// regular file, an Aside name stays as it is (nothing is lost) and a marker goes.

#include "platform/FolderHandle.h"
#include "platform/TemporaryFile.h"

// Settles the leftovers in `backupFolder`, the backup folder of `folder`; answers how many.
int RecoverBackupFolder(const platform::FolderRef& folder, const platform::FolderRef& backupFolder,
                        int minimumAgeSeconds = platform::kStaleSeconds);

#pragma once
// A backup's name taken for one rewrite, with what it held before kept until the rewrite is
// settled. At every outcome other than "tidied" the backup folder must hold exactly what it
// held before, so nothing the name held may go before the page's new name is on disk.
//
// Ours (a complete copy, or the page itself under a second name) goes under the backup's name
// in one step. An older backup there is exchanged with it (RENAME_EXCHANGE) and so stays whole
// under a hidden Aside name bound to that name; where the name held nothing, an empty hidden
// Vacant marker bound to it is made first and says so. Keep() lets the older state go once the
// page is replaced for good; Undo() brings it back: the name leads to the older backup again,
// or to nothing, and ours goes, though only while the name still leads to what we put there.
//
// A run killed in between leaves the Aside or Vacant name behind; the next writing command in
// that folder settles it (RecoverBackupFolder, BackupRecovery.h).

#include "fileops/CommitSteps.h"
#include "fileops/RunFiles.h"
#include "platform/FolderHandle.h"
#include "platform/TemporaryFile.h"

#include <QByteArray>

class BackupSlot {
public:
    // Puts `ours` under `name` in the backup folder `folder`, keeping what the name held. False
    // with errno set when it could not: the name then holds what it held, and `ours` is as it
    // was (unnamed or under a hidden name, which its Discard() removes).
    bool Take(CommitSteps& steps, const platform::FolderRef& folder, const QByteArray& name,
              platform::TemporaryFile& ours);
    bool Taken() const { return m_taken; }
    const platform::FolderRef& Folder() const { return m_folder; }

    // The rewrite is on disk: the older backup, or the marker of none, goes.
    void Keep(CommitSteps& steps);
    // The rewrite did not happen: the name leads again to what it led to before Take().
    void Undo(CommitSteps& steps);

private:
    platform::FolderRef m_folder;
    QByteArray m_name;
    FileKey m_ours{};
    QByteArray m_aside; // holds the older backup, when there was one
    FileKey m_older{};
    QByteArray m_vacant; // the marker of no older backup (none without a key: nothing proves it)
    FileKey m_marker{};
    bool m_taken = false;
};

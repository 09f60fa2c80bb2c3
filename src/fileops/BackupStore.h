#pragma once
// Backups of tidied files. Each file F has at most one backup, a copy of F in the folder
// "Kelvane Backup" (translated) beside it. There is no index: a file has a backup exactly when
// a file exists at its backup path. Backup folders are made on demand and never removed.

#include <QString>
#include <QStringList>

enum RestoreResult {
    rrSkipped,  // the path is a folder; nothing was touched
    rrRestored, // the backup now stands in the file's place
    rrNoBackup, // there is no backup to restore
    rrFailed,   // the file is read-only or the backup could not be moved back; both unchanged
};

// The backup folder's name after translation, ending in a path separator.
QString BackupFolderName();
// The backup folder of a file, ending in a path separator: "/site/Kelvane Backup/".
QString BackupFolderOf(const QString& path);
// The backup path of a file: "/site/Kelvane Backup/index.htm".
QString BackupPathOf(const QString& path);

// A file (not a folder) exists at the backup path.
bool HasBackup(const QString& path);
// Copies the file to its backup path, replacing an older backup only once the new copy is
// complete. Answers the backup path, or an empty string when no backup could be made (the
// older backup is then unchanged).
QString MakeBackup(const QString& path);
// Moves the backup back over the file in one step.
RestoreResult RestoreFromBackup(const QString& path);
// True when there is no backup or it was deleted; false when an existing backup resisted.
bool RemoveBackup(const QString& path);
// The read-only attribute is set, or the attributes cannot be read (a vanished path).
bool IsReadOnlyPath(const QString& path);

// Tests behind the actions; each stops at the first entry that satisfies it.
bool CanTidySelection(const QStringList& paths);    // a folder, or a path that is not read-only
bool CanRestoreSelection(const QStringList& paths); // a folder, or a file with a backup
bool HasFileInSelection(const QStringList& paths);  // an existing file; folders do not count

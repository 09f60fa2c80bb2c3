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
// complete and on disk (the copy and its folder are flushed), so that the file may be replaced
// as soon as this returns. The copy keeps the file's bytes, permission bits, times and, where
// the program may set them, its owner and group. Answers the backup path, or an empty string
// when no backup could be made (the older backup is then unchanged).
QString MakeBackup(const QString& path);

struct VerifiedBackup {
    QString path;         // the backup path; empty when no backup was made
    bool changed = false; // the file no longer holds the expected bytes: nothing was replaced
};
// MakeBackup, but the older backup is replaced only when the copy holds the bytes whose
// ContentDigest is `digest` (the bytes that were tidied). Safe to call from several threads.
VerifiedBackup MakeVerifiedBackup(const QString& path, const QByteArray& digest);

// Moves the backup back over the file in one step. Through a symbolic link the file the link
// names is restored and the link stays.
RestoreResult RestoreFromBackup(const QString& path);
// True when there is no backup or it was deleted; false when an existing backup resisted.
bool RemoveBackup(const QString& path);
// The file lies directly in a backup folder (under the current or the untranslated name):
// it is a backup copy, which the tidy and restore runs pass over.
bool IsInBackupFolder(const QString& path);
// `name` (a folder's name, no separator) is the backup folder's, current or untranslated.
bool IsBackupFolderName(const QString& name);
// The read-only attribute is set, or the attributes cannot be read (a vanished path).
bool IsReadOnlyPath(const QString& path);

// Tests behind the actions; each stops at the first entry that satisfies it.
bool CanTidySelection(const QStringList& paths);    // a folder, or a path that is not read-only
bool CanRestoreSelection(const QStringList& paths); // a folder, or a file with a backup
bool HasFileInSelection(const QStringList& paths);  // an existing file; folders do not count

#pragma once
// Backups of tidied files. Each file F has at most one backup, a copy of F in the folder
// "Kelvane Backup" (translated) beside it. There is no index: a file has a backup exactly when
// a file exists at its backup path. Backup folders are made on demand and never removed.
//
// Tidy writes under the current (translated) name. After the language was changed, the
// backups made before lie under the name of that time; those under the untranslated name are
// still found (for the "has a backup" tests, restore and removal) where the current folder
// holds nothing for the file.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class RunFiles;

enum RestoreResult {
    rrSkipped,  // the path is a folder; nothing was touched
    rrRestored, // the backup now stands in the file's place
    rrNoBackup, // there is no backup to restore
    rrFailed,   // the file is read-only or the backup could not be moved back; both unchanged
    rrRefused,  // a link where a file or backup folder should be, or a folder of another user
    rrInUse,    // another run is working on the file
    rrEdited,   // the file was changed after it was tidied and was to be kept: both unchanged
};

// The backup folder's name after translation, ending in a path separator.
QString BackupFolderName();
// The untranslated name, "Kelvane Backup/".
QString UntranslatedBackupFolderName();
// The backup folder of a file, ending in a path separator: "/site/Kelvane Backup/".
QString BackupFolderOf(const QString& path);
// The backup path of a file: "/site/Kelvane Backup/index.htm".
QString BackupPathOf(const QString& path);

// A file (not a folder) exists at the backup path, or, where that name is a translation, at
// the path under the untranslated name.
bool HasBackup(const QString& path);
// Copies the file to its backup path, replacing an older backup only once the new copy is
// complete and on disk, so that the file may be replaced as soon as this returns. The copy
// keeps the file's bytes, permission bits, times and, where the program may set them, its
// owner and group. Answers the backup path, or an empty string when no backup could be made
// (the older backup is then unchanged).
QString MakeBackup(const QString& path);

// What restoring or removing one file's backup did.
struct BackupAction {
    BackupAction() = default;
    BackupAction(RestoreResult result, QString refusal, QStringList details = {})
        : result(result), refusal(std::move(refusal)), details(std::move(details)) {}

    RestoreResult result = rrFailed;
    // The untranslated line ("%s: ...", the path first, then `details`) of an rrRefused,
    // rrInUse or rrEdited, and of an rrFailed with a reason of its own.
    QString refusal;
    QStringList details;
    // rrRestored of a page that was not what its tidy wrote: where its text went in the trash.
    QStringList trashed;
    // rrRestored, but something the run must say as an error (a line as `refusal` is).
    QString warning;
    QStringList warningDetails;
};

// How restore treats a page whose text may have been changed since it was tidied: one that is
// not what its tidy wrote (the backup's mark, BackupMark.h), or that cannot be told to be (no
// mark, and not what tidying the backup gives now).
struct RestorePolicy {
    // Asked for each such page: true replaces it, its text going to the trash first; false
    // leaves the page and its backup as they are (rrEdited). Empty: replace.
    std::function<bool(const QString& path)> replaceEdited;
    // What tidying a backup's bytes gives, for backups without a mark; nothing when that
    // cannot be told. Empty: TidyWithCurrentOptions().
    std::function<std::optional<QByteArray>(const QByteArray& backup)> tidyBackup;
};

// Tidies with the current options through CurrentTidyRunner(); the options are resolved once,
// at the first call (an option error makes every answer "cannot be told").
std::function<std::optional<QByteArray>(const QByteArray& backup)> TidyWithCurrentOptions();

// Moves the backup back over the file in one step, working inside the run's opened folders.
// The backup is the one under the current name, else the one under the untranslated name.
// Nothing is followed: a file that is a symbolic link, a backup that is one, and a backup
// folder that is one or belongs to another user are refused. Across file systems the backup's
// bytes (with its access list and extended attributes) are copied in place of the file, then
// the backup is removed. A page whose text is not what its tidy wrote is replaced only as
// `policy` says, and never without a copy of that text in the trash (where no trash takes it,
// nothing is restored). The restored file keeps no mark of ours.
BackupAction RestorePage(RunFiles& files, const QString& path, const RestorePolicy& policy = {});
// Deletes the file's backup (the one restore would take): rrRestored when it is gone (or there was
// none: rrNoBackup, also for a folder), rrFailed when it resisted (read-only), rrRefused for a
// backup folder that is a link or another user's. A backup that is a symbolic link is removed
// itself.
BackupAction RemovePageBackup(RunFiles& files, const QString& path);

// The same for one path on its own (a changed page is replaced, its text going to the trash).
RestoreResult RestoreFromBackup(const QString& path);
// True when there is no backup or it was deleted; false when an existing backup resisted.
bool RemoveBackup(const QString& path);
// The folder open at `folderFd` is a backup folder: its parent's entry of the backup folder's
// name (current or untranslated) is that very folder. Decided on what was opened, never on the
// name it was reached by ("X/Kelvane Backup/.", a link to it); only where its parent cannot be
// looked at does `path` (the folder as named) decide by its last name. Files in it are backup
// copies, which tidy and restore never work on.
bool IsBackupFolderAt(int folderFd, const QString& path);
// `name` (a folder's name, no separator) is the backup folder's, current or untranslated.
bool IsBackupFolderName(const QString& name);
// The read-only attribute is set, or the attributes cannot be read (a vanished path).
bool IsReadOnlyPath(const QString& path);

// Tests behind the actions; each stops at the first entry that satisfies it.
bool CanTidySelection(const QStringList& paths);    // a folder, or a path that is not read-only
bool CanRestoreSelection(const QStringList& paths); // a folder, or a file with a backup
bool HasFileInSelection(const QStringList& paths);  // an existing file; folders do not count

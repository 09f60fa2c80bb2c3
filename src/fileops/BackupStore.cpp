#include "fileops/BackupStore.h"

#include "platform/FileFunctions.h"
#include "support/Translation.h"

#include <QFile>
#include <QRandomGenerator>
#include <unistd.h>

namespace {

const QString kBackupFolderName = QStringLiteral("Kelvane Backup");

int LastSeparator(const QString& path) {
    return path.lastIndexOf(QLatin1Char('/'));
}

// A translation must still name one folder beside the file: an empty name, "." or ".." or a
// name with a separator inside would put "backups" over the files themselves or elsewhere.
bool IsSingleFolderName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

// A fresh, hidden name in `folder` for a copy under construction.
QString TemporaryNameIn(const QString& folder) {
    return folder + QStringLiteral(".kelvane-backup-%1.tmp")
                        .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
}

} // namespace

QString BackupFolderName() {
    QString name = Translate(kBackupFolderName);
    while (name.endsWith(QLatin1Char('/')))
        name.chop(1);
    if (!IsSingleFolderName(name))
        name = kBackupFolderName;
    return name + QLatin1Char('/');
}

QString BackupFolderOf(const QString& path) {
    return path.left(LastSeparator(path) + 1) + BackupFolderName();
}

QString BackupPathOf(const QString& path) {
    return BackupFolderOf(path) + path.mid(LastSeparator(path) + 1);
}

bool HasBackup(const QString& path) {
    return platform::FileExists(BackupPathOf(path));
}

QString MakeBackup(const QString& path) {
    const QString folder = BackupFolderOf(path);
    const QString backup = BackupPathOf(path);

    // An older backup that could not be deleted keeps its place (and its content).
    if (const auto old = platform::GetAttributes(backup); old && (old->readOnly || old->folder))
        return {};

    platform::CreateFolderWithParents(folder); // a failure shows in the copy below

    // Copy beside the backup first, then put it in place in one step: the older backup is
    // only replaced by a complete copy.
    QString temporary;
    for (int attempt = 0; attempt < 8; ++attempt) {
        temporary = TemporaryNameIn(folder);
        if (platform::CopyFileNoReplace(path, temporary))
            break;
        // Only a name that happened to be taken is worth another try.
        if (!platform::GetAttributes(temporary))
            return {};
        temporary.clear();
    }
    if (temporary.isEmpty())
        return {};
    if (!platform::MoveFileReplace(temporary, backup)) {
        // unlink, not DeleteFile: the copy of a read-only file is read-only too.
        ::unlink(QFile::encodeName(temporary).constData());
        return {};
    }
    return backup;
}

RestoreResult RestoreFromBackup(const QString& path) {
    if (platform::FolderExists(path))
        return rrSkipped;
    if (!HasBackup(path))
        return rrNoBackup;
    // A rename would replace even a read-only file here; a read-only file is left alone.
    if (platform::IsReadOnly(path))
        return rrFailed;
    return platform::MoveFileReplace(BackupPathOf(path), path) ? rrRestored : rrFailed;
}

bool RemoveBackup(const QString& path) {
    const QString backup = BackupPathOf(path);
    if (!platform::FileExists(backup))
        return true;
    return platform::DeleteFile(backup);
}

bool IsReadOnlyPath(const QString& path) {
    const std::optional<platform::FileAttributes> attributes = platform::GetAttributes(path);
    return !attributes || attributes->readOnly;
}

bool CanTidySelection(const QStringList& paths) {
    for (const QString& path : paths)
        if (platform::FolderExists(path) || !IsReadOnlyPath(path))
            return true;
    return false;
}

bool CanRestoreSelection(const QStringList& paths) {
    for (const QString& path : paths)
        if (HasBackup(path) || platform::FolderExists(path))
            return true;
    return false;
}

bool HasFileInSelection(const QStringList& paths) {
    for (const QString& path : paths)
        if (platform::FileExists(path))
            return true;
    return false;
}

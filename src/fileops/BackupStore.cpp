#include "fileops/BackupStore.h"

#include "fileops/BackupEntry.h"
#include "fileops/BackupSlot.h"
#include "fileops/DurableWrites.h"
#include "fileops/PageFile.h"
#include "fileops/RunFiles.h"
#include "fileops/TidyAhead.h"
#include "platform/FileFunctions.h"
#include "platform/UniqueFd.h"
#include "support/Translation.h"

#include <QHash>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
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

} // namespace

QString BackupFolderName() {
    QString name = Translate(kBackupFolderName);
    while (name.endsWith(QLatin1Char('/')))
        name.chop(1);
    if (!IsSingleFolderName(name))
        name = kBackupFolderName;
    return name + QLatin1Char('/');
}

QString UntranslatedBackupFolderName() {
    return kBackupFolderName + QLatin1Char('/');
}

QString BackupFolderOf(const QString& path) {
    return path.left(LastSeparator(path) + 1) + BackupFolderName();
}

QString BackupPathOf(const QString& path) {
    return BackupFolderOf(path) + path.mid(LastSeparator(path) + 1);
}

namespace {

// The folder beside `path` of the untranslated name, when the current name is another.
std::optional<QString> UntranslatedBackupFolderOf(const QString& path) {
    if (BackupFolderName() == UntranslatedBackupFolderName())
        return std::nullopt;
    return path.left(LastSeparator(path) + 1) + UntranslatedBackupFolderName();
}

} // namespace

bool HasBackup(const QString& path) {
    if (platform::FileExists(BackupPathOf(path)))
        return true;
    const std::optional<QString> untranslated = UntranslatedBackupFolderOf(path);
    return untranslated && platform::FileExists(*untranslated + path.mid(LastSeparator(path) + 1));
}

QString MakeBackup(const QString& path) {
    RunFiles files(nullptr, true);
    OpenedPage opened = OpenPage(files, path, LinkRule::FollowOwned);
    QByteArray bytes;
    if (opened.state != PageState::Opened ||
        ReadPage(opened.page, bytes, kMaxDocumentBytes) != ReadState::Read)
        return {};
    const PageFile& page = opened.page;
    const BackupFolderLookup lookup = files.BackupFolder(page.fileFolder, true);
    if (!lookup.folder)
        return {};
    struct stat old {};
    if (::fstatat(lookup.folder->Fd(), page.fileName.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
        (S_ISDIR(old.st_mode) || (S_ISREG(old.st_mode) && !(old.st_mode & S_IWUSR))))
        return {}; // an older backup that could not be deleted keeps its place
    platform::TemporaryFile copy;
    CommitSteps& steps = CurrentCommitSteps();
    BackupSlot slot;
    int error = 0;
    if (!WriteTemporaryLike(copy, lookup.folder->Fd(),
                            platform::BackupTemporaryNames(lookup.folder->Fd()), bytes,
                            page.fd.get(), page.st, true) ||
        !SyncFolders({lookup.folder}, error) || !page.Unchanged(&bytes) ||
        !slot.Take(steps, lookup.folder, page.fileName, copy))
        return {};
    // The older backup goes only once the new one is on disk: a failure leaves it as it was.
    if (!steps.Flush({lookup.folder}, error)) {
        slot.Undo(steps);
        steps.Flush({lookup.folder}, error);
        return {};
    }
    slot.Keep(steps);
    if (!page.throughLink)
        return BackupPathOf(path);
    QString folder = page.fileFolder->Path();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + BackupFolderName() + platform::DecodeFileName(page.fileName);
}

std::optional<BackupAction> FindBackup(RunFiles& files, const QString& path, EntryBackup& found) {
    int error = 0;
    found.folder = files.FolderOf(path, &error);
    if (!found.folder)
        return BackupAction{error == ENOENT || error == ENOTDIR ? rrNoBackup : rrFailed, {}};
    found.name = platform::EncodeFileName(path.mid(LastSeparator(path) + 1));
    found.exists = !found.name.isEmpty() && ::fstatat(found.folder->Fd(), found.name.constData(),
                                                      &found.entry, AT_SYMLINK_NOFOLLOW) == 0;
    if (found.name.isEmpty() || (found.exists && S_ISDIR(found.entry.st_mode)))
        return BackupAction{rrSkipped, {}};
    const auto holdsBackup = [&](const BackupFolderLookup& lookup) {
        return lookup.folder && ::fstatat(lookup.folder->Fd(), found.name.constData(),
                                          &found.backup, AT_SYMLINK_NOFOLLOW) == 0;
    };
    BackupFolderLookup lookup = files.BackupFolder(found.folder, false);
    if (!lookup.refusal.isEmpty())
        return BackupAction{rrRefused, lookup.refusal};
    // Where the current folder has nothing for the file, its backup may be one made before
    // the language was changed.
    if (!holdsBackup(lookup)) {
        if (!UntranslatedBackupFolderOf(path))
            return BackupAction{rrNoBackup, {}};
        lookup = files.UntranslatedBackupFolder(found.folder);
        if (!lookup.refusal.isEmpty())
            return BackupAction{rrRefused, lookup.refusal};
        if (!holdsBackup(lookup))
            return BackupAction{rrNoBackup, {}};
    }
    found.backupFolder = lookup.folder;
    return std::nullopt;
}

BackupAction RemovePageBackup(RunFiles& files, const QString& path) {
    EntryBackup found;
    if (std::optional<BackupAction> none = FindBackup(files, path, found))
        return none->result == rrSkipped ? BackupAction{rrNoBackup, {}} : *none;
    // A read-only backup is not deleted, as a read-only file never is. A link is removed
    // itself, never what it names.
    const mode_t mode = found.backup.st_mode;
    if (S_ISDIR(mode) || (S_ISREG(mode) && !(mode & S_IWUSR)))
        return {rrFailed, {}};
    return {::unlinkat(found.backupFolder->Fd(), found.name.constData(), 0) == 0 ? rrRestored
                                                                                 : rrFailed,
            {}};
}

RestoreResult RestoreFromBackup(const QString& path) {
    RunFiles files(nullptr, true);
    return RestorePage(files, path).result;
}

bool RemoveBackup(const QString& path) {
    RunFiles files(nullptr, true);
    const RestoreResult result = RemovePageBackup(files, path).result;
    return result == rrRestored || result == rrNoBackup;
}

bool IsBackupFolderAt(int folderFd, const QString& path) {
    struct stat folder {};
    if (::fstat(folderFd, &folder) != 0)
        return false;
    const platform::UniqueFd parent(::openat(folderFd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (parent.get() >= 0) {
        QString current = BackupFolderName();
        current.chop(1);
        for (const QString& name : {current, kBackupFolderName}) {
            struct stat entry {};
            if (::fstatat(parent.get(), platform::EncodeFileName(name).constData(), &entry,
                          AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISDIR(entry.st_mode) && entry.st_dev == folder.st_dev &&
                entry.st_ino == folder.st_ino)
                return true;
        }
        return false;
    }
    // The parent cannot be searched: the last name that is not "." tells what it can.
    QStringList names = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    while (!names.isEmpty() && names.last() == QLatin1String("."))
        names.removeLast();
    return !names.isEmpty() && IsBackupFolderName(names.last());
}

bool IsBackupFolderName(const QString& name) {
    QString current = BackupFolderName();
    current.chop(1);
    return name == current || name == kBackupFolderName;
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
    // Runs whenever the window is idle, over selections of many thousands of files: one look
    // per path, and one per folder at its backup folder, which most folders do not have.
    QHash<QString, bool> backupFolderExists;
    const auto holdsBackup = [&](const QString& folder, const QString& path) {
        auto known = backupFolderExists.find(folder);
        if (known == backupFolderExists.end())
            known = backupFolderExists.insert(folder, platform::FolderExists(folder));
        return known.value() && platform::FileExists(folder + path.mid(LastSeparator(path) + 1));
    };
    for (const QString& path : paths) {
        const std::optional<platform::FileAttributes> attributes = platform::GetAttributes(path);
        if (attributes && attributes->folder)
            return true;
        if (holdsBackup(BackupFolderOf(path), path))
            return true;
        const std::optional<QString> untranslated = UntranslatedBackupFolderOf(path);
        if (untranslated && holdsBackup(*untranslated, path))
            return true;
    }
    return false;
}

bool HasFileInSelection(const QStringList& paths) {
    for (const QString& path : paths)
        if (platform::FileExists(path))
            return true;
    return false;
}

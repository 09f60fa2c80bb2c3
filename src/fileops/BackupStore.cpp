#include "fileops/BackupStore.h"

#include "engine/TidyEngine.h"
#include "fileops/FileSnapshot.h"
#include "platform/FileFunctions.h"
#include "platform/UniqueFd.h"
#include "support/Errors.h"
#include "support/Translation.h"

#include <QHash>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
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

// A fresh, hidden name in `folder` for a copy under construction.
QString TemporaryNameIn(const QString& folder) {
    return folder + QStringLiteral(".kelvane-backup-%1.tmp")
                        .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
}

// Copies left by a run that was killed while it made them: ours, untouched for a minute (a
// run in another process writes its copy in well under that).
constexpr time_t kStaleAfterSeconds = 60;

void RemoveStaleTemporaries(const QString& folder) {
    const QByteArray native = platform::EncodeFileName(folder);
    DIR* dir = ::opendir(native.constData());
    if (dir == nullptr)
        return;
    const time_t now = std::time(nullptr);
    const uid_t me = ::geteuid();
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (!name.startsWith(".kelvane-backup-") || !name.endsWith(".tmp"))
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == me && st.st_mtime + kStaleAfterSeconds < now)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// Each backup folder is looked at once per process, so a run over a big folder reads it once.
void RemoveStaleTemporariesOnce(const QString& folder) {
    static QMutex mutex;
    static QSet<QString> swept;
    {
        const QMutexLocker lock(&mutex);
        if (swept.contains(folder))
            return;
        swept.insert(folder);
    }
    RemoveStaleTemporaries(folder);
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

namespace {

enum class CopyResult { Done, Failed, Changed };

// Copies `source` into a fresh temporary file in `folder` and flushes it to the disk. The copy
// keeps the bytes, permission bits (never set-id bits), times and, where permitted, owner and
// group. With `digest`, a copy whose bytes have another digest is removed again: Changed.
CopyResult CopyToTemporary(const QString& source, const QString& folder, const QByteArray* digest,
                           QString& temporary) {
    const int in = ::open(platform::EncodeFileName(source).constData(),
                          O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (in < 0)
        return CopyResult::Failed;
    platform::UniqueFd inCloser(in);
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode))
        return CopyResult::Failed;

    int out = -1;
    QByteArray nativeTemporary;
    for (int attempt = 0; attempt < 8 && out < 0; ++attempt) {
        temporary = TemporaryNameIn(folder);
        nativeTemporary = platform::EncodeFileName(temporary);
        out = ::open(nativeTemporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                     S_IRUSR | S_IWUSR);
        // Only a name that happened to be taken is worth another try.
        if (out < 0 && errno != EEXIST)
            return CopyResult::Failed;
    }
    if (out < 0)
        return CopyResult::Failed;
    platform::UniqueFd outCloser(out);
    const auto abandon = [&](CopyResult result) {
        ::close(outCloser.release());
        ::unlink(nativeTemporary.constData());
        return result;
    };

    ContentDigester hash;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return abandon(CopyResult::Failed);
        }
        if (got == 0)
            break;
        if (digest)
            hash.Add(QByteArrayView(buffer, got));
        if (!platform::WriteAllToFd(out, buffer, got))
            return abandon(CopyResult::Failed);
    }
    if (digest && hash.Result() != *digest)
        return abandon(CopyResult::Changed);

    // Owner first: changing it may clear permission bits. Only root may give a file away; for
    // anyone else the copy simply belongs to the one who made it.
    if (::fchown(out, st.st_uid, st.st_gid) != 0) {
    }
    if (::fchmod(out, st.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO)) != 0)
        return abandon(CopyResult::Failed);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times); // a file system without times still holds the right bytes
    if (::fsync(out) != 0)
        return abandon(CopyResult::Failed);
    if (::close(outCloser.release()) != 0) {
        ::unlink(nativeTemporary.constData());
        return CopyResult::Failed;
    }
    return CopyResult::Done;
}

VerifiedBackup Backup(const QString& path, const QByteArray* digest) {
    const QString folder = BackupFolderOf(path);
    const QString backup = BackupPathOf(path);

    // An older backup that could not be deleted keeps its place (and its content).
    if (const auto old = platform::GetAttributes(backup); old && (old->readOnly || old->folder))
        return {};

    const bool folderIsNew = !platform::FolderExists(folder);
    if (folderIsNew)
        platform::CreateFolderWithParents(folder); // a failure shows in the copy below
    else
        RemoveStaleTemporariesOnce(folder);

    // Copy beside the backup first, then put it in place in one step: the older backup is
    // only replaced by a complete copy.
    QString temporary;
    switch (CopyToTemporary(path, folder, digest, temporary)) {
    case CopyResult::Done:
        break;
    case CopyResult::Failed:
        return {};
    case CopyResult::Changed:
        return {QString(), true};
    }
    if (!platform::MoveFileReplace(temporary, backup)) {
        // unlink, not DeleteFile: the copy of a read-only file is read-only too.
        ::unlink(platform::EncodeFileName(temporary).constData());
        return {};
    }
    // The backup's name, and a new backup folder's, must be on disk before the file is replaced.
    if (!platform::SyncFolder(folder))
        return {};
    // A file named without its folder ("page.html") lies in the current folder.
    const QString parent = folder.left(LastSeparator(folder.chopped(1)) + 1);
    if (folderIsNew && !platform::SyncFolder(parent.isEmpty() ? QStringLiteral(".") : parent))
        return {};
    return {backup, false};
}

// The file a restore puts the backup in: through a symbolic link, the file it names.
QString RestoreTarget(const QString& path) {
    const QByteArray native = platform::EncodeFileName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    if (char* resolved = ::realpath(native.constData(), nullptr)) {
        const QString target = platform::DecodeFileName(resolved);
        ::free(resolved);
        return target;
    }
    // A dangling link: restore the file it names, which makes the link whole again.
    QByteArray target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(native.constData(), target.data(), size_t(target.size()));
    if (length <= 0 || length >= target.size())
        return path;
    target.truncate(length);
    if (target.startsWith('/'))
        return platform::DecodeFileName(target);
    return path.left(LastSeparator(path) + 1) + platform::DecodeFileName(target);
}

} // namespace

QString MakeBackup(const QString& path) {
    return Backup(path, nullptr).path;
}

VerifiedBackup MakeVerifiedBackup(const QString& path, const QByteArray& digest) {
    return Backup(path, &digest);
}

RestoreResult RestoreFromBackup(const QString& path) {
    if (platform::FolderExists(path))
        return rrSkipped;
    if (!HasBackup(path))
        return rrNoBackup;
    const QString target = RestoreTarget(path);
    // A rename would replace even a read-only file here; a read-only file is left alone.
    if (platform::IsReadOnly(target))
        return rrFailed;
    const QString backup = BackupPathOf(path);
    if (platform::MoveFileReplace(backup, target))
        return rrRestored;
    if (errno != EXDEV)
        return rrFailed;
    // A link into another file system: the backup's bytes replace the file there.
    try {
        WriteFileText(target, ReadSnapshot(backup).bytes);
    } catch (const KelvaneError&) {
        return rrFailed;
    }
    ::unlink(platform::EncodeFileName(backup).constData());
    return rrRestored;
}

bool RemoveBackup(const QString& path) {
    const QString backup = BackupPathOf(path);
    if (!platform::FileExists(backup))
        return true;
    return platform::DeleteFile(backup);
}

bool IsInBackupFolder(const QString& path) {
    const qsizetype slash = LastSeparator(path);
    if (slash <= 0)
        return false;
    const QString parent = path.left(slash);
    return IsBackupFolderName(parent.mid(LastSeparator(parent) + 1));
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
    for (const QString& path : paths) {
        const std::optional<platform::FileAttributes> attributes = platform::GetAttributes(path);
        if (attributes && attributes->folder)
            return true;
        const QString folder = BackupFolderOf(path);
        auto known = backupFolderExists.find(folder);
        if (known == backupFolderExists.end())
            known = backupFolderExists.insert(folder, platform::FolderExists(folder));
        if (known.value() && HasBackup(path))
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

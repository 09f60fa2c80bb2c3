// Restore of one page: its backup back in its place, and never an edit made after the tidy
// lost on the way.

#include "engine/TidyOptionMapping.h"
#include "engine/TidyOptionSet.h"
#include "engine/TidyRunner.h"
#include "fileops/BackupEntry.h"
#include "fileops/BackupMark.h"
#include "fileops/DurableWrites.h"
#include "fileops/PageFile.h"
#include "fileops/TidyAhead.h"
#include "platform/FileNames.h"
#include "platform/Trash.h"
#include "platform/UniqueFd.h"
#include "support/Errors.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kInUse =
    "%s: Another Kelvane run is working on this file. It was left to that run.";
const char* const kEditedKept =
    "%s: This file was changed after it was tidied, so it was not restored. The file and its "
    "backup were left as they are.";
const char* const kUnreadable =
    "%s: This file cannot be read, so it cannot be told whether it was changed after it was "
    "tidied. Nothing was restored.";
const char* const kNotTrashed =
    "%s: This file was changed after it was tidied, and its text could not be put in the trash "
    "(%s). Nothing was restored.";
const char* const kChangedMeanwhile =
    "%s: The file changed while it was being restored. It was left as it is, with its backup.";
const char* const kLateEditLost =
    "%s: The file was written to while its backup was put back, and that text could not be put "
    "in the trash (%s).";

BackupAction Line(RestoreResult result, const char* line, QStringList details = {}) {
    return {result, QString::fromUtf8(line), std::move(details)};
}

int OpenPlain(int folderFd, const QByteArray& name) {
    return ::openat(folderFd, name.constData(),
                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// The bytes of the regular file open as `fd`, every one of them; nothing when it cannot be read.
std::optional<QByteArray> ReadWhole(int fd) {
    PageFile file;
    file.fd = platform::UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    QByteArray bytes;
    if (!file.IsOpen() || ::fstat(file.fd.get(), &file.st) != 0 || !S_ISREG(file.st.st_mode) ||
        ReadPage(file, bytes, kMaxDocumentBytes) != ReadState::Read)
        return std::nullopt;
    return bytes;
}

// Whether the page is still what its tidy wrote, so that restoring it loses nothing: it
// matches the backup's mark, or it is the backup's text itself, or (only for a backup without
// a mark) it is what tidying the backup gives. Anything that cannot be told counts as changed.
bool IsAsTidied(PageFile& page, int backupFd, const RestorePolicy& policy) {
    const std::optional<BackupMarkValue> mark =
        backupFd >= 0 ? ReadBackupMark(backupFd) : std::nullopt;
    QByteArray text;
    if (ReadPage(page, text, std::max(kMaxDocumentBytes, mark ? mark->size : 0)) != ReadState::Read)
        return false;
    if (mark && MatchesMark(*mark, text))
        return true;
    const std::optional<QByteArray> original = backupFd >= 0 ? ReadWhole(backupFd) : std::nullopt;
    if (!original)
        return false;
    if (*original == text)
        return true;
    if (mark)
        return false; // what the tidy wrote is known, and this is not it
    const std::optional<QByteArray> tidied =
        policy.tidyBackup ? policy.tidyBackup(*original) : TidyWithCurrentOptions()(*original);
    return tidied && *tidied == text;
}

// A copy of the backup's bytes in place of the file, for a backup on another file system.
bool CopyBack(const platform::FolderRef& folder, const QByteArray& name,
              const platform::FolderRef& backupFolder, QString& refusal) {
    PageFile backup;
    backup.fd = platform::UniqueFd(OpenPlain(backupFolder->Fd(), name));
    QByteArray bytes;
    if (!backup.IsOpen() || ::fstat(backup.fd.get(), &backup.st) != 0 ||
        !S_ISREG(backup.st.st_mode) ||
        ReadPage(backup, bytes, kMaxDocumentBytes) != ReadState::Read)
        return false;
    platform::TemporaryFile copy;
    int error = 0;
    // The page's new name is on disk before its backup goes: the two lie on different file
    // systems, whose flushes do not keep each other's order.
    if (!WriteTemporaryLike(copy, folder->Fd(), platform::PageTemporaryNames(folder->Fd(), name),
                            bytes, backup.fd.get(), backup.st, true, &refusal) ||
        !SyncFolders({folder}, error) || !copy.Place(name, true) || !SyncFolders({folder}, error))
        return false;
    ::unlinkat(backupFolder->Fd(), name.constData(), 0);
    return true;
}

} // namespace

std::function<std::optional<QByteArray>(const QByteArray& backup)> TidyWithCurrentOptions() {
    struct Options {
        std::optional<ResolvedTidyOptions> resolved;
        bool failed = false;
    };
    auto options = std::make_shared<Options>();
    return [options](const QByteArray& backup) -> std::optional<QByteArray> {
        if (options->failed)
            return std::nullopt;
        if (!options->resolved) {
            try {
                options->resolved = ResolveOptions(CurrentOptionSet());
            } catch (const KelvaneError&) {
                options->failed = true; // options that cannot be used tell nothing
                return std::nullopt;
            }
        }
        TidyRequest request;
        request.options = *options->resolved;
        request.document = backup;
        const TidyResult result = CurrentTidyRunner().run(request);
        if (result.status != TidyRunStatus::Completed)
            return std::nullopt;
        return result.output;
    };
}

BackupAction RestorePage(RunFiles& files, const QString& path, const RestorePolicy& policy) {
    EntryBackup found;
    if (std::optional<BackupAction> none = FindBackup(files, path, found))
        return *none;
    const platform::FolderRef& folder = found.folder;
    const QByteArray& name = found.name;
    if (S_ISLNK(found.backup.st_mode))
        return Line(rrRefused, "%s: Its backup is a symbolic link, which restore does not "
                               "follow. Nothing was restored.");
    if (!S_ISREG(found.backup.st_mode))
        return {rrNoBackup, {}};
    if (found.exists && S_ISLNK(found.entry.st_mode))
        return Line(rrRefused, "%s: This is a symbolic link, which restore does not follow. Its "
                               "backup was left in place.");
    // The backup as it lies there, for its mark; a backup that cannot be opened has none.
    platform::UniqueFd backup(OpenPlain(found.backupFolder->Fd(), name));
    struct stat opened {};
    if (backup.get() >= 0 &&
        (::fstat(backup.get(), &opened) != 0 || opened.st_ino != found.backup.st_ino ||
         opened.st_dev != found.backup.st_dev))
        backup = platform::UniqueFd();

    BackupAction action{rrRestored, {}};
    PageFile page;
    if (found.exists) {
        // A rename would replace even a read-only file here; a read-only file is left alone.
        if (!S_ISREG(found.entry.st_mode) || !(found.entry.st_mode & S_IWUSR))
            return {rrFailed, {}};
        page.fd = platform::UniqueFd(OpenPlain(folder->Fd(), name));
        if (page.IsOpen() && !page.LockAgainstOtherRuns())
            return Line(rrInUse, kInUse);
        if (!page.IsOpen() || ::fstat(page.fd.get(), &page.st) != 0 || !S_ISREG(page.st.st_mode))
            return Line(rrFailed, kUnreadable);
        page.fileFolder = folder;
        page.fileName = name;
        if (!IsAsTidied(page, backup.get(), policy)) {
            if (policy.replaceEdited && !policy.replaceEdited(path))
                return Line(rrEdited, kEditedKept);
            int error = 0;
            const std::optional<QString> trashed =
                platform::TrashCopy(page.fd.get(), folder->Fd(), name, &error);
            if (!trashed)
                return Line(rrFailed, kNotTrashed, {qt_error_string(error)});
            action.trashed.append(*trashed);
        }
        // What was judged (and copied) must be what is replaced.
        if (!page.Unchanged() || !page.StillNamed())
            return Line(rrFailed, kChangedMeanwhile);
    }

    int error = 0;
    // A run of an earlier version killed before it replaced the page may have left the page and
    // its backup one file under two names: the page holds the backup's text already, and a
    // rename between two names of one file does nothing. Only the second name goes, so that
    // later edits of the page no longer change its "backup".
    if (found.exists && found.entry.st_dev == found.backup.st_dev &&
        found.entry.st_ino == found.backup.st_ino) {
        if (backup.get() >= 0)
            RemoveBackupMark(backup.get());
        if (::unlinkat(found.backupFolder->Fd(), name.constData(), 0) != 0)
            return {rrFailed, {}};
        SyncFolders({found.backupFolder}, error);
        return action;
    }
    if (::renameat(found.backupFolder->Fd(), name.constData(), folder->Fd(), name.constData()) ==
        0) {
        if (backup.get() >= 0)
            RemoveBackupMark(backup.get());
    } else if (errno != EXDEV) {
        return {rrFailed, {}};
    } else if (!CopyBack(folder, name, found.backupFolder, action.refusal)) {
        action.result = rrFailed;
        return action;
    }
    // Written to between the last look and the rename: that text went to the file that no
    // name leads to any more, and goes to the trash too.
    if (found.exists && !page.ContentUnchanged()) {
        if (const std::optional<QString> late =
                platform::TrashCopy(page.fd.get(), folder->Fd(), name, &error))
            action.trashed.append(*late);
        else {
            action.warning = QString::fromUtf8(kLateEditLost);
            action.warningDetails = {qt_error_string(error)};
        }
    }
    SyncFolders({folder}, error);
    return action;
}

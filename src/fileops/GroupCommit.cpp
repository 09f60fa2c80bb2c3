#include "fileops/GroupCommit.h"

#include "fileops/BackupMark.h"
#include "fileops/DurableWrites.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One file of the group on its way to disk.
struct Item {
    RewriteQueue::Job* job = nullptr;
    RewriteOutcome outcome;
    platform::FolderRef backupFolder;
    platform::TemporaryFile backup;
    platform::TemporaryFile text;
    bool linked = false; // the backup is the file itself under a second name
    bool live = false;   // still on its way (no outcome decided yet)

    void Decide(RewriteResult result, const QString& error = {}) {
        outcome.result = result;
        outcome.error = error;
        live = false;
        backup.Discard();
        text.Discard();
    }
};

QString SystemError(int code) {
    return qt_error_string(code);
}

// The backup of the file `job` rewrites. Where it can, the backup is the file itself under a
// second name: nothing is copied, and the file's bytes, permissions, owner and times are the
// backup's by nature. Its bytes are the file's, on disk as much as the file's are, so that name
// is given at once. A file with other names (an edit through one of them would change the
// backup) and one on another file system are copied instead, into a temporary that gets its
// name once the copy is on disk. The second name goes straight in where no older backup has
// it, and through a hidden name that replaces the older one otherwise.
bool MakeBackupCopy(platform::TemporaryFile& backup, const platform::FolderRef& folder,
                    RewriteQueue::Job& job, bool& linked, QString* refusal) {
    linked = false;
    if (job.page.st.st_nlink == 1 && folder->Stat().st_dev == job.page.st.st_dev &&
        job.page.Unchanged(&job.original)) {
        const int fd = job.page.fd.get();
        bool named = backup.LinkAs(folder->Fd(), fd, job.page.fileName);
        if (!named && errno == EEXIST &&
            backup.CreateLink(folder->Fd(), fd, platform::BackupTemporaryName)) {
            if (!PlaceBackup(backup, job.page.fileName))
                return false;
            named = true;
        }
        if (named) {
            linked = true;
            return job.page.TakeOwnChange(); // false: written to meanwhile
        }
    }
    return WriteTemporaryLike(backup, folder->Fd(), platform::BackupTemporaryName, job.original,
                              job.page.fd.get(), job.page.st, true, refusal);
}

// The file was written to between its last check and the rename, so the write went to the
// old file, which no name leads to any more: its content goes back under the name, and the
// backup keeps the original.
void PutBackLateEdit(RewriteQueue::Job& job) {
    QByteArray edited;
    if (ReadPage(job.page, edited, qint64(1) << 32) != ReadState::Read)
        return;
    platform::TemporaryFile file;
    const QByteArray name = job.page.fileName;
    if (WriteTemporaryLike(
            file, job.page.fileFolder->Fd(),
            [&](int attempt) { return platform::PageTemporaryName(name, attempt); }, edited,
            job.page.fd.get(), job.page.st, true))
        file.Place(name, true);
}

} // namespace

std::vector<RewriteOutcome> CommitGroup(RunFiles& files,
                                        const std::vector<RewriteQueue::Job*>& jobs,
                                        const std::function<void(const PageFile&)>& beforeReplace) {
    std::vector<Item> items(jobs.size());
    bool failed = false;
    const auto failFrom = [&](size_t index, const QString& error) {
        items[index].Decide(RewriteResult::WriteFailed, error);
        failed = true;
        for (size_t later = index + 1; later < items.size(); ++later)
            if (items[later].live)
                items[later].Decide(RewriteResult::NotRun);
    };

    for (size_t i = 0; i < jobs.size(); ++i) {
        items[i].job = jobs[i];
        items[i].outcome.result = RewriteResult::NotRun;
    }

    // 1. The backups (named at once where they are the file itself) and the new texts' bytes,
    // each beside where it will go.
    for (size_t i = 0; i < items.size() && !failed; ++i) {
        Item& item = items[i];
        RewriteQueue::Job& job = *item.job;
        item.live = true;
        if (!job.page.Unchanged(&job.original)) {
            item.Decide(RewriteResult::Changed);
            continue;
        }
        const BackupFolderLookup lookup = files.BackupFolder(job.page.fileFolder, true);
        if (!lookup.folder) {
            item.Decide(RewriteResult::BackupFailed);
            item.outcome.refusal = lookup.refusal;
            continue;
        }
        item.backupFolder = lookup.folder;
        // An older backup that could not be deleted (read-only) keeps its place.
        struct stat old {};
        if (::fstatat(lookup.folder->Fd(), job.page.fileName.constData(), &old,
                      AT_SYMLINK_NOFOLLOW) == 0 &&
            (S_ISDIR(old.st_mode) || (S_ISREG(old.st_mode) && !(old.st_mode & S_IWUSR)))) {
            item.Decide(RewriteResult::BackupFailed);
            continue;
        }
        if (!MakeBackupCopy(item.backup, lookup.folder, job, item.linked, &item.outcome.refusal)) {
            item.Decide(item.linked ? RewriteResult::Changed : RewriteResult::BackupFailed);
            continue;
        }
        const QByteArray& fileName = job.page.fileName;
        if (!WriteTemporaryLike(
                item.text, job.page.fileFolder->Fd(),
                [&](int attempt) { return platform::PageTemporaryName(fileName, attempt); },
                job.output, job.page.fd.get(), job.page.st, false)) {
            failFrom(i, SystemError(errno));
            break;
        }
    }

    const auto liveFolders = [&](bool backups) {
        std::vector<platform::FolderRef> folders;
        for (const Item& item : items)
            if (item.live)
                folders.push_back(backups ? item.backupFolder : item.job->page.fileFolder);
        return folders;
    };
    const auto failAll = [&](int error) {
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].live) {
                failFrom(i, SystemError(error));
                return;
            }
    };

    // 2. All of those bytes, and the backups named so far, on disk at once.
    std::vector<platform::FolderRef> folders = liveFolders(true);
    const std::vector<platform::FolderRef> textFolders = liveFolders(false);
    folders.insert(folders.end(), textFolders.begin(), textFolders.end());
    int error = 0;
    if (!folders.empty() && !SyncFolders(folders, error))
        failAll(error);

    // 3. Each copied backup under its name, if its file is still what was read. (A backup that
    // is the file itself got its name in step 1: that name was flushed with the bytes.)
    bool copiesPlaced = false;
    for (Item& item : items) {
        if (!item.live || item.linked)
            continue;
        RewriteQueue::Job& job = *item.job;
        if (!job.page.Unchanged(&job.original)) {
            item.Decide(RewriteResult::Changed);
            continue;
        }
        if (!PlaceBackup(item.backup, job.page.fileName))
            item.Decide(RewriteResult::BackupFailed);
        // The older backup may have been the file itself under its second name (a run killed
        // before it replaced the file): taking that name away moves the file's status.
        else if (!job.page.TakeOwnChange())
            item.Decide(RewriteResult::Changed);
        else
            copiesPlaced = true;
    }
    // 4. The copies' names on disk before any file is replaced.
    folders = liveFolders(true);
    if (copiesPlaced && !folders.empty() && !SyncFolders(folders, error))
        failAll(error);

    // 5. Each file replaced, after a last look at the descriptor its bytes were read through.
    for (size_t i = 0; i < items.size(); ++i) {
        Item& item = items[i];
        if (!item.live)
            continue;
        RewriteQueue::Job& job = *item.job;
        if (beforeReplace)
            beforeReplace(job.page);
        if (!job.page.Unchanged(&job.original) || !job.page.StillNamed()) {
            item.Decide(RewriteResult::Changed);
            continue;
        }
        if (!item.text.Place(job.page.fileName, true)) {
            failFrom(i, SystemError(errno));
            break;
        }
        files.Wrote(item.text.Fd());
        // The rename itself changes the old file's status (its link count), not its content.
        if (!job.page.ContentUnchanged()) {
            PutBackLateEdit(job);
            item.Decide(RewriteResult::Changed);
            continue;
        }
        MarkBackup(item.backup.Fd(), job.output); // the backup is still open, placed or linked
        item.outcome.result = RewriteResult::Rewritten;
        item.live = false;
        item.backup.Discard(); // both placed: only their descriptors close
        item.text.Discard();
    }
    // 6. The new names on disk before the files are reported tidied.
    std::vector<platform::FolderRef> replaced;
    for (const Item& item : items)
        if (item.outcome.result == RewriteResult::Rewritten)
            replaced.push_back(item.job->page.fileFolder);
    if (!replaced.empty() && !SyncFolders(replaced, error)) {
        for (Item& item : items)
            if (item.outcome.result == RewriteResult::Rewritten)
                item.outcome = {RewriteResult::WriteFailed, SystemError(error), {}};
    }

    std::vector<RewriteOutcome> outcomes;
    outcomes.reserve(items.size());
    for (const Item& item : items)
        outcomes.push_back(item.outcome);
    return outcomes;
}

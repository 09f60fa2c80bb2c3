#include "fileops/GroupCommit.h"

#include "fileops/BackupMark.h"
#include "fileops/BackupSlot.h"
#include "fileops/CommitSteps.h"
#include "fileops/DurableWrites.h"
#include "fileops/WriteFailure.h"

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
    platform::TemporaryFile backup; // the copy, or the file itself held for a second name
    platform::TemporaryFile text;
    BackupSlot slot;       // the backup's name, once ours is under it
    bool linked = false;   // the backup is the file itself under a second name
    bool live = false;     // still on its way (no outcome decided yet)
    bool replaced = false; // the file's name leads to the new text
    FileKey written{};     // the new text's file

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

// The backup of the file `item` rewrites. Where it can, the backup is the file itself under a
// second name: nothing is copied, and the file's bytes, permissions, owner and times are the
// backup's by nature. Its bytes are the file's, on disk as much as the file's are, so that name
// is given at once. A file with other names (an edit through one of them would change the
// backup) and one on another file system are copied instead, into a temporary that gets its
// name once the copy is on disk. Either way the backup name's older state is kept (BackupSlot).
bool MakeBackupCopy(CommitSteps& steps, Item& item) {
    RewriteQueue::Job& job = *item.job;
    const platform::FolderRef& folder = item.backupFolder;
    item.linked = false;
    if (job.page.st.st_nlink == 1 && folder->Stat().st_dev == job.page.st.st_dev &&
        job.page.Unchanged(&job.original)) {
        if (item.backup.Hold(folder->Fd(), job.page.fd.get()) &&
            item.slot.Take(steps, folder, job.page.fileName, item.backup)) {
            item.linked = true;
            return job.page.TakeOwnChange(); // false: written to meanwhile
        }
        item.backup.Discard(); // no second name here: copied instead
    }
    return WriteTemporaryLike(item.backup, folder->Fd(),
                              platform::BackupTemporaryNames(folder->Fd()), job.original,
                              job.page.fd.get(), job.page.st, true, &item.outcome.refusal);
}

// Puts the file that was read back under its name, where our new text (`written`) took it:
// the file itself where it still has another name (its backup, other links), else a copy of
// what it holds now. So a late edit stays in the page, with the page's own identity where that
// can be. False when the name leads elsewhere by now or the system refuses.
bool PutBack(CommitSteps& steps, RewriteQueue::Job& job, FileKey written) {
    PageFile& page = job.page;
    const int folder = page.fileFolder->Fd();
    struct stat named {
    }, now{};
    if (::fstatat(folder, page.fileName.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        KeyOf(named) != written || ::fstat(page.fd.get(), &now) != 0)
        return false;
    platform::TemporaryFile back;
    const platform::TemporaryFile::NameMaker names =
        platform::PageTemporaryNames(folder, page.fileName);
    bool made = now.st_nlink > 0 && back.CreateLink(folder, page.fd.get(), names);
    if (!made) {
        QByteArray bytes;
        made = ReadPage(page, bytes, qint64(1) << 32) == ReadState::Read &&
               WriteTemporaryLike(back, folder, names, bytes, page.fd.get(), now, true);
    }
    return made && steps.Place(back, page.fileName, true);
}

} // namespace

std::vector<RewriteOutcome> CommitGroup(RunFiles& files,
                                        const std::vector<RewriteQueue::Job*>& jobs,
                                        const std::function<void(const PageFile&)>& beforeReplace) {
    CommitSteps& steps = CurrentCommitSteps();
    std::vector<Item> items(jobs.size());
    bool failed = false;
    const auto failFrom = [&](size_t index, const QString& error) {
        items[index].Decide(RewriteResult::WriteFailed, error);
        failed = true;
        for (size_t later = index + 1; later < items.size(); ++later)
            if (items[later].live)
                items[later].Decide(RewriteResult::NotRun);
    };
    // A refusal for this file only, or a failure that ends the run; true for the latter.
    const auto writeFailure = [&](size_t index, int code) {
        if (FailureEndsRun(code)) {
            failFrom(index, SystemError(code));
            return true;
        }
        items[index].Decide(RewriteResult::WriteRefused, SystemError(code));
        return false;
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
        if (!MakeBackupCopy(steps, item)) {
            item.Decide(item.linked ? RewriteResult::Changed : RewriteResult::BackupFailed);
            continue;
        }
        const int folder = job.page.fileFolder->Fd();
        if (!WriteTemporaryLike(item.text, folder,
                                platform::PageTemporaryNames(folder, job.page.fileName), job.output,
                                job.page.fd.get(), job.page.st, false) &&
            writeFailure(i, errno))
            break;
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
    if (!folders.empty() && !steps.Flush(folders, error))
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
        if (!item.slot.Take(steps, item.backupFolder, job.page.fileName, item.backup))
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
    if (copiesPlaced && !folders.empty() && !steps.Flush(folders, error))
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
        if (!steps.Place(item.text, job.page.fileName, true)) {
            if (writeFailure(i, errno))
                break;
            continue;
        }
        struct stat written {};
        ::fstat(item.text.Fd(), &written);
        item.replaced = true;
        item.written = KeyOf(written);
        files.Wrote(item.text.Fd());
        // The rename itself changes the old file's status (its link count), not its content.
        // A write that came between the last look and the rename went to the old file, which
        // no name leads to any more: it goes back under the name (step 7).
        if (!job.page.ContentUnchanged()) {
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
    if (!replaced.empty() && !steps.Flush(replaced, error)) {
        for (Item& item : items)
            if (item.outcome.result == RewriteResult::Rewritten)
                item.outcome = {RewriteResult::WriteFailed, SystemError(error), {}};
    }

    // 7. A tidied file's older backup goes now that the file's new name is on disk. Any other
    // outcome leaves the file as it was and its backup folder as it was: the file read goes
    // back under its name where the new text took it, and the backup's name gets its older
    // state back. (A file that cannot be put back keeps the new backup, which holds what it
    // was.) The undo is flushed once for the group.
    std::vector<platform::FolderRef> undone;
    for (Item& item : items) {
        if (item.outcome.result == RewriteResult::Rewritten) {
            item.slot.Keep(steps);
            continue;
        }
        if (item.replaced && PutBack(steps, *item.job, item.written)) {
            item.replaced = false;
            undone.push_back(item.job->page.fileFolder);
            // A backup that is the file itself was marked in step 5: the page keeps no mark.
            if (item.linked)
                RemoveBackupMark(item.job->page.fd.get());
        }
        if (item.replaced) {
            item.slot.Keep(steps);
        } else if (item.slot.Taken()) {
            item.slot.Undo(steps);
            undone.push_back(item.slot.Folder());
        }
    }
    if (!undone.empty())
        steps.Flush(undone, error);

    std::vector<RewriteOutcome> outcomes;
    outcomes.reserve(items.size());
    for (const Item& item : items)
        outcomes.push_back(item.outcome);
    return outcomes;
}

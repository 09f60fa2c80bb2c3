#pragma once
// The steps of a rewrite that change names on disk or make them durable: every rename, link,
// exchange and removal of a backup or page name, and every flush. The commit of a group and
// the backups' undo take them from one object, so that a test can record their order (each
// backup durable before its page is replaced, the new names durable before a file is
// reported tidied) and make any one of them fail.

#include "fileops/RunFiles.h"
#include "platform/FolderHandle.h"
#include "platform/TemporaryFile.h"

#include <QByteArray>
#include <vector>

class CommitSteps {
public:
    virtual ~CommitSteps() = default;

    // Flushes every file system that holds one of `folders` (SyncFolders).
    virtual bool Flush(const std::vector<platform::FolderRef>& folders, int& error);
    // TemporaryFile::Place.
    virtual bool Place(platform::TemporaryFile& file, QByteArrayView name, bool replace);
    // TemporaryFile::Exchange.
    virtual bool Exchange(platform::TemporaryFile& file, QByteArrayView name,
                          const platform::TemporaryFile::NameMaker& asideNames, QByteArray& aside);
    // Swaps what the names `a` and `b` in `folderFd` lead to, in one step.
    virtual bool Swap(int folderFd, const QByteArray& a, const QByteArray& b);
    // Renames `from` to `to` in `folderFd`, failing when `to` is taken.
    virtual bool Rename(int folderFd, const QByteArray& from, const QByteArray& to);
    // Removes the name `name` in `folderFd` when it still leads to the file `expected`.
    virtual bool Remove(int folderFd, const QByteArray& name, FileKey expected);
};

// The steps in use: the system's, or those a test put in their place.
CommitSteps& CurrentCommitSteps();
// Test hook: `steps` (which must outlive its use) instead of the system's; nullptr restores them.
void SetCommitStepsForTests(CommitSteps* steps);

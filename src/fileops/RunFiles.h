#pragma once
// The file system as one batch run reaches it. Each folder of the run is opened once, by
// descriptor, and every file is then reached relative to it: below a folder the user named
// (a TreeRoots root) no symbolic link is followed on the way, so nothing planted or swapped in
// the tree can lead the run out of it. The backup folder beside each folder is opened the same
// way and checked before it is used. Every folder that a run which writes opens is also cleared
// of what a killed run left there: its stale temporaries, provably ours, and in a backup folder
// the older state of a backup it was replacing (BackupRecovery.h). A run that writes nothing
// (validate, a check or diff, a review) leaves every folder as it is.
//
// Used by the run's own thread and by the thread that writes its files.

#include "fileops/WorkItems.h"
#include "platform/FolderHandle.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <mutex>
#include <sys/stat.h>
#include <utility>

// What a file is: device and inode, whatever name leads to it.
using FileKey = std::pair<dev_t, ino_t>;
inline FileKey KeyOf(const struct stat& st) {
    return {st.st_dev, st.st_ino};
}

// The backup folder beside a folder, as the run found it.
struct BackupFolderLookup {
    platform::FolderRef folder; // null when there is none, it is refused or it cannot be made
    // When refused: the untranslated line for a file it would serve ("%s: ..."); else empty.
    QString refusal;
    int error = 0; // it could not be opened or made: the reason
};

class RunFiles {
public:
    // `roots` (may be null) must outlive the run's lookups. `writes`: the run writes in the
    // folders it opens, and clears them of a killed run's leftovers first.
    explicit RunFiles(const TreeRoots* roots = nullptr, bool writes = false);
    RunFiles(const RunFiles&) = delete;
    RunFiles& operator=(const RunFiles&) = delete;

    // The folder that holds `path`; null with `error` set to the reason when it cannot be
    // opened (a link below a root the user named gives ELOOP).
    platform::FolderRef FolderOf(const QString& path, int* error = nullptr);
    // The backup folder beside `folder`: only when it exists (`create` false), or made when
    // missing. A backup folder that is a symbolic link, or that belongs to neither the running
    // user, the system nor the folder's owner, is refused. A new one takes the owner and group
    // of the folder it is made in, where the program may set them.
    BackupFolderLookup BackupFolder(const platform::FolderRef& folder, bool create);

    // The files this run made by rewriting: another name that leads to one of them later in
    // the list is passed over, so that its backup would not take the tidied text.
    void Wrote(FileKey key);
    bool WroteFile(FileKey key) const;

    // Where a copy of an opened folder's entry would have its backup: the name of the backup
    // folder (translated, as bytes).
    static QByteArray BackupFolderName();

private:
    platform::FolderRef OpenFolder(const QString& folder, int* error);
    platform::FolderRef Cached(const QString& folder, int* error,
                               const std::function<platform::FolderRef(int*)>& open);
    // `parent`: the folder whose backup folder `folder` is, if it is one.
    void Sweep(const platform::FolderRef& folder, const platform::FolderRef& parent = nullptr);
    BackupFolderLookup Examine(const platform::FolderRef& folder, bool create);

    const TreeRoots* m_roots;
    const bool m_writes;
    // Folders in recent use, newest last; few, since a list goes folder by folder.
    QList<std::pair<QString, platform::FolderRef>> m_folders;
    mutable std::mutex m_mutex; // guards everything below
    QHash<FileKey, BackupFolderLookup> m_backupFolders;
    QSet<FileKey> m_swept;
    QSet<FileKey> m_written;
};

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
    // The backup folder of the untranslated name beside `folder`, only when it exists: where
    // the backups made before the language was changed lie. Checked as BackupFolder's are.
    BackupFolderLookup UntranslatedBackupFolder(const platform::FolderRef& folder);

    // The folder the user named that `path` lies below (a TreeRoots root), opened; null when it
    // lies below none, or with `error` set when the root cannot be opened.
    platform::FolderRef RootFolderOf(const QString& path, int* error = nullptr);
    // `folder` is a backup folder (IsBackupFolderAt), asked once per folder in a run.
    bool IsBackupFolder(const platform::FolderRef& folder);

    // Folders (and as many backup folders) kept open at most; at least one.
    void SetCachedFolders(int count);
    // Closes every folder kept open that nothing else holds (the process ran short of
    // descriptors); they are opened again when next needed.
    void DropCachedFolders();

    // The files this run made by rewriting (the new file open at `fd`): another name that
    // leads to one of them later in the list is passed over, so that its backup would not take
    // the tidied text. A file is told by its device and inode and, where the file system keeps
    // them, its birth time and generation: an inode number that the system gave to a new file
    // after the run's was deleted (an editor's save by rename) is another file. One edited in
    // place since is still the run's.
    void Wrote(int fd);
    // The file open at `fd`, whose key is `key`, is one this run wrote.
    bool WroteFile(int fd, FileKey key) const;

    // Where a copy of an opened folder's entry would have its backup: the name of the backup
    // folder (translated, as bytes).
    static QByteArray BackupFolderName();

private:
    platform::FolderRef OpenFolder(const QString& folder, int* error);
    platform::FolderRef Cached(const QString& folder, int* error,
                               const std::function<platform::FolderRef(int*)>& open);
    // `parent`: the folder whose backup folder `folder` is, if it is one.
    void Sweep(const platform::FolderRef& folder, const platform::FolderRef& parent = nullptr);
    BackupFolderLookup Examine(const platform::FolderRef& folder, const QByteArray& name,
                               bool create);

    // What outlives the reuse of an inode number, where the file system tells it.
    struct Birth {
        bool timeKnown = false;
        qint64 seconds = 0;
        quint32 nanoseconds = 0;
        bool generationKnown = false;
        quint32 generation = 0;
        bool SameFile(const Birth& other) const;
    };
    static Birth BirthOf(int fd);

    const TreeRoots* m_roots;
    int m_cachedFolders = 32;
    const bool m_writes;
    // Folders in recent use, newest last; few, since a list goes folder by folder.
    QList<std::pair<QString, platform::FolderRef>> m_folders;
    mutable std::mutex m_mutex; // guards everything below
    // Backup folders in recent use, newest last (as many as m_folders); a refusal is kept for
    // the whole run, as it holds no descriptor.
    QList<std::pair<FileKey, BackupFolderLookup>> m_backupFolders;
    QHash<FileKey, BackupFolderLookup> m_refusedBackupFolders;
    QHash<FileKey, bool> m_isBackupFolder;
    QSet<FileKey> m_swept;
    QHash<FileKey, Birth> m_written;
};

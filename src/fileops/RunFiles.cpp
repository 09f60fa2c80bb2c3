#include "fileops/RunFiles.h"

#include "fileops/BackupRecovery.h"
#include "fileops/BackupStore.h"
#include "platform/FileNames.h"
#include "platform/TemporaryFile.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Folders whose backup-folder status a run remembers at most (a tree of millions of folders
// must not grow it without end); then it starts afresh.
constexpr qsizetype kRememberedFolders = 65536;

QString ParentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

// Whose folder may hold the backups of a folder's files: the running user's, the system's,
// or the folder owner's own. Anyone else could read or swap what is put there.
bool TrustedOwner(uid_t owner, const struct stat& folder) {
    return owner == ::geteuid() || owner == 0 || owner == folder.st_uid;
}

const char* const kForeignBackupFolder =
    "%s: The backup folder beside this file belongs to another user, so Kelvane does not use "
    "it. The file was left as it is.";

// The lookup of an opened backup folder: refused when its owner is not trusted.
BackupFolderLookup Checked(platform::FolderRef backupFolder, const struct stat& folder) {
    BackupFolderLookup lookup;
    if (TrustedOwner(backupFolder->Stat().st_uid, folder))
        lookup.folder = std::move(backupFolder);
    else
        lookup.refusal = QString::fromUtf8(kForeignBackupFolder);
    return lookup;
}

} // namespace

RunFiles::RunFiles(const TreeRoots* roots, bool writes) : m_roots(roots), m_writes(writes) {}

QByteArray RunFiles::BackupFolderName() {
    QString name = ::BackupFolderName();
    name.chop(1); // the separator
    return platform::EncodeFileName(name);
}

platform::FolderRef RunFiles::Cached(const QString& folder, int* error,
                                     const std::function<platform::FolderRef(int*)>& open) {
    for (qsizetype i = m_folders.size() - 1; i >= 0; --i) {
        if (m_folders.at(i).first == folder) {
            if (i != m_folders.size() - 1)
                m_folders.move(i, m_folders.size() - 1);
            return m_folders.last().second;
        }
    }
    platform::FolderRef opened = open(error);
    if (!opened)
        return nullptr;
    Sweep(opened);
    m_folders.append({folder, opened});
    while (m_folders.size() > m_cachedFolders)
        m_folders.removeFirst();
    return opened;
}

void RunFiles::SetCachedFolders(int count) {
    m_cachedFolders = std::max(1, count);
    while (m_folders.size() > m_cachedFolders)
        m_folders.removeFirst();
    const std::lock_guard lock(m_mutex);
    while (m_backupFolders.size() > m_cachedFolders)
        m_backupFolders.removeFirst();
}

void RunFiles::DropCachedFolders() {
    m_folders.clear();
    const std::lock_guard lock(m_mutex);
    m_backupFolders.clear();
}

platform::FolderRef RunFiles::RootFolderOf(const QString& path, int* error) {
    const QString root = m_roots ? m_roots->RootOf(path) : QString();
    if (root.isEmpty())
        return nullptr;
    return Cached(root, error, [&](int* code) { return platform::FolderHandle::Open(root, code); });
}

bool RunFiles::IsBackupFolder(const platform::FolderRef& folder) {
    const FileKey key = KeyOf(folder->Stat());
    {
        const std::lock_guard lock(m_mutex);
        const auto known = m_isBackupFolder.constFind(key);
        if (known != m_isBackupFolder.constEnd())
            return *known;
    }
    const bool backups = IsBackupFolderAt(folder->Fd(), folder->Path());
    const std::lock_guard lock(m_mutex);
    if (m_isBackupFolder.size() >= kRememberedFolders)
        m_isBackupFolder.clear();
    m_isBackupFolder.insert(key, backups);
    return backups;
}

platform::FolderRef RunFiles::OpenFolder(const QString& folder, int* error) {
    const QString root = m_roots ? m_roots->RootOf(folder + QStringLiteral("/x")) : QString();
    if (root.isEmpty())
        return Cached(folder, error,
                      [&](int* code) { return platform::FolderHandle::Open(folder, code); });
    const platform::FolderRef top =
        Cached(root, error, [&](int* code) { return platform::FolderHandle::Open(root, code); });
    if (!top)
        return nullptr;
    if (folder == root)
        return top;
    const QString relative = folder.mid(root == QLatin1String("/") ? 1 : root.size() + 1);
    return Cached(folder, error, [&](int* code) {
        return platform::FolderHandle::OpenBeneath(top, relative, code);
    });
}

platform::FolderRef RunFiles::FolderOf(const QString& path, int* error) {
    return OpenFolder(ParentOf(path), error);
}

void RunFiles::Sweep(const platform::FolderRef& folder, const platform::FolderRef& parent) {
    if (!m_writes)
        return;
    {
        const std::lock_guard lock(m_mutex);
        if (m_swept.contains(KeyOf(folder->Stat())))
            return;
        m_swept.insert(KeyOf(folder->Stat()));
    }
    if (parent)
        RecoverBackupFolder(parent, folder);
    platform::RemoveStaleTemporaries(folder->Fd());
}

BackupFolderLookup RunFiles::Examine(const platform::FolderRef& folder, const QByteArray& name,
                                     bool create) {
    BackupFolderLookup lookup;
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct stat st {};
        if (::fstatat(folder->Fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT || !create) {
                lookup.error = errno;
                return lookup;
            }
            if (::mkdirat(folder->Fd(), name.constData(), 0777) != 0) {
                if (errno == EEXIST)
                    continue; // made meanwhile: look at what is there now
                lookup.error = errno;
                return lookup;
            }
            int code = 0;
            platform::FolderRef made = platform::FolderHandle::OpenChild(folder, name, &code);
            if (!made) {
                lookup.error = code;
                return lookup;
            }
            // Its owner's, so that the owner may restore and clean what another user (root)
            // tidied for him. Only root may give a folder away; others keep their own.
            if (::fchown(made->Fd(), folder->Stat().st_uid, folder->Stat().st_gid) != 0) {
            }
            return Checked(std::move(made), folder->Stat());
        }
        if (S_ISLNK(st.st_mode)) {
            lookup.refusal = QStringLiteral(
                "%s: The backup folder beside this file is a symbolic link, which Kelvane does "
                "not follow. The file was left as it is.");
            return lookup;
        }
        if (!S_ISDIR(st.st_mode)) {
            lookup.error = ENOTDIR;
            return lookup;
        }
        int code = 0;
        platform::FolderRef existing = platform::FolderHandle::OpenChild(folder, name, &code);
        if (!existing) {
            if (code == ELOOP || code == ENOTDIR)
                continue; // swapped since it was looked at
            lookup.error = code;
            return lookup;
        }
        return Checked(std::move(existing), folder->Stat());
    }
    lookup.error = ELOOP;
    return lookup;
}

BackupFolderLookup RunFiles::BackupFolder(const platform::FolderRef& folder, bool create) {
    const FileKey key = KeyOf(folder->Stat());
    {
        const std::lock_guard lock(m_mutex);
        const auto refused = m_refusedBackupFolders.constFind(key);
        if (refused != m_refusedBackupFolders.constEnd())
            return *refused;
        for (qsizetype i = m_backupFolders.size() - 1; i >= 0; --i) {
            if (m_backupFolders.at(i).first == key) {
                m_backupFolders.move(i, m_backupFolders.size() - 1);
                return m_backupFolders.last().second;
            }
        }
    }
    BackupFolderLookup lookup = Examine(folder, BackupFolderName(), create);
    if (lookup.folder)
        Sweep(lookup.folder, folder);
    const std::lock_guard lock(m_mutex);
    // Only what the run can rely on is kept: a folder that could not be made may be makeable
    // for the next file (space freed), and one that is missing may be made by another run.
    if (!lookup.refusal.isEmpty()) {
        m_refusedBackupFolders.insert(key, lookup);
    } else if (lookup.folder) {
        m_backupFolders.append({key, lookup});
        while (m_backupFolders.size() > m_cachedFolders)
            m_backupFolders.removeFirst();
    }
    return lookup;
}

BackupFolderLookup RunFiles::UntranslatedBackupFolder(const platform::FolderRef& folder) {
    // Not kept: it is asked only for files the current backup folder has nothing for.
    BackupFolderLookup lookup =
        Examine(folder, platform::EncodeFileName(UntranslatedBackupFolderName().chopped(1)), false);
    if (lookup.folder)
        Sweep(lookup.folder, folder);
    return lookup;
}

bool RunFiles::Birth::SameFile(const Birth& other) const {
    // Where the file system tells neither, the inode is taken to be the run's: passing over a
    // file is a line, tidying one twice would put tidied text in its backup.
    if (timeKnown && other.timeKnown &&
        (seconds != other.seconds || nanoseconds != other.nanoseconds))
        return false;
    return !(generationKnown && other.generationKnown && generation != other.generation);
}

RunFiles::Birth RunFiles::BirthOf(int fd) {
    Birth birth;
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, STATX_BTIME, &sx) == 0 &&
        (sx.stx_mask & STATX_BTIME)) {
        birth.timeKnown = true;
        birth.seconds = sx.stx_btime.tv_sec;
        birth.nanoseconds = sx.stx_btime.tv_nsec;
    }
    int generation = 0;
    if (::ioctl(fd, FS_IOC_GETVERSION, &generation) == 0) {
        birth.generationKnown = true;
        birth.generation = quint32(generation);
    }
    return birth;
}

void RunFiles::Wrote(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return;
    const Birth birth = BirthOf(fd);
    const std::lock_guard lock(m_mutex);
    m_written.insert(KeyOf(st), birth);
}

bool RunFiles::WroteFile(int fd, FileKey key) const {
    {
        const std::lock_guard lock(m_mutex);
        if (!m_written.contains(key))
            return false; // the common case: no look at the file itself
    }
    const Birth birth = BirthOf(fd);
    const std::lock_guard lock(m_mutex);
    const auto written = m_written.constFind(key);
    return written != m_written.constEnd() && written->SameFile(birth);
}

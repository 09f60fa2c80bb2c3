#include "fileops/BackupRecovery.h"

#include "fileops/RunFiles.h"
#include "platform/TemporaryNames.h"
#include "platform/UniqueFd.h"

#include <QList>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Two files are compared byte for byte up to this size; larger ones count as different.
constexpr off_t kMaxCompared = off_t(256) << 20;

QList<QByteArray> Names(int folderFd) {
    QList<QByteArray> names;
    const int listing = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return names;
    DIR* dir = ::fdopendir(listing);
    if (dir == nullptr) {
        ::close(listing);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(dir);
    return names;
}

bool SameBytes(int a, int b) {
    struct stat sa {
    }, sb{};
    if (::fstat(a, &sa) != 0 || ::fstat(b, &sb) != 0 || sa.st_size != sb.st_size ||
        sa.st_size > kMaxCompared)
        return false;
    char bufferA[64 * 1024], bufferB[64 * 1024];
    for (off_t offset = 0; offset < sa.st_size;) {
        const ssize_t got = ::pread(a, bufferA, sizeof bufferA, offset);
        if (got <= 0 || ::pread(b, bufferB, size_t(got), offset) != got ||
            std::memcmp(bufferA, bufferB, size_t(got)) != 0)
            return false;
        offset += got;
    }
    return true;
}

int OpenFile(int folderFd, const QByteArray& name) {
    return ::openat(folderFd, name.constData(),
                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// Whether the page is still what its backup `name` was made from: the backup leads to the
// page's own file, or holds its bytes.
bool PageKept(int pageFd, const struct stat& page, int backupFolder, const QByteArray& name) {
    const platform::UniqueFd backup(OpenFile(backupFolder, name));
    struct stat st {};
    if (backup.get() < 0 || ::fstat(backup.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return KeyOf(st) == KeyOf(page) || SameBytes(backup.get(), pageFd);
}

bool StillIs(int folderFd, const QByteArray& name, const struct stat& seen) {
    struct stat now {};
    return ::fstatat(folderFd, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
           KeyOf(now) == KeyOf(seen);
}

// Settles the leftover `left` (seen as `seen`) bound to the backup name `name`.
bool Settle(const platform::FolderRef& folder, const platform::FolderRef& backupFolder,
            const QByteArray& left, platform::TemporaryKind kind, const struct stat& seen,
            const QByteArray& name) {
    const int backups = backupFolder->Fd();
    const platform::UniqueFd page(OpenFile(folder->Fd(), name));
    struct stat pageStat {};
    if (page.get() < 0 || ::fstat(page.get(), &pageStat) != 0 || !S_ISREG(pageStat.st_mode)) {
        if (kind == platform::TemporaryKind::Vacant && StillIs(backups, left, seen))
            return ::unlinkat(backups, left.constData(), 0) == 0;
        return false;
    }
    // A live run holds the page until its backup is settled.
    if (::flock(page.get(), LOCK_EX | LOCK_NB) != 0 || !StillIs(backups, left, seen))
        return false;
    struct stat backup {};
    const bool hasBackup = ::fstatat(backups, name.constData(), &backup, AT_SYMLINK_NOFOLLOW) == 0;
    if (hasBackup && !S_ISREG(backup.st_mode))
        return false;
    const bool kept = hasBackup && PageKept(page.get(), pageStat, backups, name);
    if (kind == platform::TemporaryKind::Vacant) {
        if (kept)
            ::unlinkat(backups, name.constData(), 0);
        return ::unlinkat(backups, left.constData(), 0) == 0;
    }
    // Still the new backup's second name, from before the exchange.
    if (KeyOf(seen) == KeyOf(pageStat))
        return ::unlinkat(backups, left.constData(), 0) == 0;
    if (!hasBackup)
        return ::renameat2(backups, left.constData(), backups, name.constData(),
                           RENAME_NOREPLACE) == 0;
    if (kept)
        return ::renameat(backups, left.constData(), backups, name.constData()) == 0;
    return ::unlinkat(backups, left.constData(), 0) == 0;
}

} // namespace

int RecoverBackupFolder(const platform::FolderRef& folder, const platform::FolderRef& backupFolder,
                        int minimumAgeSeconds) {
    const int backups = backupFolder->Fd();
    const QList<QByteArray> names = Names(backups);
    QList<QByteArray> leftovers;
    for (const QByteArray& name : names) {
        const std::optional<platform::TemporaryKind> kind = platform::TemporaryNameKind(name);
        if (kind == platform::TemporaryKind::Aside || kind == platform::TemporaryKind::Vacant)
            leftovers.append(name);
    }
    if (leftovers.isEmpty() || !platform::HaveTemporaryKey())
        return 0;
    struct timespec clock {};
    ::clock_gettime(CLOCK_REALTIME, &clock);
    QList<QByteArray> pageNames; // listed only when a backup name is not found among the backups
    bool pagesListed = false;
    int settled = 0;
    for (const QByteArray& left : leftovers) {
        struct stat seen {};
        if (::fstatat(backups, left.constData(), &seen, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(seen.st_mode) || seen.st_ctime + minimumAgeSeconds > clock.tv_sec)
            continue;
        // The name it is bound to: a backup's, or, where that is gone, a page's.
        const auto boundTo = [&](const QList<QByteArray>& candidates) -> const QByteArray* {
            for (const QByteArray& candidate : candidates)
                if (!platform::TemporaryNameKind(candidate) &&
                    platform::IsOurTemporaryName(backupFolder->Stat(), left, candidate))
                    return &candidate;
            return nullptr;
        };
        const QByteArray* name = boundTo(names);
        if (!name) {
            if (!pagesListed) {
                pageNames = Names(folder->Fd());
                pagesListed = true;
            }
            name = boundTo(pageNames);
        }
        if (name &&
            Settle(folder, backupFolder, left, *platform::TemporaryNameKind(left), seen, *name))
            ++settled;
    }
    if (settled > 0)
        platform::SyncFileSystem(backups);
    return settled;
}

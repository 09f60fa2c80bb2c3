#include "fileops/BackupSlot.h"

#include "platform/TemporaryNames.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMarkerAttempts = 4;

// An empty Vacant marker bound to `name`, made in `folder`: its name, or empty with errno set.
QByteArray MakeMarker(const platform::FolderRef& folder, const QByteArray& name, FileKey& key) {
    for (int attempt = 0; attempt < kMarkerAttempts; ++attempt) {
        const QByteArray marker =
            platform::MakeTemporaryName(folder->Stat(), platform::TemporaryKind::Vacant, name);
        const platform::UniqueFd fd(::openat(folder->Fd(), marker.constData(),
                                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                             0600));
        struct stat st {};
        if (fd.get() >= 0 && ::fstat(fd.get(), &st) == 0) {
            key = KeyOf(st);
            return marker;
        }
        if (fd.get() >= 0 || errno != EEXIST)
            return {};
    }
    errno = EEXIST;
    return {};
}

} // namespace

bool BackupSlot::Take(CommitSteps& steps, const platform::FolderRef& folder, const QByteArray& name,
                      platform::TemporaryFile& ours) {
    struct stat st {};
    if (!ours.IsOpen() || ::fstat(ours.Fd(), &st) != 0)
        return false;
    m_folder = folder;
    m_name = name;
    m_ours = KeyOf(st);
    const int fd = folder->Fd();
    if (::fstatat(fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT) {
        // Without a key no later run could prove the marker ours: none is made.
        if (platform::HaveTemporaryKey()) {
            m_vacant = MakeMarker(folder, name, m_marker);
            if (m_vacant.isEmpty())
                return false;
        }
        if (steps.Place(ours, name, false)) {
            m_taken = true;
            return true;
        }
        const int code = errno;
        if (!m_vacant.isEmpty())
            ::unlinkat(fd, m_vacant.constData(), 0);
        m_vacant.clear();
        errno = code;
        if (code != EEXIST) // else made meanwhile: it is the older backup
            return false;
    }
    QByteArray aside;
    if (!steps.Exchange(ours, name,
                        platform::TemporaryNames(fd, platform::TemporaryKind::Aside, name), aside))
        return false;
    m_aside = aside;
    if (::fstatat(fd, aside.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        m_older = KeyOf(st);
    m_taken = true;
    return true;
}

void BackupSlot::Keep(CommitSteps& steps) {
    if (!m_taken)
        return;
    m_taken = false;
    if (!m_aside.isEmpty())
        steps.Remove(m_folder->Fd(), m_aside, m_older);
    if (!m_vacant.isEmpty())
        steps.Remove(m_folder->Fd(), m_vacant, m_marker);
}

void BackupSlot::Undo(CommitSteps& steps) {
    if (!m_taken)
        return;
    m_taken = false;
    const int fd = m_folder->Fd();
    if (m_aside.isEmpty()) {
        steps.Remove(fd, m_name, m_ours);
        if (!m_vacant.isEmpty())
            steps.Remove(fd, m_vacant, m_marker);
        return;
    }
    struct stat st {};
    if (::fstatat(fd, m_name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        // Ours was removed meanwhile (a clean of this backup): the older one comes back.
        if (errno == ENOENT)
            steps.Rename(fd, m_aside, m_name);
        return;
    }
    // Anything else under the name now was put there by someone else, and stays; so does the
    // older backup, under its hidden name.
    if (KeyOf(st) == m_ours && steps.Swap(fd, m_aside, m_name))
        steps.Remove(fd, m_aside, m_ours);
}

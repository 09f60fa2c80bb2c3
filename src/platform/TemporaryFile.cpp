#include "platform/TemporaryFile.h"

#include "platform/UniqueFd.h"

#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kNameAttempts = 16;

bool Lock(int fd) {
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

// Removes the temporary `name` in `folderFd` if nobody holds it locked and it is still the file
// that was looked at (`seen`, when given). True when it went.
bool RemoveIfUnheld(int folderFd, const char* name, const struct stat* seen) {
    const UniqueFd file(
        ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    if (file.get() < 0 || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        (seen && (opened.st_ino != seen->st_ino || opened.st_dev != seen->st_dev)))
        return false;
    // A live writer holds its temporary locked for as long as it exists.
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    struct stat still {};
    return ::fstatat(folderFd, name, &still, AT_SYMLINK_NOFOLLOW) == 0 &&
           still.st_ino == opened.st_ino && still.st_dev == opened.st_dev &&
           ::unlinkat(folderFd, name, 0) == 0;
}

} // namespace

TemporaryFile::~TemporaryFile() {
    Discard();
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept {
    *this = std::move(other);
}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
    if (this != &other) {
        Discard();
        m_folder = std::exchange(other.m_folder, -1);
        m_fd = std::exchange(other.m_fd, -1);
        m_name = std::exchange(other.m_name, {});
        m_names = std::move(other.m_names);
        m_placed = std::exchange(other.m_placed, false);
    }
    return *this;
}

bool TemporaryFile::Create(int folderFd, NameMaker names, mode_t mode) {
    Discard();
    m_folder = folderFd;
    m_names = std::move(names);
    m_placed = false;
    m_fd = ::openat(folderFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (m_fd >= 0) {
        if (!Lock(m_fd))
            return DropKeepingError();
        return true;
    }
    // File systems without unnamed files answer one of these; anything else is a real refusal
    // (a full disk, no permission) that a named file would meet as well.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
        return false;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray name = m_names(attempt);
        m_fd = ::openat(folderFd, name.constData(),
                        O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (m_fd >= 0) {
            m_name = name;
            if (!Lock(m_fd))
                return DropKeepingError();
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    errno = EEXIST;
    return false;
}

bool TemporaryFile::Adopt(int folderFd, int fileFd, NameMaker names) {
    Discard();
    m_folder = folderFd;
    m_names = std::move(names);
    m_placed = false;
    m_fd = ::fcntl(fileFd, F_DUPFD_CLOEXEC, 0);
    return m_fd >= 0;
}

bool TemporaryFile::DropKeepingError() {
    const int code = errno;
    Discard();
    errno = code;
    return false;
}

bool TemporaryFile::CreateLink(int folderFd, int fileFd, NameMaker names) {
    if (!Adopt(folderFd, fileFd, std::move(names)))
        return false;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray name = m_names(attempt);
        if (LinkUnder(name)) {
            m_name = name;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    return DropKeepingError();
}

bool TemporaryFile::LinkAs(int folderFd, int fileFd, QByteArrayView name) {
    if (!Adopt(folderFd, fileFd, nullptr))
        return false;
    if (!LinkUnder(name.toByteArray()))
        return DropKeepingError();
    m_placed = true;
    return true;
}

bool TemporaryFile::LinkUnder(const QByteArray& name) {
    // Giving a name to an unnamed file needs a capability through AT_EMPTY_PATH; /proc's link
    // to the descriptor does the same for anyone.
    if (::linkat(m_fd, "", m_folder, name.constData(), AT_EMPTY_PATH) == 0)
        return true;
    if (errno != ENOENT && errno != EPERM)
        return false;
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
    return ::linkat(AT_FDCWD, self.constData(), m_folder, name.constData(), AT_SYMLINK_FOLLOW) == 0;
}

bool TemporaryFile::Place(QByteArrayView name, bool replace) {
    if (m_fd < 0 || m_placed) {
        errno = EBADF;
        return false;
    }
    const QByteArray target = name.toByteArray();
    if (!Named()) {
        if (!replace) {
            if (!LinkUnder(target))
                return false;
            m_placed = true;
            return true;
        }
        // A rename is the one step that replaces; it needs a name to rename from. A file
        // unnamed until now was locked before it got a name, as every such temporary of ours
        // is: one under the name that nobody holds was left by a writer that was killed, and
        // goes at once (the stale rule's age is for named temporaries, unlocked a moment).
        int attempt = 0;
        for (; attempt < kNameAttempts; ++attempt) {
            const QByteArray candidate = m_names(attempt);
            bool linked = LinkUnder(candidate);
            if (!linked) {
                if (errno != EEXIST)
                    return false;
                if (RemoveIfUnheld(m_folder, candidate.constData(), nullptr)) {
                    linked = LinkUnder(candidate);
                    if (!linked && errno != EEXIST)
                        return false;
                }
            }
            if (linked) {
                m_name = candidate;
                break;
            }
        }
        if (attempt == kNameAttempts) {
            errno = EEXIST;
            return false;
        }
    }
    const unsigned flags = replace ? 0 : RENAME_NOREPLACE;
    if (::renameat2(m_folder, m_name.constData(), m_folder, target.constData(), flags) != 0)
        return false;
    m_name.clear();
    m_placed = true;
    return true;
}

void TemporaryFile::Discard() {
    if (m_fd < 0)
        return;
    if (Named() && !m_placed) {
        const int code = errno;
        ::unlinkat(m_folder, m_name.constData(), 0);
        errno = code;
    }
    ::close(m_fd);
    m_fd = -1;
    m_name.clear();
}

QByteArray PageTemporaryName(QByteArrayView fileName, int attempt) {
    const QByteArray suffix = ".kelvane-" + QByteArray::number(attempt) + ".tmp";
    return "." +
           fileName.first(std::min<qsizetype>(fileName.size(), NAME_MAX - 1 - suffix.size()))
               .toByteArray() +
           suffix;
}

QByteArray BackupTemporaryName(int) {
    return ".kelvane-backup-" +
           QByteArray::number(QRandomGenerator::global()->generate64(), 16)
               .rightJustified(16, '0') +
           ".tmp";
}

bool IsTemporaryName(QByteArrayView name) {
    if (!name.startsWith('.') || !name.endsWith(".tmp"))
        return false;
    if (name.startsWith(".kelvane-backup-"))
        return true;
    // ".NAME.kelvane-<digits>.tmp"
    const QByteArrayView stem = name.chopped(4);
    const qsizetype dash = stem.lastIndexOf(QByteArrayView(".kelvane-"));
    if (dash <= 0)
        return false;
    const QByteArrayView digits = stem.sliced(dash + 9);
    if (digits.isEmpty())
        return false;
    for (const char c : digits)
        if (c < '0' || c > '9')
            return false;
    return true;
}

int RemoveStaleTemporaries(int folderFd, int minimumAgeSeconds) {
    const int listing = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return 0;
    DIR* dir = ::fdopendir(listing);
    if (dir == nullptr) {
        ::close(listing);
        return 0;
    }
    // The fine clock: file times may be a little ahead of the coarse one that time() reads.
    struct timespec clock {};
    ::clock_gettime(CLOCK_REALTIME, &clock);
    const time_t now = clock.tv_sec;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTemporaryName(QByteArrayView(entry->d_name)))
            continue;
        struct stat st {};
        if (::fstatat(folderFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_ctime + minimumAgeSeconds > now)
            continue;
        if (RemoveIfUnheld(folderFd, entry->d_name, &st))
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

} // namespace platform

#include "platform/TemporaryFile.h"

#include "platform/UniqueFd.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
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

// Whether the regular file open as `fd` is left behind: nobody holds it locked and its status
// has not changed for `minimumAgeSeconds`. On true it is locked by `fd`, so that nobody takes
// it up before the caller is done with it.
bool IsStale(int fd, int minimumAgeSeconds) {
    // A live writer holds its temporary locked for as long as it exists.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return false;
    struct stat st {};
    // The fine clock: file times may be a little ahead of the coarse one that time() reads.
    struct timespec clock {};
    ::clock_gettime(CLOCK_REALTIME, &clock);
    return ::fstat(fd, &st) == 0 && st.st_ctime + minimumAgeSeconds <= clock.tv_sec;
}

// Removes the temporary `name` in `folderFd` if it is still the file that was looked at
// (`seen`) and stale. True when it went.
bool RemoveIfStale(int folderFd, const char* name, const struct stat& seen, int minimumAge) {
    const UniqueFd file(
        ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    if (file.get() < 0 || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_ino != seen.st_ino || opened.st_dev != seen.st_dev ||
        !IsStale(file.get(), minimumAge))
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

bool TemporaryFile::Hold(int folderFd, int fileFd, NameMaker names) {
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
    if (!Hold(folderFd, fileFd, std::move(names)))
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
        // A rename is the one step that replaces; it needs a name to rename from.
        if (!Rename(m_names))
            return false;
    }
    const unsigned flags = replace ? 0 : RENAME_NOREPLACE;
    if (::renameat2(m_folder, m_name.constData(), m_folder, target.constData(), flags) != 0)
        return false;
    m_name.clear();
    m_placed = true;
    return true;
}

bool TemporaryFile::Rename(const NameMaker& names) {
    if (!names) {
        errno = EINVAL;
        return false;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray candidate = names(attempt);
        const bool done = Named() ? ::renameat2(m_folder, m_name.constData(), m_folder,
                                                candidate.constData(), RENAME_NOREPLACE) == 0
                                  : LinkUnder(candidate);
        if (done) {
            m_name = candidate;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    errno = EEXIST;
    return false;
}

bool TemporaryFile::Exchange(QByteArrayView name, const NameMaker& asideNames, QByteArray& aside) {
    if (m_fd < 0 || m_placed) {
        errno = EBADF;
        return false;
    }
    if (!Rename(asideNames))
        return false;
    const QByteArray target = name.toByteArray();
    if (::renameat2(m_folder, m_name.constData(), m_folder, target.constData(), RENAME_EXCHANGE) !=
        0)
        return false;
    aside = std::exchange(m_name, {});
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

TemporaryFile::NameMaker TemporaryNames(int folderFd, TemporaryKind kind, QByteArray subject) {
    auto folder = std::make_shared<std::optional<struct stat>>();
    return [folderFd, kind, subject = std::move(subject), folder](int) {
        if (!*folder) {
            struct stat st {};
            ::fstat(folderFd, &st);
            *folder = st;
        }
        return MakeTemporaryName(**folder, kind, subject);
    };
}

int RemoveStaleTemporaries(int folderFd, int minimumAgeSeconds) {
    struct stat folder {};
    if (::fstat(folderFd, &folder) != 0)
        return 0;
    const int listing = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return 0;
    DIR* dir = ::fdopendir(listing);
    if (dir == nullptr) {
        ::close(listing);
        return 0;
    }
    struct timespec clock {};
    ::clock_gettime(CLOCK_REALTIME, &clock);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        const std::optional<TemporaryKind> kind = TemporaryNameKind(name);
        if (kind != TemporaryKind::Page && kind != TemporaryKind::Backup)
            continue;
        struct stat st {};
        if (::fstatat(folderFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_ctime + minimumAgeSeconds > clock.tv_sec ||
            !IsOurTemporaryName(folder, name))
            continue;
        if (RemoveIfStale(folderFd, entry->d_name, st, minimumAgeSeconds))
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

} // namespace platform

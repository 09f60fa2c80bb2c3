#include "platform/FolderHandle.h"

#include "platform/FileNames.h"

#include <QList>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

int Failed(int* error, int code) {
    if (error)
        *error = code;
    return -1;
}

// The kernel keeps the whole lookup beneath the folder and refuses every link on the way.
int OpenAt2Beneath(int root, const QByteArray& relative) {
#ifdef SYS_openat2
    open_how how{};
    how.flags = kFolderFlags;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return int(::syscall(SYS_openat2, root, relative.constData(), &how, sizeof how));
#else
    errno = ENOSYS;
    return -1;
#endif
}

// The same, one component at a time, for kernels (or sandboxes) without openat2.
int OpenStepByStep(int root, const QByteArray& relative) {
    int current = ::fcntl(root, F_DUPFD_CLOEXEC, 0);
    for (const QByteArray& part : relative.split('/')) {
        if (current < 0)
            return -1;
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            ::close(current);
            errno = EXDEV; // as openat2 says for a step out of the folder
            return -1;
        }
        const int next = ::openat(current, part.constData(), kFolderFlags | O_NOFOLLOW);
        const int code = errno;
        ::close(current);
        errno = code;
        current = next;
    }
    return current;
}

} // namespace

FolderHandle::FolderHandle(int fd, const struct stat& st, QString path)
    : m_fd(fd), m_stat(st), m_path(std::move(path)) {}

FolderHandle::~FolderHandle() {
    ::close(m_fd);
}

FolderRef FolderHandle::Adopt(int fd, QString path, int* error) {
    if (fd < 0) {
        Failed(error, errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        Failed(error, errno);
        ::close(fd);
        return nullptr;
    }
    return FolderRef(new FolderHandle(fd, st, std::move(path)));
}

FolderRef FolderHandle::Open(const QString& path, int* error) {
    const QByteArray native = EncodeFileName(path.isEmpty() ? QStringLiteral(".") : path);
    return Adopt(::open(native.constData(), kFolderFlags), path, error);
}

FolderRef FolderHandle::OpenBeneath(const FolderRef& root, const QString& relative, int* error) {
    QString path = root->Path();
    if (!relative.isEmpty())
        path += (path.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + relative;
    const QByteArray native = EncodeFileName(relative.isEmpty() ? QStringLiteral(".") : relative);
    if (native.startsWith('/')) {
        Failed(error, EXDEV);
        return nullptr;
    }
    int fd = OpenAt2Beneath(root->Fd(), native);
    if (fd < 0 && (errno == ENOSYS || errno == EPERM))
        fd = OpenStepByStep(root->Fd(), native);
    return Adopt(fd, path, error);
}

FolderRef FolderHandle::OpenChild(const FolderRef& parent, QByteArrayView name, int* error) {
    const QByteArray native = name.toByteArray();
    QString path = parent->Path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    path += DecodeFileName(native);
    return Adopt(::openat(parent->Fd(), native.constData(), kFolderFlags | O_NOFOLLOW), path,
                 error);
}

FolderRef FolderHandle::OpenRelative(const FolderRef& parent, QByteArrayView relative,
                                     int* error) {
    const QByteArray native = relative.toByteArray();
    QString path = DecodeFileName(native);
    if (!native.startsWith('/'))
        path = parent->Path() + (parent->Path().endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + path;
    return Adopt(::openat(parent->Fd(), native.constData(), kFolderFlags), path, error);
}

bool FolderHandle::LiesWithin(const FolderHandle& root) const {
    // Deeper than any path the system can name: a folder so far down is not taken as within.
    constexpr int kMaxDepth = PATH_MAX / 2;
    const auto same = [](const struct stat& a, const struct stat& b) {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    };
    struct stat current = m_stat;
    int fd = m_fd;
    int owned = -1; // the parent in hand, closed when the next one is
    bool within = false;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        if (same(current, root.m_stat)) {
            within = true;
            break;
        }
        const int parent = ::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        struct stat above {};
        if (parent < 0 || ::fstat(parent, &above) != 0) {
            if (parent >= 0)
                ::close(parent);
            break;
        }
        if (owned >= 0)
            ::close(owned);
        owned = fd = parent;
        if (same(above, current))
            break; // the top of the file system
        current = above;
    }
    if (owned >= 0)
        ::close(owned);
    return within;
}

bool SyncFileSystem(int fd) {
    while (::syncfs(fd) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

} // namespace platform

#include "platform/RuntimeFolder.h"

#include "platform/FileNames.h"
#include "platform/UniqueFd.h"

#include <QDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool IsPrivate(const struct stat& info) {
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

QString Reason(const QString& path, const char* what) {
    return QStringLiteral("%1: %2").arg(DisplayFileName(path), QString::fromUtf8(what));
}

// Makes `path` a private folder of ours, or answers why it cannot be one. A folder of ours
// that others may enter is closed to them; anything else (a link, a file, a folder of
// another user) is left alone and refused.
QString MakePrivate(const QString& path) {
    const QByteArray native = EncodeFileName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return Reason(path, std::strerror(errno));
    const UniqueFd fd(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISDIR(info.st_mode))
        return Reason(path, "not a folder (a symbolic link is not followed)");
    if (info.st_uid != ::getuid())
        return Reason(path, "the folder belongs to another user");
    if ((info.st_mode & 077) != 0 && ::fchmod(fd.get(), 0700) != 0)
        return Reason(path, std::strerror(errno));
    return {};
}

} // namespace

bool IsPrivateFolder(const QString& path) {
    struct stat info {};
    return ::lstat(EncodeFileName(path).constData(), &info) == 0 && IsPrivate(info);
}

QString PrivateRuntimeFolder(bool create, QString* error) {
    const QString runtime = DecodeFileName(qgetenv("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && runtime.startsWith(QLatin1Char('/')) && IsPrivateFolder(runtime))
        return runtime;

    const QString fallback =
        QDir::tempPath() + QStringLiteral("/kelvane-%1").arg(static_cast<qulonglong>(::getuid()));
    QString problem;
    if (create)
        problem = MakePrivate(fallback);
    else if (!IsPrivateFolder(fallback))
        problem = Reason(fallback, "no private folder");
    if (problem.isEmpty() && IsPrivateFolder(fallback))
        return fallback;
    if (error)
        *error = problem.isEmpty() ? Reason(fallback, "not private") : problem;
    return {};
}

std::optional<uid_t> PeerUserId(int fd) {
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
        size != sizeof credentials)
        return std::nullopt;
    return credentials.uid;
}

bool PeerIsCurrentUser(int fd) {
    const std::optional<uid_t> peer = PeerUserId(fd);
    return peer && *peer == ::getuid();
}

} // namespace platform

#include "platform/RuntimeFolder.h"

#include "platform/FileNames.h"
#include "platform/UniqueFd.h"

#include <QDir>
#include <cerrno>
#include <cstring>
#include <dirent.h>
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

QString RuntimeVariableFolder() {
    const QString runtime = DecodeFileName(qgetenv("XDG_RUNTIME_DIR"));
    return runtime.startsWith(QLatin1Char('/')) && IsPrivateFolder(runtime) ? runtime : QString();
}

// The usual name of the folder in the temporary folder, "kelvane-<uid>".
QString UsualFolder() {
    return QDir::tempPath() + QStringLiteral("/kelvane-%1").arg(qulonglong(::getuid()));
}

// The private folders of ours named "kelvane-<uid>.XXXXXX" in the temporary folder, by name.
// Others may make names of that pattern too; theirs are passed over.
QStringList UniqueFolders() {
    const QString usual = UsualFolder();
    const QByteArray prefix = EncodeFileName(usual.mid(usual.lastIndexOf(QLatin1Char('/')) + 1));
    const QString temporary = QDir::tempPath();
    QStringList folders;
    DIR* listing = ::opendir(EncodeFileName(temporary).constData());
    if (!listing)
        return folders;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        struct stat info {};
        if (name.size() > prefix.size() + 1 && name.startsWith(prefix) &&
            name.at(prefix.size()) == '.' &&
            ::fstatat(::dirfd(listing), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            IsPrivate(info))
            folders.append(temporary + QLatin1Char('/') + DecodeFileName(name));
    }
    ::closedir(listing);
    folders.sort();
    return folders;
}

// A new private folder under a name nobody can take first. Two programs that make one at
// once both keep the first by name, so that they meet at one socket.
QString MakeUniqueFolder(QString& problem) {
    QByteArray pattern = EncodeFileName(UsualFolder()) + ".XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        problem = Reason(DecodeFileName(pattern), std::strerror(errno));
        return {};
    }
    const QString made = DecodeFileName(pattern);
    const QStringList folders = UniqueFolders();
    if (folders.isEmpty() || folders.first() == made)
        return made;
    ::rmdir(pattern.constData());
    return folders.first();
}

} // namespace

bool IsPrivateFolder(const QString& path) {
    struct stat info {};
    return ::lstat(EncodeFileName(path).constData(), &info) == 0 && IsPrivate(info);
}

QString PrivateRuntimeFolder(bool create, QString* error) {
    if (const QString runtime = RuntimeVariableFolder(); !runtime.isEmpty())
        return runtime;

    const QString usual = UsualFolder();
    QString problem;
    if (create)
        problem = MakePrivate(usual);
    if (problem.isEmpty() && IsPrivateFolder(usual))
        return usual;
    // The usual name is someone else's (or not a private folder): one of our own instead.
    const QStringList unique = UniqueFolders();
    if (!unique.isEmpty())
        return unique.first();
    if (create) {
        QString failure;
        const QString made = MakeUniqueFolder(failure);
        if (!made.isEmpty())
            return made;
        problem = problem.isEmpty() ? failure : problem + QStringLiteral("; ") + failure;
    }
    if (error)
        *error = problem.isEmpty() ? Reason(usual, "no private folder") : problem;
    return {};
}

QStringList PrivateRuntimeFolders() {
    // A session's runtime folder is where its windows listen: one of another session (a
    // window started without it) is not this session's to reach.
    if (const QString runtime = RuntimeVariableFolder(); !runtime.isEmpty())
        return {runtime};
    QStringList folders;
    if (const QString usual = UsualFolder(); IsPrivateFolder(usual))
        folders.append(usual);
    return folders + UniqueFolders();
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

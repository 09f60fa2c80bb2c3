#include "platform/FileFunctions.h"

#include "platform/UniqueFd.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

QByteArray Native(const QString& path) {
    return EncodeFileName(path);
}

bool Fail(QString* error, int code) {
    if (error)
        *error = qt_error_string(code);
    errno = code;
    return false;
}

bool FailWithText(QString* error, int code, const char* text) {
    if (error)
        *error = QString::fromUtf8(text);
    errno = code;
    return false;
}

bool ReadOnlyMode(mode_t mode) {
    return (mode & S_IWUSR) == 0;
}

} // namespace

std::optional<FileAttributes> GetAttributes(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    struct stat st {};
    if (::stat(Native(path).constData(), &st) != 0)
        return std::nullopt;
    FileAttributes attributes;
    attributes.folder = S_ISDIR(st.st_mode);
    attributes.readOnly = ReadOnlyMode(st.st_mode);
    return attributes;
}

bool FileExists(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::stat(Native(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::stat(Native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsReadOnly(const QString& path) {
    const std::optional<FileAttributes> attributes = GetAttributes(path);
    return attributes && attributes->readOnly;
}

bool SameFile(const QString& a, const QString& b) {
    struct stat first {};
    struct stat second {};
    return !a.isEmpty() && !b.isEmpty() && ::stat(Native(a).constData(), &first) == 0 &&
           ::stat(Native(b).constData(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

bool DeleteFile(const QString& path, QString* error) {
    const QByteArray native = Native(path);
    struct stat st {};
    if (path.isEmpty() || ::lstat(native.constData(), &st) != 0)
        return Fail(error, path.isEmpty() ? ENOENT : errno);
    if (S_ISDIR(st.st_mode))
        return Fail(error, EISDIR);
    if (S_ISREG(st.st_mode) && ReadOnlyMode(st.st_mode))
        return FailWithText(error, EACCES, "The file is read-only.");
    if (::unlink(native.constData()) != 0)
        return Fail(error, errno);
    return true;
}

bool CopyFileNoReplace(const QString& source, const QString& target, QString* error) {
    const QByteArray nativeTarget = Native(target);
    const int in = ::open(Native(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return Fail(error, errno);
    UniqueFd inCloser(in);
    struct stat st {};
    if (::fstat(in, &st) != 0)
        return Fail(error, errno);
    if (!S_ISREG(st.st_mode))
        return Fail(error, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);

    const int out = ::open(nativeTarget.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                           S_IRUSR | S_IWUSR);
    if (out < 0)
        return Fail(error, errno);
    UniqueFd outCloser(out);

    // From here on the target is ours: any failure removes it again.
    const auto abandon = [&](int code) {
        ::close(outCloser.release());
        ::unlink(nativeTarget.constData());
        return Fail(error, code);
    };

    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return abandon(errno);
        }
        if (got == 0)
            break;
        if (!WriteAllToFd(out, buffer, got))
            return abandon(errno);
    }

    // Keep what the platform copy keeps: permission bits and times (never set-id bits).
    if (::fchmod(out, st.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO)) != 0)
        return abandon(errno);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times); // a file system without times still holds the right bytes
    if (::close(outCloser.release()) != 0) {
        const int code = errno;
        ::unlink(nativeTarget.constData());
        return Fail(error, code);
    }
    return true;
}

bool MoveFileNoReplace(const QString& source, const QString& target, QString* error) {
    const QByteArray from = Native(source);
    const QByteArray to = Native(target);
    if (source.isEmpty() || target.isEmpty())
        return Fail(error, ENOENT);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    int code = errno;

    if (code == EXDEV) {
        // Another file system: a file is copied and the original removed; folders stay put.
        struct stat st {};
        if (::lstat(from.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            return Fail(error, EXDEV);
        if (!CopyFileNoReplace(source, target, error))
            return false;
        if (::unlink(from.constData()) != 0) {
            code = errno;
            ::unlink(to.constData());
            return Fail(error, code);
        }
        return true;
    }
    if (code != EINVAL && code != ENOSYS && code != ENOTSUP)
        return Fail(error, code);

    // The file system cannot rename without replacing: a hard link fails on an existing target.
    if (::link(from.constData(), to.constData()) == 0) {
        if (::unlink(from.constData()) != 0) {
            code = errno;
            ::unlink(to.constData());
            return Fail(error, code);
        }
        return true;
    }
    code = errno;
    if (code == EEXIST)
        return Fail(error, code);
    // No hard links here (or a folder): test the target, then rename.
    struct stat st {};
    if (::lstat(to.constData(), &st) == 0)
        return Fail(error, EEXIST);
    if (::rename(from.constData(), to.constData()) != 0)
        return Fail(error, errno);
    return true;
}

bool MoveFileReplace(const QString& source, const QString& target, QString* error) {
    const QByteArray from = Native(source);
    const QByteArray to = Native(target);
    if (source.isEmpty() || target.isEmpty())
        return Fail(error, ENOENT);
    struct stat st {};
    if (::lstat(to.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return Fail(error, EISDIR);
        if (S_ISREG(st.st_mode) && ReadOnlyMode(st.st_mode))
            return FailWithText(error, EACCES, "The file is read-only.");
    }
    if (::rename(from.constData(), to.constData()) != 0)
        return Fail(error, errno);
    return true;
}

bool CreateFolder(const QString& path, QString* error) {
    if (path.isEmpty())
        return Fail(error, ENOENT);
    if (::mkdir(Native(path).constData(), 0777) != 0)
        return Fail(error, errno);
    return true;
}

bool CreateFolderWithParents(const QString& path, QString* error) {
    if (path.isEmpty())
        return Fail(error, ENOENT);
    if (FolderExists(path))
        return true;
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current = path.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : QString();
    for (const QString& part : parts) {
        if (!current.isEmpty() && !current.endsWith(QLatin1Char('/')))
            current += QLatin1Char('/');
        current += part;
        if (FolderExists(current))
            continue;
        QString reason;
        // Another process may have made it meanwhile; only a folder that is still missing fails.
        if (!CreateFolder(current, &reason) && !FolderExists(current)) {
            if (error)
                *error = reason;
            return false;
        }
    }
    return FolderExists(path) || Fail(error, ENOTDIR);
}

bool WriteAllToFd(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool SyncFolder(const QString& path) {
    const int fd = ::open(Native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    UniqueFd closer(fd);
    if (::fsync(fd) != 0 && errno != EINVAL) // EINVAL: the file system keeps nothing to flush
        return false;
    return true;
}

} // namespace platform

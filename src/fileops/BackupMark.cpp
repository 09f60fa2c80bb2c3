#include "fileops/BackupMark.h"

#include <QCryptographicHash>
#include <QList>
#include <cerrno>
#include <sys/xattr.h>

namespace {

// "1 <size> <hash in hex>": the version first, so that a later form is never misread.
constexpr char kVersion[] = "1";
constexpr auto kAlgorithm = QCryptographicHash::Blake2b_256;

QByteArray HashOf(const QByteArray& text) {
    return QCryptographicHash::hash(text, kAlgorithm);
}

} // namespace

void MarkBackup(int backupFd, const QByteArray& written) noexcept {
    try {
        const QByteArray value = QByteArray(kVersion) + ' ' + QByteArray::number(written.size()) +
                                 ' ' + HashOf(written).toHex();
        if (::fsetxattr(backupFd, kBackupMarkName, value.constData(), size_t(value.size()), 0) == 0)
            return;
    } catch (...) {
        // Out of memory for a few bytes: the mark is only a help.
    }
    RemoveBackupMark(backupFd);
}

std::optional<BackupMarkValue> ReadBackupMark(int fd) {
    char buffer[128];
    const ssize_t length = ::fgetxattr(fd, kBackupMarkName, buffer, sizeof buffer);
    if (length <= 0)
        return std::nullopt;
    const QList<QByteArray> parts = QByteArray(buffer, length).split(' ');
    if (parts.size() != 3 || parts[0] != kVersion)
        return std::nullopt;
    BackupMarkValue mark;
    bool ok = false;
    mark.size = parts[1].toLongLong(&ok);
    mark.hash = QByteArray::fromHex(parts[2]);
    if (!ok || mark.size < 0 || mark.hash.size() != 32 || mark.hash.toHex() != parts[2])
        return std::nullopt;
    return mark;
}

bool MatchesMark(const BackupMarkValue& mark, const QByteArray& text) {
    return text.size() == mark.size && HashOf(text) == mark.hash;
}

bool RemoveBackupMark(int fd) {
    return ::fremovexattr(fd, kBackupMarkName) == 0 || errno == ENODATA || errno == ENOTSUP ||
           errno == EOPNOTSUPP;
}

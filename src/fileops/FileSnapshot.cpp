#include "fileops/FileSnapshot.h"

#include "platform/FileNames.h"
#include "platform/UniqueFd.h"
#include "support/Translation.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FileIdentity IdentityFrom(const struct stat& st) {
    FileIdentity identity;
    identity.device = st.st_dev;
    identity.inode = st.st_ino;
    identity.size = st.st_size;
    identity.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    identity.changedNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    identity.mode = st.st_mode;
    return identity;
}

[[noreturn]] void CannotRead(const QString& path, const QString& reason) {
    try {
        RaiseFileOpenError(path, reason);
    } catch (const KelvaneError& error) {
        throw FileReadError(error.message());
    }
}

[[noreturn]] void CannotOpen(const QString& path, int code) {
    CannotRead(path, qt_error_string(code));
}

} // namespace

bool FileIdentity::IsRegular() const {
    return S_ISREG(mode);
}

bool FileIdentity::IsFolder() const {
    return S_ISDIR(mode);
}

std::optional<FileIdentity> IdentityOf(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(platform::EncodeFileName(path).constData(), &st) != 0)
        return std::nullopt;
    return IdentityFrom(st);
}

FileSnapshot ReadSnapshot(const QString& path) {
    const int fd = ::open(platform::EncodeFileName(path).constData(),
                          O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        CannotOpen(path, errno);
    const platform::UniqueFd closer(fd);

    struct stat st {};
    if (::fstat(fd, &st) != 0)
        CannotOpen(path, errno);
    if (S_ISDIR(st.st_mode))
        CannotOpen(path, EISDIR);
    if (!S_ISREG(st.st_mode))
        CannotRead(path, Translate(QStringLiteral("It is not a regular file.")));

    const QString tooLarge = Translate(QStringLiteral("It is too large to be tidied."));
    if (st.st_size > kMaxDocumentBytes)
        CannotRead(path, tooLarge);

    FileSnapshot snapshot;
    snapshot.identity = IdentityFrom(st);
    // One read more than the size: a file that grows meanwhile is still read to its end.
    snapshot.bytes.resize(qsizetype(st.st_size) + 1);
    qsizetype used = 0;
    for (;;) {
        if (used == snapshot.bytes.size()) {
            if (used > kMaxDocumentBytes) // it grew while it was read
                CannotRead(path, tooLarge);
            snapshot.bytes.resize(used + 64 * 1024);
        }
        const ssize_t got =
            ::read(fd, snapshot.bytes.data() + used, size_t(snapshot.bytes.size() - used));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            CannotOpen(path, errno);
        }
        if (got == 0)
            break;
        used += got;
    }
    snapshot.bytes.truncate(used);
    return snapshot;
}

namespace {
// Not for security: only to notice that a file was rewritten between two looks at it.
constexpr QCryptographicHash::Algorithm kDigestAlgorithm = QCryptographicHash::Md5;
} // namespace

QByteArray ContentDigest(QByteArrayView bytes) {
    return QCryptographicHash::hash(bytes, kDigestAlgorithm);
}

ContentDigester::ContentDigester() : m_hash(kDigestAlgorithm) {}

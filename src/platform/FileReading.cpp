#include "platform/FileReading.h"

#include "platform/FileNames.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

ReadResult Failure(ReadResult result, int code, QString* error) {
    if (error)
        *error = qt_error_string(code);
    return result;
}

} // namespace

ReadResult ReadRegularFile(const QString& path, QByteArray& bytes, qint64 limit, QString* error) {
    bytes.clear();
    if (path.isEmpty())
        return Failure(ReadResult::Missing, ENOENT, error);
    const QByteArray native = EncodeFileName(path);
    // Devices are not even opened: opening some of them has effects of its own.
    struct stat st {};
    if (::stat(native.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode))
            return Failure(ReadResult::NotRegularFile, EISDIR, error);
        return ReadResult::NotRegularFile;
    }
    // O_NONBLOCK: should a FIFO be swapped in after the test, opening it must not wait for a
    // writer. The type is checked again on the open descriptor.
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return Failure(errno == ENOENT ? ReadResult::Missing : ReadResult::Failed, errno, error);
    const UniqueFd file(fd);

    if (::fstat(fd, &st) != 0)
        return Failure(ReadResult::Failed, errno, error);
    if (S_ISDIR(st.st_mode))
        return Failure(ReadResult::NotRegularFile, EISDIR, error);
    if (!S_ISREG(st.st_mode))
        return ReadResult::NotRegularFile;
    if (limit >= 0 && st.st_size > limit)
        return ReadResult::TooLarge;

    bytes.reserve(qsizetype(st.st_size));
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int code = errno;
            bytes.clear();
            return Failure(ReadResult::Failed, code, error);
        }
        if (got == 0)
            break;
        // The file may grow while it is read (or be a /proc file whose size says nothing).
        if (limit >= 0 && bytes.size() + got > limit) {
            bytes.clear();
            return ReadResult::TooLarge;
        }
        bytes.append(chunk, qsizetype(got));
    }
    return ReadResult::Read;
}

} // namespace platform

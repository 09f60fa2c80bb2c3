#include "platform/FileWriting.h"

#include "platform/FileNames.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kMaxLinkHops = 40;
constexpr time_t kStaleAfterSeconds = 60;
constexpr auto kFifoReaderWait = std::chrono::seconds(5);

const FileWriteCalls kSystemCalls{&::write, &::fsync};
const FileWriteCalls* g_calls = &kSystemCalls;

WriteResult Fail(QString* error, int code) {
    if (error)
        *error = qt_error_string(code);
    return WriteResult::Failed;
}

bool WriteAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = g_calls->write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool SyncFile(int fd) {
    while (g_calls->fsync(fd) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

// A reader that goes away would otherwise kill the whole process with SIGPIPE; while this
// lives, the write fails with EPIPE instead and the signal is swallowed.
class SigpipeBlocker {
public:
    SigpipeBlocker() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_saved);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
    }
    ~SigpipeBlocker() {
        sigset_t pending;
        sigpending(&pending);
        if (!m_wasPending && sigismember(&pending, SIGPIPE) == 1) {
            const timespec zero{};
            sigtimedwait(&m_pipe, nullptr, &zero);
        }
        pthread_sigmask(SIG_SETMASK, &m_saved, nullptr);
    }
    SigpipeBlocker(const SigpipeBlocker&) = delete;
    SigpipeBlocker& operator=(const SigpipeBlocker&) = delete;

private:
    sigset_t m_pipe{};
    sigset_t m_saved{};
    bool m_wasPending = false;
};

QByteArray FolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray BaseOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

QByteArray TemporaryName(const QByteArray& path, int slot) {
    const QByteArray suffix = ".kelvane-" + QByteArray::number(slot) + ".tmp";
    // A long name is cut so that the temporary's name still fits the file system's limit.
    const QByteArray stem = BaseOf(path).left(NAME_MAX - 1 - suffix.size());
    const QByteArray folder = FolderOf(path);
    return (folder == "/" ? QByteArray() : folder) + "/." + stem + suffix;
}

struct Target {
    QByteArray path; // after every symbolic link
    bool exists = false;
    struct stat st {};
    bool throughProc = false;
};

// Follows symbolic links one hop at a time, so that a dangling link leads to the name it
// points to instead of being replaced itself.
bool Resolve(const QByteArray& start, Target& target, int& code) {
    QByteArray current = start;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        if (current.startsWith("/proc/")) {
            // Links there (/proc/self/fd/1 behind /dev/stdout) name open files, not paths:
            // only the kernel can follow them.
            target.throughProc = true;
            target.path = current;
            if (::stat(current.constData(), &target.st) != 0) {
                code = errno;
                return false;
            }
            target.exists = true;
            return true;
        }
        struct stat st {};
        if (::lstat(current.constData(), &st) != 0) {
            if (errno != ENOENT) {
                code = errno;
                return false;
            }
            target.path = current;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            target.path = current;
            target.exists = true;
            target.st = st;
            return true;
        }
        char buffer[PATH_MAX];
        const ssize_t length = ::readlink(current.constData(), buffer, sizeof buffer);
        if (length < 0) {
            code = errno;
            return false;
        }
        if (size_t(length) >= sizeof buffer) {
            code = ENAMETOOLONG;
            return false;
        }
        const QByteArray link(buffer, length);
        current = link.startsWith('/') ? link : FolderOf(current) + '/' + link;
    }
    code = ELOOP;
    return false;
}

void RemoveStaleTemporaries(const QByteArray& path) {
    const time_t now = std::time(nullptr);
    const uid_t me = ::geteuid();
    for (int slot = 0; slot < kTemporarySlots; ++slot) {
        const QByteArray name = TemporaryName(path, slot);
        struct stat st {};
        if (::lstat(name.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == me &&
            st.st_mtime + kStaleAfterSeconds < now)
            ::unlink(name.constData());
    }
}

// The rename road. `impossible` is set when no temporary file could be created or renamed
// into place, the cases in which writing in place is the remaining way.
WriteResult ReplaceByRename(const Target& target, const QByteArray& bytes, QString* error,
                            bool& impossible) {
    RemoveStaleTemporaries(target.path);
    QByteArray temporary;
    int fd = -1;
    int code = EEXIST;
    for (int slot = 0; slot < kTemporarySlots && fd < 0; ++slot) {
        temporary = TemporaryName(target.path, slot);
        // 0666 lets the umask decide a new file's bits, as a plain create would.
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                    0666);
        if (fd < 0) {
            code = errno;
            if (code != EEXIST)
                break;
        }
    }
    if (fd < 0) {
        impossible = true;
        return Fail(error, code);
    }
    UniqueFd file(fd);

    int failure = 0;
    if (target.exists) {
        // The owner only where permitted (root); the permission bits always, but never the
        // set-id bits: a rewritten file is not the program someone marked.
        if (::fchown(fd, target.st.st_uid, target.st.st_gid) != 0) {
            // Ordinary users may not give files away: the file then belongs to the writer.
        }
        if (::fchmod(fd, target.st.st_mode & 0777) != 0)
            failure = errno;
    }
    if (!failure && !WriteAll(fd, bytes.constData(), bytes.size()))
        failure = errno;
    if (!failure && !SyncFile(fd))
        failure = errno;
    if (!file.close() && !failure)
        failure = errno;
    if (!failure && ::rename(temporary.constData(), target.path.constData()) != 0) {
        failure = errno;
        // A sticky folder refuses to replace someone else's file that we may still write.
        impossible = failure == EPERM || failure == EACCES;
    }
    if (failure) {
        ::unlink(temporary.constData());
        return Fail(error, failure);
    }

    // Make the rename itself durable.
    const int folder =
        ::open(FolderOf(target.path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return WriteResult::Written;
}

bool ReadAllFrom(int fd, QByteArray& bytes) {
    bytes.clear();
    char chunk[64 * 1024];
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(fd, chunk, sizeof chunk, offset);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return true;
        bytes.append(chunk, got);
        offset += got;
    }
}

bool WriteFromStart(int fd, const QByteArray& bytes) {
    return ::lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, bytes.constData(), bytes.size()) &&
           ::ftruncate(fd, bytes.size()) == 0 && SyncFile(fd);
}

// A regular file rewritten in place: space first, then the bytes, then the length.
WriteResult RewriteInPlace(const Target& target, const QByteArray& bytes, QString* error) {
    bool readable = true;
    int fd = ::open(target.path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) {
        readable = false;
        fd = ::open(target.path.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    }
    if (fd < 0)
        return Fail(error, errno);
    UniqueFd file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Fail(error, errno);
    if (!S_ISREG(st.st_mode))
        return WriteResult::NotAFile;

    QByteArray old;
    if (readable)
        readable = ReadAllFrom(fd, old);
    // Reserve the blocks without changing the length, so that a full disk shows before the
    // first byte changes. File systems that cannot reserve are written all the same.
    if (bytes.size() > st.st_size) {
        if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, bytes.size()) != 0 && errno != EOPNOTSUPP &&
            errno != ENOSYS && errno != EINVAL)
            return Fail(error, errno);
    }
    if (!WriteFromStart(fd, bytes)) {
        const int code = errno;
        if (readable)
            WriteFromStart(fd, old);
        return Fail(error, code);
    }
    // As on the rename road: rewritten content is not the program someone marked set-id.
    if (st.st_mode & (S_ISUID | S_ISGID))
        ::fchmod(fd, st.st_mode & 01777);
    return file.close() ? WriteResult::Written : Fail(error, errno);
}

// A FIFO or a character device: the bytes go to it as they would from a shell redirection.
WriteResult WriteToStream(const Target& target, const QByteArray& bytes, QString* error) {
    const auto deadline = std::chrono::steady_clock::now() + kFifoReaderWait;
    int fd = -1;
    for (;;) {
        // Non-blocking, so that a FIFO without a reader cannot hold the program forever.
        fd = ::open(target.path.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0 || errno != ENXIO || !S_ISFIFO(target.st.st_mode) ||
            std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (fd < 0)
        return Fail(error, errno);
    UniqueFd stream(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Fail(error, errno);
    if (!S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode))
        return WriteResult::NotAFile;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return Fail(error, errno);
    SigpipeBlocker noSigpipe;
    if (!WriteAll(fd, bytes.constData(), bytes.size()))
        return Fail(error, errno);
    return stream.close() ? WriteResult::Written : Fail(error, errno);
}

} // namespace

QString TemporaryFileName(const QString& path, int slot) {
    return DecodeFileName(TemporaryName(EncodeFileName(path), slot));
}

void SetFileWriteCallsForTests(const FileWriteCalls* calls) {
    g_calls = calls ? calls : &kSystemCalls;
}

WriteResult WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error) {
    if (path.isEmpty())
        return Fail(error, ENOENT);
    Target target;
    int code = 0;
    if (!Resolve(EncodeFileName(path), target, code))
        return Fail(error, code);

    if (!target.exists) {
        bool impossible = false;
        return ReplaceByRename(target, bytes, error, impossible);
    }
    const mode_t mode = target.st.st_mode;
    if (S_ISDIR(mode))
        return Fail(error, EISDIR);
    if (S_ISFIFO(mode) || S_ISCHR(mode))
        return WriteToStream(target, bytes, error);
    if (!S_ISREG(mode))
        return WriteResult::NotAFile;
    // A read-only file is not replaced, as on Windows; root would pass access().
    if (!(mode & S_IWUSR))
        return WriteResult::ReadOnly;
    if (target.throughProc || target.st.st_nlink > 1)
        return RewriteInPlace(target, bytes, error);
    bool impossible = false;
    const WriteResult result = ReplaceByRename(target, bytes, error, impossible);
    if (result == WriteResult::Written || !impossible)
        return result;
    return RewriteInPlace(target, bytes, error);
}

} // namespace platform

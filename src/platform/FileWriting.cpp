#include "platform/FileWriting.h"

#include "platform/ExtendedAttributes.h"
#include "platform/FileNames.h"
#include "platform/TemporaryNames.h"
#include "platform/UniqueFd.h"
#include "platform/WriteTarget.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

constexpr auto kFifoReaderWait = std::chrono::seconds(5);
constexpr int kTemporaryAttempts = 8;

const FileWriteCalls kSystemCalls{&::write, &::fsync};
const FileWriteCalls* g_calls = &kSystemCalls;
std::chrono::milliseconds g_staleAge = kStaleTemporaryAge;

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

bool Older(const timespec& time, const timespec& than) {
    return time.tv_sec < than.tv_sec || (time.tv_sec == than.tv_sec && time.tv_nsec < than.tv_nsec);
}

// A temporary is a killed writer's when its name is provably ours (TemporaryNames.h) and
// names this file, it belongs to the user, nobody holds its lock and its status has not changed
// for a while (the lock is taken just after the file is made). The lock is held while it goes,
// so that no writer can take it up meanwhile.
void RemoveStaleTemporaries(const WriteTarget& target) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto age = std::chrono::duration_cast<std::chrono::nanoseconds>(g_staleAge).count();
    timespec before{now.tv_sec - time_t(age / 1000000000), long(now.tv_nsec - age % 1000000000)};
    if (before.tv_nsec < 0) {
        before.tv_nsec += 1000000000;
        --before.tv_sec;
    }
    struct stat folder {};
    const int listing = ::openat(target.folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0 || ::fstat(listing, &folder) != 0) {
        if (listing >= 0)
            ::close(listing);
        return;
    }
    DIR* dir = ::fdopendir(listing);
    if (dir == nullptr) {
        ::close(listing);
        return;
    }
    // The stem that this file's temporaries show (a long name is shortened in them).
    const QByteArray mine = MakeTemporaryName(folder, TemporaryKind::Page, target.name);
    const QByteArray prefix = mine.left(mine.lastIndexOf(".kelvane-") + 9);
    const uid_t me = ::geteuid();
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        struct stat seen {};
        if (!name.startsWith(prefix) || name.size() != mine.size() ||
            !IsOurTemporaryName(folder, name) ||
            ::fstatat(target.folder, entry->d_name, &seen, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(seen.st_mode) || seen.st_uid != me)
            continue;
        // Write-only where the writer left it so (the bits of a file that is written to).
        int fd = ::openat(target.folder, entry->d_name,
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0 && errno == EACCES)
            fd = ::openat(target.folder, entry->d_name,
                          O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        const UniqueFd file(fd);
        struct stat st {};
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &st) != 0 ||
            !SameInode(st, seen) || !Older(st.st_ctim, before))
            continue;
        // Still the file that was judged under that name.
        if (::fstatat(target.folder, entry->d_name, &seen, AT_SYMLINK_NOFOLLOW) == 0 &&
            SameInode(st, seen))
            ::unlinkat(target.folder, entry->d_name, 0);
    }
    ::closedir(dir);
}

void SyncFolder(int folder) {
    const UniqueFd fd(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

int OpenFound(const WriteTarget& target, int flags);

// The rename road. `impossible` is set when no temporary file could be created or renamed
// into place, the cases in which writing in place is the remaining way.
WriteResult ReplaceByRename(const WriteTarget& target, const QByteArray& bytes, QString* error,
                            bool& impossible) {
    RemoveStaleTemporaries(target);
    QByteArray temporary;
    int fd = -1;
    int code = EEXIST;
    struct stat folder {};
    if (::fstat(target.folder, &folder) != 0) {
        impossible = true;
        return Fail(error, errno);
    }
    for (int attempt = 0; attempt < kTemporaryAttempts && fd < 0; ++attempt) {
        temporary = MakeTemporaryName(folder, TemporaryKind::Page, target.name);
        // 0666 lets the umask decide a new file's bits, as a plain create would.
        fd = ::openat(target.folder, temporary.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
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
    // Held from now until the temporary is renamed or gone: it tells others that a live writer
    // owns it. A second descriptor keeps it once the written one is closed.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    const UniqueFd lock(::fcntl(fd, F_DUPFD_CLOEXEC, 0));

    int failure = lock.get() < 0 ? errno : 0;
    if (!failure && target.exists) {
        // The owner only where permitted (root); the permission bits always, but never the
        // set-id bits: a rewritten file is not the program someone marked.
        if (::fchown(fd, target.stat.st_uid, target.stat.st_gid) != 0) {
            // Ordinary users may not give files away: the file then belongs to the writer.
        }
        // Its access list and extended attributes stay with the name too: without the list,
        // the group bits (its mask) would become the owning group's rights.
        UniqueFd old(OpenFound(target, O_RDONLY));
        if (old.get() < 0 && errno == EACCES)
            old = UniqueFd(OpenFound(target, O_WRONLY));
        if (old.get() < 0 || !CopyModeAndAttributes(old.get(), fd, target.stat.st_mode & 0777))
            failure = errno;
    }
    if (!failure && !WriteAll(fd, bytes.constData(), bytes.size()))
        failure = errno;
    if (!failure && !SyncFile(fd))
        failure = errno;
    if (!file.close() && !failure)
        failure = errno;
    if (!failure && ::renameat(target.folder, temporary.constData(), target.folder,
                               target.name.constData()) != 0) {
        failure = errno;
        // A sticky folder refuses to replace someone else's file that we may still write.
        impossible = failure == EPERM || failure == EACCES;
    }
    if (failure) {
        ::unlinkat(target.folder, temporary.constData(), 0);
        return Fail(error, failure);
    }
    // Make the rename itself durable.
    SyncFolder(target.folder);
    return WriteResult::Written;
}

// Opens the file the walk found for writing, without following a link that was swapped in
// meanwhile; answers -1 with errno set, or EAGAIN when another file took its place.
int OpenFound(const WriteTarget& target, int flags) {
    // Links in /proc are the way to the open file itself.
    if (!target.throughProc)
        flags |= O_NOFOLLOW;
    const int fd =
        ::openat(target.folder, target.name.constData(), flags | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st {};
    const int code = ::fstat(fd, &st) != 0 ? errno : SameInode(st, target.stat) ? 0 : EAGAIN;
    if (code == 0)
        return fd;
    ::close(fd);
    errno = code;
    return -1;
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
WriteResult RewriteInPlace(const WriteTarget& target, const QByteArray& bytes, QString* error) {
    bool readable = true;
    int fd = OpenFound(target, O_RDWR);
    if (fd < 0 && errno == EACCES) {
        readable = false;
        fd = OpenFound(target, O_WRONLY);
    }
    if (fd < 0)
        return Fail(error, errno);
    UniqueFd file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Fail(error, errno);
    if (!S_ISREG(st.st_mode))
        return WriteResult::NotAFile;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return Fail(error, errno);

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
WriteResult WriteToStream(const WriteTarget& target, const QByteArray& bytes, QString* error) {
    const auto deadline = std::chrono::steady_clock::now() + kFifoReaderWait;
    int fd = -1;
    for (;;) {
        // Non-blocking, so that a FIFO without a reader cannot hold the program forever.
        fd = OpenFound(target, O_WRONLY);
        if (fd >= 0 || errno != ENXIO || !S_ISFIFO(target.stat.st_mode) ||
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

WriteResult Refuse(QString* error, const QString& reason) {
    if (error)
        *error = reason;
    return WriteResult::Failed;
}

} // namespace

QString TemporaryFileName(const QString& path) {
    const QByteArray native = EncodeFileName(path);
    const QByteArray folder = FolderOf(native);
    struct stat st {};
    if (::stat(folder.constData(), &st) != 0)
        return {};
    return DecodeFileName((folder == "/" ? QByteArray() : folder) + "/" +
                          MakeTemporaryName(st, TemporaryKind::Page, BaseOf(native)));
}

void SetFileWriteCallsForTests(const FileWriteCalls* calls) {
    g_calls = calls ? calls : &kSystemCalls;
}

void SetStaleTemporaryAgeForTests(std::chrono::milliseconds age) {
    g_staleAge = age;
}

WriteResult WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error) {
    WriteTarget target;
    int code = 0;
    QString refusal;
    if (!FindWriteTarget(EncodeFileName(path), target, code, refusal))
        return code ? Fail(error, code) : Refuse(error, refusal);

    if (!target.exists) {
        bool impossible = false;
        return ReplaceByRename(target, bytes, error, impossible);
    }
    const mode_t mode = target.stat.st_mode;
    if (S_ISDIR(mode))
        return Fail(error, EISDIR);
    if (!S_ISREG(mode) && !S_ISFIFO(mode) && !S_ISCHR(mode))
        return WriteResult::NotAFile;
    // Someone else's file, or a hard link to anything, planted where everyone may make names.
    refusal = SharedFolderRefusal(target, target.stat);
    if (!refusal.isEmpty())
        return Refuse(error, refusal);
    if (S_ISFIFO(mode) || S_ISCHR(mode))
        return WriteToStream(target, bytes, error);
    // A read-only file is not replaced, as on Windows; root would pass access().
    if (!(mode & S_IWUSR))
        return WriteResult::ReadOnly;
    if (target.throughProc || target.stat.st_nlink > 1)
        return RewriteInPlace(target, bytes, error);
    bool impossible = false;
    const WriteResult result = ReplaceByRename(target, bytes, error, impossible);
    if (result == WriteResult::Written || !impossible)
        return result;
    return RewriteInPlace(target, bytes, error);
}

} // namespace platform

#include "platform/Trash.h"

#include "platform/FileNames.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QDateTime>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kNumberedNames = 64;
constexpr int kRandomNames = 16;
constexpr int kMaxDepth = 4096;
const QByteArray kInfoSuffix = ".trashinfo";

// A trash folder as it is written into: open, and its path for messages.
struct TrashFolder {
    UniqueFd fd;
    QByteArray path;
    QByteArray topdir; // empty for the home trash: Path= is absolute there
};

QByteArray LinkText(const QByteArray& link) {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(link.constData(), buffer, sizeof buffer);
    return length > 0 && size_t(length) < sizeof buffer ? QByteArray(buffer, length) : QByteArray();
}

// Where the open folder `fd` is, as the kernel names it.
QByteArray PathOfFolder(int fd) {
    return LinkText("/proc/self/fd/" + QByteArray::number(fd));
}

QByteArray HomeFolder() {
    const QByteArray home = qgetenv("HOME");
    if (home.startsWith('/'))
        return home;
    const passwd* entry = ::getpwuid(::geteuid());
    return entry && entry->pw_dir ? QByteArray(entry->pw_dir) : QByteArray();
}

QByteArray HomeTrashPath() {
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    if (data.startsWith('/'))
        return data + "/Trash";
    const QByteArray home = HomeFolder();
    return home.isEmpty() ? QByteArray() : home + "/.local/share/Trash";
}

// The device of `path`, or of the nearest folder above it that exists.
std::optional<dev_t> DeviceOfNearest(QByteArray path) {
    for (;;) {
        struct stat st {};
        if (::stat(path.constData(), &st) == 0)
            return st.st_dev;
        const qsizetype slash = path.lastIndexOf('/');
        if (slash < 0 || path == "/")
            return std::nullopt;
        path = slash == 0 ? QByteArray("/") : path.left(slash);
    }
}

// A folder of the user's own that nobody else may write to: a trash folder that someone else
// could fill or swap would not keep what it is given.
bool IsOwnPrivateFolder(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The sub-folder `name` of `parent`, made (mode 0700) when missing; never through a link.
UniqueFd OwnSubfolder(int parent, const char* name, int& error) {
    if (::mkdirat(parent, name, 0700) != 0 && errno != EEXIST) {
        error = errno;
        return UniqueFd();
    }
    UniqueFd fd(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) {
        error = errno;
        return UniqueFd();
    }
    if (!IsOwnPrivateFolder(fd.get())) {
        error = EACCES;
        return UniqueFd();
    }
    return fd;
}

// The home trash, made when missing (the folders above it as the user's own).
std::optional<TrashFolder> HomeTrash(int& error) {
    const QByteArray path = HomeTrashPath();
    if (path.isEmpty()) {
        error = ENOENT;
        return std::nullopt;
    }
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1))
        ::mkdir(path.left(slash).constData(), 0700);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        error = errno;
        return std::nullopt;
    }
    TrashFolder trash;
    trash.fd = UniqueFd(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (trash.fd.get() < 0) {
        error = errno;
        return std::nullopt;
    }
    if (!IsOwnPrivateFolder(trash.fd.get())) {
        error = EACCES;
        return std::nullopt;
    }
    trash.path = path;
    return trash;
}

// The top folder of the mount that holds the open folder `fd`: climbing "..", which no link
// can redirect, until the device changes.
UniqueFd TopOfMount(int fd) {
    UniqueFd current(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    struct stat here {};
    if (current.get() < 0 || ::fstat(current.get(), &here) != 0)
        return UniqueFd();
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        UniqueFd parent(::openat(current.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat above {};
        if (parent.get() < 0 || ::fstat(parent.get(), &above) != 0)
            return UniqueFd();
        if (above.st_dev != here.st_dev || above.st_ino == here.st_ino)
            return current;
        current = std::move(parent);
        here = above;
    }
    return UniqueFd();
}

// $topdir/.Trash/$uid where $topdir/.Trash is a real, sticky folder; else $topdir/.Trash-$uid.
std::optional<TrashFolder> MountTrash(int folderFd, int& error) {
    UniqueFd top = TopOfMount(folderFd);
    if (top.get() < 0) {
        error = errno ? errno : ENOENT;
        return std::nullopt;
    }
    const QByteArray topdir = PathOfFolder(top.get());
    const QByteArray uid = QByteArray::number(::geteuid());
    TrashFolder trash;
    trash.topdir = topdir.isEmpty() ? QByteArray("/") : topdir;
    const QByteArray prefix = trash.topdir == "/" ? QByteArray() : trash.topdir;
    const UniqueFd shared(
        ::openat(top.get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (shared.get() >= 0 && ::fstat(shared.get(), &st) == 0 && S_ISDIR(st.st_mode) &&
        (st.st_mode & S_ISVTX)) {
        int ignored = 0;
        trash.fd = OwnSubfolder(shared.get(), uid.constData(), ignored);
        if (trash.fd.get() >= 0) {
            trash.path = prefix + "/.Trash/" + uid;
            return trash;
        }
    }
    const QByteArray own = ".Trash-" + uid;
    trash.fd = OwnSubfolder(top.get(), own.constData(), error);
    if (trash.fd.get() < 0)
        return std::nullopt;
    trash.path = prefix + "/" + own;
    return trash;
}

// The name tried at `attempt`: the file's own, then "index.2.html", "index.3.html" ..., then
// random ones; short enough that the record's name still fits.
QByteArray Candidate(QByteArrayView name, int attempt) {
    QByteArray stem = name.toByteArray();
    QByteArray extension;
    const qsizetype dot = stem.lastIndexOf('.');
    if (dot > 0) {
        extension = stem.mid(dot);
        stem.truncate(dot);
    }
    QByteArray number;
    if (attempt > 0 && attempt < kNumberedNames)
        number = "." + QByteArray::number(attempt + 1);
    else if (attempt >= kNumberedNames)
        number = "." + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    const qsizetype room = NAME_MAX - kInfoSuffix.size() - number.size();
    if (extension.size() > room / 2)
        extension.clear();
    stem.truncate(std::max<qsizetype>(1, room - extension.size()));
    return stem + number + extension;
}

bool WriteAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
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

bool CopyAll(int from, int to) {
    char buffer[64 * 1024];
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(from, buffer, sizeof buffer, offset);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return true;
        if (!WriteAll(to, buffer, got))
            return false;
        offset += got;
    }
}

bool SyncAndClose(UniqueFd& fd) {
    return ::fsync(fd.get()) == 0 && fd.close();
}

QByteArray InfoText(const QByteArray& path) {
    return "[Trash Info]\nPath=" + path.toPercentEncoding("/") + "\nDeletionDate=" +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() +
           "\n";
}

// Writes the copy and its record into `trash`; answers the copy's name there.
std::optional<QByteArray> PutInto(const TrashFolder& trash, int fileFd, QByteArrayView name,
                                  const QByteArray& originalPath, int& error) {
    UniqueFd files = OwnSubfolder(trash.fd.get(), "files", error);
    UniqueFd info = files.get() < 0 ? UniqueFd() : OwnSubfolder(trash.fd.get(), "info", error);
    if (info.get() < 0)
        return std::nullopt;
    for (int attempt = 0; attempt < kNumberedNames + kRandomNames; ++attempt) {
        const QByteArray candidate = Candidate(name, attempt);
        const QByteArray record = candidate + kInfoSuffix;
        // The record first: it reserves the name against every other writer of this trash.
        UniqueFd recordFd(::openat(info.get(), record.constData(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (recordFd.get() < 0) {
            if (errno == EEXIST)
                continue;
            error = errno;
            return std::nullopt;
        }
        UniqueFd copy(::openat(files.get(), candidate.constData(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (copy.get() < 0) {
            error = errno;
            ::unlinkat(info.get(), record.constData(), 0);
            if (error == EEXIST)
                continue; // a copy whose record is gone: its name stays taken
            return std::nullopt;
        }
        const QByteArray text = InfoText(originalPath);
        bool done = WriteAll(recordFd.get(), text.constData(), text.size()) &&
                    SyncAndClose(recordFd) && CopyAll(fileFd, copy.get());
        struct stat st {};
        if (done && ::fstat(fileFd, &st) == 0) {
            const struct timespec times[2] = {st.st_atim, st.st_mtim};
            ::futimens(copy.get(), times); // the date the text was last changed, where it can
        }
        done = done && SyncAndClose(copy) && ::fsync(files.get()) == 0 && ::fsync(info.get()) == 0;
        if (!done) {
            error = errno ? errno : EIO;
            ::unlinkat(files.get(), candidate.constData(), 0);
            ::unlinkat(info.get(), record.constData(), 0);
            return std::nullopt;
        }
        return candidate;
    }
    error = EEXIST;
    return std::nullopt;
}

} // namespace

QString HomeTrashFolder() {
    return DecodeFileName(HomeTrashPath());
}

std::optional<QString> TrashCopy(int fileFd, int folderFd, QByteArrayView name, int* error) {
    int code = 0;
    const auto fail = [&](int reason) {
        if (error)
            *error = reason ? reason : EIO;
        return std::nullopt;
    };
    struct stat folder {};
    if (::fstat(folderFd, &folder) != 0)
        return fail(errno);
    const QByteArray folderPath = PathOfFolder(folderFd);
    if (folderPath.isEmpty())
        return fail(errno);
    const QByteArray original =
        (folderPath == "/" ? QByteArray() : folderPath) + "/" + name.toByteArray();

    std::optional<TrashFolder> trash;
    const std::optional<dev_t> homeDevice = DeviceOfNearest(HomeTrashPath());
    if (!homeDevice || *homeDevice != folder.st_dev)
        trash = MountTrash(folderFd, code);
    if (!trash)
        trash = HomeTrash(code); // a copy may leave its file system
    if (!trash)
        return fail(code);
    QByteArray recorded = original;
    if (!trash->topdir.isEmpty()) {
        // A mount's trash records paths from its top, so that they hold wherever it is mounted.
        const QByteArray top = trash->topdir == "/" ? QByteArray("/") : trash->topdir + "/";
        if (original.startsWith(top))
            recorded = original.mid(top.size());
    }
    const std::optional<QByteArray> copy = PutInto(*trash, fileFd, name, recorded, code);
    if (!copy)
        return fail(code);
    return DecodeFileName(trash->path + "/files/" + *copy);
}

} // namespace platform

#include "platform/WriteTarget.h"

#include "platform/FileNames.h"
#include "platform/UniqueFd.h"

#include <QList>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>

namespace platform {

namespace {

// As many links as the kernel follows in one path.
constexpr int kMaxLinkHops = 40;

// A folder in which anyone may create names, but only an entry's owner (and the folder's)
// may remove or rename it: /tmp, /var/tmp, a shared drop folder.
bool IsSharedSticky(const struct stat& folder) {
    return (folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
}

bool IsProc(int folder) {
    struct statfs info {};
    return ::fstatfs(folder, &info) == 0 && info.f_type == PROC_SUPER_MAGIC;
}

QByteArray Join(const QByteArray& folder, const QByteArray& name) {
    if (folder.isEmpty())
        return name;
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QString Shown(const QByteArray& path) {
    return DisplayFileName(DecodeFileName(path));
}

QList<QByteArray> Components(const QByteArray& path) {
    QList<QByteArray> names;
    for (const QByteArray& name : path.split('/'))
        if (!name.isEmpty() && name != ".")
            names.append(name);
    return names;
}

// Moves the walk to the root folder (an absolute path or link) or the working folder.
bool Restart(WriteTarget& target, bool absolute, int& code) {
    const int fd = ::open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &target.folderStat) != 0) {
        code = errno;
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    target.SetFolder(fd);
    target.shown = absolute ? QByteArray("/") : QByteArray();
    return true;
}

bool EnterFolder(WriteTarget& target, int fd, const QByteArray& name, int& code) {
    if (::fstat(fd, &target.folderStat) != 0) {
        code = errno;
        ::close(fd);
        return false;
    }
    target.SetFolder(fd);
    target.shown = Join(target.shown, name);
    return true;
}

bool ReadLink(int link, QByteArray& text, int& code) {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlinkat(link, "", buffer, sizeof buffer);
    if (length < 0) {
        code = errno;
        return false;
    }
    if (size_t(length) >= sizeof buffer) {
        code = ENAMETOOLONG;
        return false;
    }
    text = QByteArray(buffer, length);
    if (text.isEmpty()) {
        code = ENOENT;
        return false;
    }
    return true;
}

} // namespace

QString SharedFolderRefusal(const WriteTarget& target, const struct stat& file) {
    if (!IsSharedSticky(target.folderStat) || target.throughProc)
        return {};
    const QString shown = Shown(Join(target.shown, target.name));
    if (file.st_uid != ::geteuid() && file.st_uid != target.folderStat.st_uid)
        return QStringLiteral("%1 belongs to another user in a folder that everyone may write "
                              "to (sticky); it was not written")
            .arg(shown);
    if (S_ISREG(file.st_mode) && file.st_nlink > 1)
        return QStringLiteral("%1 has other hard links in a folder that everyone may write to "
                              "(sticky); it was not written")
            .arg(shown);
    return {};
}

bool FindWriteTarget(const QByteArray& path, WriteTarget& target, int& code, QString& refusal) {
    code = 0;
    if (path.isEmpty()) {
        code = ENOENT;
        return false;
    }
    if (!Restart(target, path.startsWith('/'), code))
        return false;
    QList<QByteArray> names = Components(path);
    const bool endsInSlash = path.endsWith('/');
    int hops = 0;
    while (!names.isEmpty()) {
        const QByteArray name = names.takeFirst();
        const bool last = names.isEmpty();
        UniqueFd entry(::openat(target.folder, name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (entry.get() < 0 || ::fstat(entry.get(), &st) != 0) {
            code = errno;
            if (code == ENOENT && last) {
                target.name = name;
                target.exists = false;
                target.throughProc = IsProc(target.folder);
                if (endsInSlash) {
                    code = EISDIR; // a file cannot be made under a folder's name
                    return false;
                }
                return true;
            }
            return false;
        }
        if (S_ISLNK(st.st_mode) && IsProc(target.folder)) {
            // /proc/self, /proc/self/fd/1: the kernel's to follow.
            if (last) {
                if (::fstatat(target.folder, name.constData(), &target.stat, 0) != 0) {
                    code = errno;
                    return false;
                }
                target.name = name;
                target.exists = true;
                target.throughProc = true;
                return true;
            }
            const int followed =
                ::openat(target.folder, name.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (followed < 0) {
                code = errno;
                return false;
            }
            if (!EnterFolder(target, followed, name, code))
                return false;
            continue;
        }
        if (S_ISLNK(st.st_mode)) {
            if (++hops > kMaxLinkHops) {
                code = ELOOP;
                return false;
            }
            if (IsSharedSticky(target.folderStat) && st.st_uid != ::geteuid() &&
                st.st_uid != target.folderStat.st_uid) {
                refusal = QStringLiteral("%1 is a symbolic link of another user in a folder "
                                         "that everyone may write to (sticky); it is not "
                                         "followed, and nothing was written")
                              .arg(Shown(Join(target.shown, name)));
                return false;
            }
            QByteArray link;
            if (!ReadLink(entry.get(), link, code))
                return false;
            if (link.startsWith('/') && !Restart(target, true, code))
                return false;
            names = Components(link) + names;
            // A link to "/" or "." ends at a folder, which the writing refuses.
            if (names.isEmpty())
                names.append(".");
            continue;
        }
        if (last) {
            target.name = name;
            target.exists = true;
            target.stat = st;
            target.throughProc = IsProc(target.folder);
            if (endsInSlash && !S_ISDIR(st.st_mode)) {
                code = ENOTDIR;
                return false;
            }
            return true;
        }
        if (!S_ISDIR(st.st_mode)) {
            code = ENOTDIR;
            return false;
        }
        if (!EnterFolder(target, entry.release(), name, code))
            return false;
    }
    // The path names a folder ("/", ".", "a/..").
    code = EISDIR;
    return false;
}

} // namespace platform

#include "fileops/PageFile.h"

#include "platform/FileNames.h"

#include <QList>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int kMaxLinkHops = 16;
constexpr int kAttempts = 3;

bool SameTimes(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameVersion(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           SameTimes(a.st_mtim, b.st_mtim) && SameTimes(a.st_ctim, b.st_ctim);
}

// Times in whole seconds cannot tell two writes within one second apart.
bool CoarseTimes(const struct stat& st) {
    return st.st_mtim.tv_nsec == 0 && st.st_ctim.tv_nsec == 0;
}

bool ReadAt(int fd, QByteArray& bytes, qint64 limit, qint64 expected, bool& tooLarge) {
    tooLarge = false;
    // One byte more than expected: a file that grew is still read to its end.
    bytes.resize(qsizetype(std::min<qint64>(expected, limit) + 1));
    qsizetype used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used > limit) {
                tooLarge = true;
                return false;
            }
            bytes.resize(used + 64 * 1024);
        }
        const size_t wanted = size_t(bytes.size() - used);
        const ssize_t got = ::pread(fd, bytes.data() + used, wanted, used);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            break;
        used += got;
        // A short read that reached the size the file was opened with is its end: asking once
        // more only to be told so cost a system call per page.
        if (size_t(got) < wanted && used >= expected)
            break;
    }
    if (used > limit) {
        tooLarge = true;
        return false;
    }
    bytes.truncate(used);
    return true;
}

struct Step {
    platform::FolderRef folder;
    QByteArray name;
};

// The next step of a link: the folder of its text (the system resolves that part, as it
// would) and the last component, looked at again without following.
bool FollowLink(Step& step, int& error) {
    char buffer[PATH_MAX];
    const ssize_t length =
        ::readlinkat(step.folder->Fd(), step.name.constData(), buffer, sizeof buffer);
    if (length <= 0 || size_t(length) >= sizeof buffer) {
        error = length < 0 ? errno : ENAMETOOLONG;
        return false;
    }
    const QByteArray text(buffer, length);
    const qsizetype slash = text.lastIndexOf('/');
    const QByteArray base = text.mid(slash + 1);
    if (base.isEmpty() || base == "." || base == "..") {
        error = EISDIR; // it names a folder
        return false;
    }
    if (slash >= 0) {
        const QByteArray dir = slash == 0 ? QByteArray("/") : text.left(slash);
        platform::FolderRef next = platform::FolderHandle::OpenRelative(step.folder, dir, &error);
        if (!next)
            return false;
        step.folder = std::move(next);
    }
    step.name = base;
    return true;
}

PageState StateOfFailure(int error) {
    switch (error) {
    case ENOENT:
        return PageState::Missing;
    case EISDIR:
        return PageState::Folder;
    default:
        return PageState::Failed;
    }
}

} // namespace

bool PageFile::Unchanged(const QByteArray* content) const {
    struct stat now {};
    if (!IsOpen() || ::fstat(fd.get(), &now) != 0 || !SameVersion(now, st))
        return false;
    if (!content || !CoarseTimes(st))
        return true;
    QByteArray bytes;
    bool tooLarge = false;
    return ReadAt(fd.get(), bytes, content->size(), content->size(), tooLarge) && bytes == *content;
}

bool PageFile::ContentUnchanged() const {
    struct stat now {};
    return IsOpen() && ::fstat(fd.get(), &now) == 0 && now.st_size == st.st_size &&
           SameTimes(now.st_mtim, st.st_mtim);
}

bool PageFile::TakeOwnChange() {
    struct stat now {};
    if (!IsOpen() || ::fstat(fd.get(), &now) != 0 || now.st_size != st.st_size ||
        !SameTimes(now.st_mtim, st.st_mtim))
        return false;
    st = now;
    return true;
}

bool PageFile::StillNamed() const {
    struct stat named {};
    return fileFolder &&
           ::fstatat(fileFolder->Fd(), fileName.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           named.st_dev == st.st_dev && named.st_ino == st.st_ino;
}

bool PageFile::LockAgainstOtherRuns() {
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        // A file system without locks (some network ones) cannot tell; the checks before
        // every replacement still hold there.
        return errno != EWOULDBLOCK;
    }
    return true;
}

OpenedPage OpenPage(RunFiles& files, const QString& path, LinkRule rule, PageUse use) {
    OpenedPage result;
    result.page.path = path;
    int error = 0;
    const platform::FolderRef folder = files.FolderOf(path, &error);
    if (!folder) {
        result.state = error == ENOENT || error == ENOTDIR ? PageState::Missing : PageState::Failed;
        result.error = error;
        return result;
    }
    result.page.folder = folder;
    result.page.name = platform::EncodeFileName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    const QByteArray& name = result.page.name;
    if (name.isEmpty() || name == "." || name == "..") {
        result.state = PageState::Folder;
        return result;
    }
    const auto ended = [&](PageState state, int code = 0) {
        result.state = state;
        result.error = code;
        return std::move(result);
    };

    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        Step step{folder, name};
        QList<uid_t> linkOwners;
        struct stat st {};
        bool found = false;
        for (int hop = 0; hop <= kMaxLinkHops && !found; ++hop) {
            if (::fstatat(step.folder->Fd(), step.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                return ended(StateOfFailure(errno), errno);
            if (!S_ISLNK(st.st_mode)) {
                found = true;
                break;
            }
            if (rule == LinkRule::Never)
                return ended(PageState::LinkNotFollowed);
            linkOwners.append(st.st_uid);
            const platform::FolderRef linkFolder = step.folder;
            if (!FollowLink(step, result.error)) {
                if (result.error == EISDIR) {
                    // A link to a folder: the folder check below decides what that is.
                    struct stat target {};
                    if (::fstatat(folder->Fd(), name.constData(), &target, 0) == 0 &&
                        S_ISDIR(target.st_mode))
                        return ended(PageState::Folder);
                }
                return ended(StateOfFailure(result.error), result.error);
            }
            // Below a root the user named, nothing outside it is looked at through a link.
            if (step.folder != linkFolder) {
                int rootError = 0;
                const platform::FolderRef root = files.RootFolderOf(path, &rootError);
                if (rootError != 0)
                    return ended(PageState::Failed, rootError);
                if (root && !step.folder->LiesWithin(*root))
                    return ended(PageState::LinkLeavesTree);
            }
        }
        if (!found)
            return ended(PageState::Failed, ELOOP);
        if (S_ISDIR(st.st_mode))
            return ended(PageState::Folder);
        if (!S_ISREG(st.st_mode))
            return ended(PageState::NotRegular);
        const auto refusedLink = [&](uid_t fileOwner) {
            for (const uid_t owner : linkOwners)
                if (owner != ::geteuid() && owner != fileOwner)
                    return true;
            return false;
        };
        if (refusedLink(st.st_uid))
            return ended(PageState::LinkRefused);
        // A file is tidied in the folder that holds it, where its backup goes.
        if (use == PageUse::Tidy && files.IsBackupFolder(step.folder))
            return ended(PageState::InBackupFolder);
        if (use == PageUse::Tidy && !(st.st_mode & S_IWUSR))
            return ended(PageState::ReadOnly);
        platform::UniqueFd fd(::openat(step.folder->Fd(), step.name.constData(),
                                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (fd.get() < 0) {
            if (errno == ELOOP)
                continue; // swapped for a link since it was looked at
            return ended(StateOfFailure(errno), errno);
        }
        struct stat opened {};
        if (::fstat(fd.get(), &opened) != 0)
            return ended(PageState::Failed, errno);
        if (opened.st_dev != st.st_dev || opened.st_ino != st.st_ino || !S_ISREG(opened.st_mode))
            continue; // replaced since it was looked at
        if (refusedLink(opened.st_uid))
            return ended(PageState::LinkRefused);
        result.page.fileFolder = step.folder;
        result.page.fileName = step.name;
        result.page.throughLink = !linkOwners.isEmpty();
        result.page.fd = std::move(fd);
        result.page.st = opened;
        result.state = PageState::Opened;
        return result;
    }
    return ended(PageState::Failed, EAGAIN);
}

ReadState ReadPage(PageFile& page, QByteArray& bytes, qint64 limit, int* error) {
    struct stat before = page.st;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        bool tooLarge = false;
        if (!ReadAt(page.fd.get(), bytes, limit, before.st_size, tooLarge)) {
            if (tooLarge)
                return ReadState::TooLarge;
            if (error)
                *error = errno;
            return ReadState::Failed;
        }
        struct stat after {};
        if (::fstat(page.fd.get(), &after) != 0) {
            if (error)
                *error = errno;
            return ReadState::Failed;
        }
        if (SameVersion(before, after) && bytes.size() == after.st_size) {
            page.st = after;
            return ReadState::Read;
        }
        before = after; // written to meanwhile: read what it holds now
    }
    if (error)
        *error = EAGAIN;
    return ReadState::Failed;
}

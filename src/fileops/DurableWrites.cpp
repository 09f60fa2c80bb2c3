#include "fileops/DurableWrites.h"

#include "platform/ExtendedAttributes.h"
#include "platform/FileFunctions.h"

#include <QHash>
#include <cerrno>
#include <mutex>

namespace {

std::mutex g_failureMutex;
std::function<int(const QByteArray&)> g_failure;

int FailureForTests(const QByteArray& bytes) {
    const std::lock_guard lock(g_failureMutex);
    return g_failure ? g_failure(bytes) : 0;
}

} // namespace

void SetWriteFailureForTests(std::function<int(const QByteArray& bytes)> failure) {
    const std::lock_guard lock(g_failureMutex);
    g_failure = std::move(failure);
}

QString AttributesNotKeptLine() {
    return QStringLiteral("%s: A copy of this file could not keep its access list or extended "
                          "attributes (the file system may not hold them), so the file was left "
                          "as it is.");
}

bool WriteTemporaryLike(platform::TemporaryFile& file, int folderFd,
                        platform::TemporaryFile::NameMaker names, const QByteArray& bytes,
                        int likeFd, const struct stat& like, bool keepTimes, QString* refusal) {
    if (!file.Create(folderFd, std::move(names), S_IRUSR | S_IWUSR))
        return false;
    const int fd = file.Fd();
    if (const int failure = FailureForTests(bytes)) {
        errno = failure;
        return false;
    }
    if (!platform::WriteAllToFd(fd, bytes))
        return false;
    // Owner first: a change of owner may clear permission bits. Only root may give a file
    // away; for anyone else it belongs to the one who wrote it. Set-id bits are never kept:
    // new content is not the program someone marked.
    if (::fchown(fd, like.st_uid, like.st_gid) != 0) {
    }
    bool attributeFailed = false;
    if (!platform::CopyModeAndAttributes(likeFd, fd, like.st_mode & 0777, &attributeFailed)) {
        if (attributeFailed && refusal)
            *refusal = AttributesNotKeptLine();
        return false;
    }
    if (keepTimes) {
        const struct timespec times[2] = {like.st_atim, like.st_mtim};
        ::futimens(fd, times); // a file system without times still holds the right bytes
    }
    return true;
}

bool SyncFolders(const std::vector<platform::FolderRef>& folders, int& error) {
    QHash<dev_t, int> devices;
    for (const platform::FolderRef& folder : folders)
        if (folder)
            devices.insert(folder->Stat().st_dev, folder->Fd());
    for (const int fd : devices) {
        if (!platform::SyncFileSystem(fd)) {
            error = errno;
            return false;
        }
    }
    return true;
}

bool PlaceBackup(platform::TemporaryFile& copy, const QByteArray& name) {
    return copy.Place(name, false) || (errno == EEXIST && copy.Place(name, true));
}

#include "fileops/CommitSteps.h"

#include "fileops/DurableWrites.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool CommitSteps::Flush(const std::vector<platform::FolderRef>& folders, int& error) {
    return SyncFolders(folders, error);
}

bool CommitSteps::Place(platform::TemporaryFile& file, QByteArrayView name, bool replace) {
    return file.Place(name, replace);
}

bool CommitSteps::Exchange(platform::TemporaryFile& file, QByteArrayView name,
                           const platform::TemporaryFile::NameMaker& asideNames,
                           QByteArray& aside) {
    return file.Exchange(name, asideNames, aside);
}

bool CommitSteps::Swap(int folderFd, const QByteArray& a, const QByteArray& b) {
    return ::renameat2(folderFd, a.constData(), folderFd, b.constData(), RENAME_EXCHANGE) == 0;
}

bool CommitSteps::Rename(int folderFd, const QByteArray& from, const QByteArray& to) {
    return ::renameat2(folderFd, from.constData(), folderFd, to.constData(), RENAME_NOREPLACE) == 0;
}

bool CommitSteps::Remove(int folderFd, const QByteArray& name, FileKey expected) {
    // There is no removal of a name only if it leads to a given file: what was looked at is
    // what goes, unless it is swapped in the instant between.
    struct stat st {};
    if (::fstatat(folderFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (KeyOf(st) != expected) {
        errno = ESTALE;
        return false;
    }
    return ::unlinkat(folderFd, name.constData(), 0) == 0;
}

namespace {

std::atomic<CommitSteps*> g_testSteps{nullptr};

} // namespace

CommitSteps& CurrentCommitSteps() {
    static CommitSteps system;
    CommitSteps* steps = g_testSteps.load();
    return steps ? *steps : system;
}

void SetCommitStepsForTests(CommitSteps* steps) {
    g_testSteps.store(steps);
}

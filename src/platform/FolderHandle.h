#pragma once
// A folder held open by descriptor. Whatever is done to names inside it afterwards (a rename,
// a link planted where a sub-folder was) cannot redirect a lookup made relative to it: the
// descriptor keeps naming the folder that was opened and checked.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>
#include <sys/stat.h>

namespace platform {

class FolderHandle;
using FolderRef = std::shared_ptr<const FolderHandle>;

class FolderHandle {
public:
    ~FolderHandle();
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    // `path` as the system resolves it (links on the way followed: the caller named it).
    static FolderRef Open(const QString& path, int* error = nullptr);
    // `relative` below `root`, without following any symbolic link on the way and without
    // leaving `root` ("..", absolute names). An empty `relative` is `root` itself.
    static FolderRef OpenBeneath(const FolderRef& root, const QString& relative,
                                 int* error = nullptr);
    // The sub-folder `name` of `parent`, refused when `name` is a symbolic link (ELOOP) or
    // anything but a folder (ENOTDIR).
    static FolderRef OpenChild(const FolderRef& parent, QByteArrayView name,
                               int* error = nullptr);

    // `relative` from `parent` as the system resolves it (links followed; an absolute name
    // leaves `parent` aside).
    static FolderRef OpenRelative(const FolderRef& parent, QByteArrayView relative,
                                  int* error = nullptr);

    // This folder is `root` or lies below it, told by identity: its parents are the folders
    // that ".." leads to, whatever names or links it was reached by. False when a parent cannot
    // be looked at (no search permission): what cannot be told is not taken to lie within.
    bool LiesWithin(const FolderHandle& root) const;

    int Fd() const { return m_fd; }
    const struct stat& Stat() const { return m_stat; }
    // The path it was opened under, for messages; never looked up again.
    const QString& Path() const { return m_path; }

private:
    FolderHandle(int fd, const struct stat& st, QString path);
    static FolderRef Adopt(int fd, QString path, int* error);

    int m_fd;
    struct stat m_stat;
    QString m_path;
};

// Flushes everything written to the file system that holds `fd` (file contents, new names,
// renames) to the disk in one call; false with errno set when the system reports a failure.
bool SyncFileSystem(int fd);

} // namespace platform

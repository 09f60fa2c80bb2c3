#pragma once
// Where a file that is about to be written really is: the path walked one name at a time from
// an open folder, so that nothing can be swapped in between a check and its use.
//
// Every symbolic link on the way (inside the path's folders too) is read by the walk itself,
// because a dangling link leads to the name it points to instead of being replaced. That would
// pass by the kernel's protected_symlinks rule, so the walk applies it itself, whatever the
// system's setting: in a folder that everyone may write to and that has the sticky bit (/tmp),
// a link is followed only when it belongs to the current user or to the folder's owner.
// Links in /proc name open files rather than paths (/dev/stdout): only the kernel follows them.

#include <QByteArray>
#include <QString>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

struct WriteTarget {
    WriteTarget() = default;
    ~WriteTarget() { SetFolder(-1); }
    WriteTarget(const WriteTarget&) = delete;
    WriteTarget& operator=(const WriteTarget&) = delete;
    // Takes `fd` over, closing the folder held before.
    void SetFolder(int fd) {
        if (folder >= 0)
            ::close(folder);
        folder = fd;
    }

    int folder = -1; // an O_PATH descriptor of the folder that holds `name`
    struct stat folderStat {};
    QByteArray name;     // the last name, never a link (unless throughProc)
    QByteArray shown;    // the path as walked, for messages
    bool exists = false; // then `stat` describes it, as found by the walk
    struct stat stat {};
    bool throughProc = false; // in /proc: written where it is, never renamed over
};

// Walks `path`. On failure answers false with either a system error in `code` or, when a rule
// refused the path, the reason in `refusal` (and `code` 0).
bool FindWriteTarget(const QByteArray& path, WriteTarget& target, int& code, QString& refusal);

// Whether an existing file in a shared folder may be written: it must belong to the current
// user or to the folder's owner and have no other hard links (those may lead anywhere). Empty
// when it may; otherwise the reason.
QString SharedFolderRefusal(const WriteTarget& target, const struct stat& file);

// Whether `a` and `b` describe the same file.
inline bool SameInode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace platform

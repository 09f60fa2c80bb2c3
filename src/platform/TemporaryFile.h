#pragma once
// A file under construction inside an opened folder, put in place under its final name in one
// step once it is complete.
//
// Where the file system allows, it has no name at all while it is written (O_TMPFILE), so a
// writer killed at any moment leaves nothing behind. Elsewhere it lives under a hidden name
// until it is placed. Either way the writer holds an exclusive flock on it from its first
// instant: a temporary is stale (left by a killed writer, safe to remove) only when nobody
// holds that lock and its status-change time, which no writer can set back, is old. Judging
// by the modification time instead would remove a copy that a live writer has just given its
// original's old date.

#include <QByteArray>
#include <QByteArrayView>
#include <functional>
#include <sys/types.h>

namespace platform {

class TemporaryFile {
public:
    // Makes a hidden name for the attempt `attempt` (0, 1 ...), used when a name is needed.
    using NameMaker = std::function<QByteArray(int attempt)>;

    TemporaryFile() = default;
    // Removes the file unless it was placed.
    ~TemporaryFile();
    TemporaryFile(TemporaryFile&& other) noexcept;
    TemporaryFile& operator=(TemporaryFile&& other) noexcept;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates it in the folder `folderFd` with the permission bits `mode` (before the umask);
    // false with errno set when the system refuses.
    bool Create(int folderFd, NameMaker names, mode_t mode);
    // Makes the open file `fileFd` the temporary: it gets one more name, a hidden one in
    // `folderFd` (on the same file system), so that placing it gives the file itself a second
    // name there without copying a byte. False with errno set (EXDEV across file systems).
    bool CreateLink(int folderFd, int fileFd, NameMaker names);
    // Gives the open file `fileFd` the name `name` in `folderFd` at once, as a placed file:
    // one step where CreateLink and Place take two, for a name that nothing has yet. False
    // with errno set (EEXIST when the name is taken, EXDEV across file systems).
    bool LinkAs(int folderFd, int fileFd, QByteArrayView name);
    int Fd() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }

    // Gives it the name `name` in its folder. With `replace`, whatever has that name is
    // replaced in one step (renameat: a link there is replaced, never followed); without it,
    // the call fails with EEXIST when the name is taken. False with errno set.
    bool Place(QByteArrayView name, bool replace);
    // Drops it: nothing of it remains.
    void Discard();

private:
    bool Named() const { return !m_name.isEmpty(); }
    // Starts over with a second descriptor of `fileFd`, whose file has a name already.
    bool Adopt(int folderFd, int fileFd, NameMaker names);
    // Discard() for a failure: answers false with errno as the failure set it.
    bool DropKeepingError();
    bool LinkUnder(const QByteArray& name);

    int m_folder = -1; // not owned
    int m_fd = -1;
    QByteArray m_name; // empty while it has no name
    NameMaker m_names;
    bool m_placed = false;
};

// The hidden name of a page's temporary beside it (".index.html.kelvane-0.tmp"), shortened so
// that it still fits the file system's limit.
QByteArray PageTemporaryName(QByteArrayView fileName, int attempt);
// The hidden name of a backup's temporary in a backup folder (".kelvane-backup-<hex>.tmp").
QByteArray BackupTemporaryName(int attempt);
// Whether a name in a folder is one of those.
bool IsTemporaryName(QByteArrayView name);

// Removes, in the folder `folderFd`, every temporary of ours that is stale: a regular file
// named as above that nobody holds locked and whose status has not changed for `minimumAge`
// seconds. Answers how many were removed.
int RemoveStaleTemporaries(int folderFd, int minimumAgeSeconds = 10);

} // namespace platform

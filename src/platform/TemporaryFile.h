#pragma once
// A file under construction inside an opened folder, put in place under its final name in one
// step once it is complete.
//
// Where the file system allows, it has no name at all while it is written (O_TMPFILE), so a
// writer killed at any moment leaves nothing behind. Elsewhere it lives under a hidden name
// until it is placed. Hidden names are provably ours (TemporaryNames.h): a fresh random one is
// made whenever a name is needed, and a file under a name we want is never taken over, whoever
// made it. The writer holds an exclusive flock on its file from its first instant: a temporary
// of ours is stale (left by a killed writer, safe to remove) only when nobody holds that lock
// and its status-change time, which no writer can set back, is old. Judging by the
// modification time instead would remove a copy that a live writer has just given its
// original's old date. A hidden name that is a second name of another file (CreateLink, Hold)
// is locked as that file is: a page's by the run that holds the page.

#include "platform/TemporaryNames.h"

#include <QByteArray>
#include <QByteArrayView>
#include <functional>
#include <sys/types.h>

namespace platform {

class TemporaryFile {
public:
    // Makes a hidden name for the attempt `attempt` (0, 1 ...), used when a name is needed; each
    // attempt after a taken name wants a new one.
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
    // Makes the open file `fileFd` the temporary without a name yet: placing it gives the file
    // itself one more name in `folderFd`. False with errno set.
    bool Hold(int folderFd, int fileFd, NameMaker names = nullptr);
    int Fd() const { return m_fd; }
    int Folder() const { return m_folder; }
    bool IsOpen() const { return m_fd >= 0; }

    // Gives it the name `name` in its folder. With `replace`, whatever has that name is
    // replaced in one step (renameat: a link there is replaced, never followed); without it,
    // the call fails with EEXIST when the name is taken. False with errno set.
    bool Place(QByteArrayView name, bool replace);
    // Puts it under `name` in one step while what `name` held moves to a hidden name of
    // `asideNames` (given in `aside`), so that it can be put back: the temporary first takes
    // that hidden name (a link when it has none yet, else a rename), then the two names are
    // exchanged. It is then placed. False with errno set (ENOENT when nothing has that name),
    // `name` unchanged and the temporary as it was, unnamed or under the hidden name.
    bool Exchange(QByteArrayView name, const NameMaker& asideNames, QByteArray& aside);
    // Drops it: nothing of it remains.
    void Discard();

private:
    bool Named() const { return !m_name.isEmpty(); }
    // Discard() for a failure: answers false with errno as the failure set it.
    bool DropKeepingError();
    bool LinkUnder(const QByteArray& name);
    // Gives an unnamed temporary a fresh name of `names`, or renames a named one to it.
    bool Rename(const NameMaker& names);

    int m_folder = -1; // not owned
    int m_fd = -1;
    QByteArray m_name; // empty while it has no name
    NameMaker m_names;
    bool m_placed = false;
};

// Fresh hidden names of `kind` (TemporaryNames.h) in the folder `folderFd` for the file `subject`.
TemporaryFile::NameMaker TemporaryNames(int folderFd, TemporaryKind kind, QByteArray subject = {});
// A page's temporaries beside it (".index.html.kelvane-<tag>.tmp").
inline TemporaryFile::NameMaker PageTemporaryNames(int folderFd, QByteArray fileName) {
    return TemporaryNames(folderFd, TemporaryKind::Page, std::move(fileName));
}
// A backup's temporaries in a backup folder (".kelvane-backup-<tag>.tmp").
inline TemporaryFile::NameMaker BackupTemporaryNames(int folderFd) {
    return TemporaryNames(folderFd, TemporaryKind::Backup);
}

// How long a temporary of ours must have stood unlocked and unchanged (its status-change time)
// before it counts as a killed writer's.
inline constexpr int kStaleSeconds = 10;
// Removes, in the folder `folderFd`, every page's and backup's temporary (Page and Backup
// names) that is provably ours and stale. Aside and Vacant names stand for a backup's older
// state and are left to the backup folder's recovery. Answers how many were removed.
int RemoveStaleTemporaries(int folderFd, int minimumAgeSeconds = kStaleSeconds);

} // namespace platform

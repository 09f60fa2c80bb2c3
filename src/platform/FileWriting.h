#pragma once
// Replacing the whole content of a file so that it is never left half-written.
//
// The normal road is a temporary file beside the target (".<name>.kelvane-<tag>.tmp", a name
// provably ours: TemporaryNames.h), written,
// synced and renamed over it: a failure at any point (a full disk, an I/O error, a kill) leaves
// the old file exactly as it was. A replaced file keeps its owner (where permitted) and its
// permission bits, never its set-user-id and set-group-id bits; a new file gets the umask's.
//
// Where that road is impossible the file is written in place:
// - a regular file with other hard links (a rename would part it from them), one reached
//   through /proc (/dev/stdout sent to a file), or one beside which no temporary file can be
//   created or renamed (a folder the user may not write to, a sticky folder). The disk space
//   for the new content is reserved before the first byte changes, and when a write still
//   fails the old content is put back if the file could be read. Only an I/O error part-way
//   through on a file that could not be read leaves it partly written: callers that must not
//   lose the old content make a backup first.
// - a FIFO or character device (/dev/null, a terminal): written as a shell redirection
//   would. A FIFO without a reader is waited for a few seconds, then refused.
// Symbolic links are followed, never replaced; a dangling one creates the file it points to.
// A read-only regular file (owner's write bit clear), a folder and anything else (a socket, a
// block device) are refused without any change.
//
// Folders that everyone may write to and that have the sticky bit (/tmp) hold names that
// others planted. There, whatever the system's protected_symlinks setting, a link (at any step
// of the path) is followed only when it belongs to the user or to the folder's owner, and an
// existing file or FIFO is written only when it belongs to one of them and has no other hard
// links. Anything else there is refused with the reason and nothing is written. The path is
// walked from open folders and the file is replaced relative to its folder, so a name swapped
// meanwhile is never followed: the decision stands on what was checked.
//
// A writer holds an exclusive flock on its temporary from its creation until it is renamed or
// removed. A temporary whose name is provably ours and names the same file, that is the
// user's, that nobody holds and whose status has not changed for kStaleTemporaryAge is a
// killed writer's: it is removed when the same file is written again. A file merely named
// alike is never touched.

#include <QByteArray>
#include <QString>
#include <chrono>
#include <sys/types.h>

namespace platform {

enum class WriteResult {
    Written,
    ReadOnly, // a regular file whose owner's write bit is clear
    NotAFile, // a folder, a socket, a block device
    Failed,   // the system refused; `error` says why
};

WriteResult WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// A fresh name for a temporary of `path` beside it (empty when its folder cannot be looked at).
QString TemporaryFileName(const QString& path);

// How long an unlocked temporary's status (ctime, which nobody can set back) must have stood
// still before it counts as left behind. Tests shorten it; kStaleTemporaryAge restores it.
inline constexpr std::chrono::seconds kStaleTemporaryAge{10};
void SetStaleTemporaryAgeForTests(std::chrono::milliseconds age);

// The system calls that put bytes on disk. Tests replace them to simulate a full or failing
// device; nullptr restores the real ones.
struct FileWriteCalls {
    ssize_t (*write)(int fd, const void* data, size_t size);
    int (*fsync)(int fd);
};
void SetFileWriteCallsForTests(const FileWriteCalls* calls);

} // namespace platform

#pragma once
// File functions with the contracts the file operations rely on: no call silently replaces an
// existing file unless it says so, and a read-only file (owner's write bit clear) is never
// deleted or replaced. Read-only is judged from the mode bits, not access(), so that the
// behaviour is the same when running as root.
//
// Every function answers whether it succeeded; when `error` is given, a failure fills it with
// the system's text for the reason.

#include "platform/FileNames.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace platform {

struct FileAttributes {
    bool folder = false;
    bool readOnly = false; // the owner's write bit is clear
};

// Attributes of `path` (links followed); nothing when they cannot be read.
std::optional<FileAttributes> GetAttributes(const QString& path);

// True when `path` is a regular file (a link to one counts); never true for a folder.
bool FileExists(const QString& path);
// True when `path` is a folder (a link to one counts).
bool FolderExists(const QString& path);
// The owner's write bit of an existing path is clear.
bool IsReadOnly(const QString& path);
// True when both names lead to one existing file: the same name spelt differently, a link to
// it, or another hard link of it.
bool SameFile(const QString& a, const QString& b);

// Deletes a file. Refuses folders and read-only files.
bool DeleteFile(const QString& path, QString* error = nullptr);

// Copies the exact bytes of `source` to a new file `target`, keeping the permission bits and
// the modification time. Fails when `target` exists; a copy that fails half-way is removed.
bool CopyFileNoReplace(const QString& source, const QString& target, QString* error = nullptr);

// Renames or moves a file or folder. Fails when anything exists at `target`.
bool MoveFileNoReplace(const QString& source, const QString& target, QString* error = nullptr);

// Renames `source` over `target` in one step, so that `target` is never missing. Refuses a
// target that is read-only or a folder.
bool MoveFileReplace(const QString& source, const QString& target, QString* error = nullptr);

// Creates one folder; its parent must exist. Fails when anything exists at `path`.
bool CreateFolder(const QString& path, QString* error = nullptr);
// Creates a folder and every missing folder above it, one by one. True when the folder exists
// afterwards.
bool CreateFolderWithParents(const QString& path, QString* error = nullptr);

// Writes all of `size` bytes to `fd`, riding out short writes and signals; false with errno
// set when the system refuses.
bool WriteAllToFd(int fd, const char* data, qsizetype size);
inline bool WriteAllToFd(int fd, const QByteArray& bytes) {
    return WriteAllToFd(fd, bytes.constData(), bytes.size());
}

// Flushes a folder's entries (a file just created or renamed in it) to the disk; false with
// errno set when the system reports a failure.
bool SyncFolder(const QString& path);

} // namespace platform

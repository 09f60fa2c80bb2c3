#pragma once
// The note a backup carries of the text its tidy wrote into the page: the text's size and a
// BLAKE2b-256 hash of it, in the backup's extended attribute user.kelvane.tidied. The backup is
// mostly the original file itself under its second name, so the note costs one system call
// and no byte of the backup's content. Restore compares the page with it to know whether the
// page is still what the tidy wrote, or was edited since.
//
// File systems without user attributes, and backups made by earlier versions, carry none; a
// copy of a file never takes ours along (platform/ExtendedAttributes.h).

#include <QByteArray>
#include <optional>

// The attribute's name.
inline constexpr char kBackupMarkName[] = "user.kelvane.tidied";

// Marks the backup open as `backupFd` with `written`, the text now in its page. Never fails
// the caller: where the mark cannot be set, an older mark of the file is removed (it would
// speak of another text), and restore decides without one.
void MarkBackup(int backupFd, const QByteArray& written) noexcept;

struct BackupMarkValue {
    qint64 size = 0;
    QByteArray hash; // 32 bytes
};
// The mark of the file open as `fd`; nothing when it has none, or one this version cannot read.
std::optional<BackupMarkValue> ReadBackupMark(int fd);
// Whether `text` is what the mark speaks of.
bool MatchesMark(const BackupMarkValue& mark, const QByteArray& text);
// Removes the mark from the file open as `fd` (a restored page must not keep it); true when it
// has none now.
bool RemoveBackupMark(int fd);

#pragma once
// The desktop trash (freedesktop.org's Trash specification), for text that a command is about
// to replace and that must stay within the user's reach: a copy goes in, the original stays
// where it is until its caller replaces it.
//
// A file on the file system of the user's home goes to the home trash, $XDG_DATA_HOME/Trash
// (~/.local/share/Trash); a file on another mount to that mount's trash: $topdir/.Trash/$uid
// when $topdir/.Trash is a real folder with the sticky bit, else $topdir/.Trash-$uid, each used
// only when it is a folder of the user's that nobody else may write to. Where neither can be
// had, the home trash takes it (a copy may cross file systems). Each copy gets a name of its
// own in files/ and its record in info/ (NAME.trashinfo: the original's Path, URL-escaped, and
// DeletionDate), the record made first, so that two writers never share a name. Both are on
// disk before this returns; a failure leaves neither behind.

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace platform {

// Puts a copy of every byte of the file open as `fileFd` (read from its start) into the
// trash, recorded as the file `name` of the folder open as `folderFd`. Answers where the copy
// lies, or nothing with `error` set to the reason.
std::optional<QString> TrashCopy(int fileFd, int folderFd, QByteArrayView name, int* error);

// The home trash's folder: $XDG_DATA_HOME/Trash, or ~/.local/share/Trash when XDG_DATA_HOME
// is unset or not absolute.
QString HomeTrashFolder();

} // namespace platform

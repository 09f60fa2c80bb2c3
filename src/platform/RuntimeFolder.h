#pragma once
// The user's private runtime folder, where the running program's socket lives, and the
// credentials of the process at the other end of a local socket.

#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>

namespace platform {

// True when `path` itself (a symbolic link is never followed) is a folder owned by the
// current user that nobody else may enter, read or write.
bool IsPrivateFolder(const QString& path);

// The folder for the user's sockets: $XDG_RUNTIME_DIR when it is set and private; otherwise
// "kelvane-<uid>" in the temporary folder, made with mode 0700 when `create` is set (an
// existing one must be private too). Anyone may take that name first in a shared temporary
// folder; then a private folder of ours named "kelvane-<uid>.XXXXXX" serves: the first
// existing one by name, or, with `create`, a new one under a name nobody could foresee. Empty,
// with the reason in `error`, when there is no safe folder (or, without `create`, none yet).
QString PrivateRuntimeFolder(bool create, QString* error = nullptr);

// Every private folder of the user in which a running program may have its socket, in the
// order to try them: the one PrivateRuntimeFolder picks comes first when it exists. With a
// private $XDG_RUNTIME_DIR, only that one.
QStringList PrivateRuntimeFolders();

// The user id of the process at the other end of the connected local socket `fd`.
std::optional<uid_t> PeerUserId(int fd);

// True when the other end of `fd` runs as the current user.
bool PeerIsCurrentUser(int fd);

} // namespace platform

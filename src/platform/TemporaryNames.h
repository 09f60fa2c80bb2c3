#pragma once
// The hidden names our writers give their temporaries, made so that a later run can prove that
// a name is ours before it removes or moves anything under it.
//
// A name carries a random nonce and a keyed MAC (HMAC-SHA-256, cut to 96 bits) of the nonce,
// the name's kind, the identity (device and inode) of the folder it lies in and its subject
// (the file it belongs to). The key is the user's own: 32 random bytes in
// $XDG_STATE_HOME/kelvane/temporary-names.key (~/.local/state when that is not set), made on
// first use with mode 0600 in a folder of the user's that nobody else may write. A key file
// that is anything else (a link, another user's, readable by others, the wrong size) is not
// used.
//
// So another user who can write the folder (root running over a tree someone else writes) sees
// our names but cannot make one, nor take one into another folder; and a user's own file that
// happens to be named alike (".draft.kelvane-7.tmp") carries no valid MAC. A name proves only
// that we made it, not what it holds now: some of our temporaries are a second name of the
// user's page or of an older backup, which is why each sweep decides by the name's kind what
// may happen to it. Without a usable key, names are made all the same (every write works) but
// none can be proven, so nothing is ever removed. A folder whose identity changed (a file
// system whose device number is not stable across boots) no longer holds names of ours.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>
#include <sys/stat.h>

namespace platform {

enum class TemporaryKind {
    Page,   // beside a file, its subject: ".index.html.kelvane-<tag>.tmp"
    Backup, // in a backup folder, a backup being made: ".kelvane-backup-<tag>.tmp"
    Aside,  // in a backup folder, the older backup of its subject: ".kelvane-aside-<tag>.tmp"
    Vacant, // in a backup folder, says its subject had no backup: ".kelvane-vacant-<tag>.tmp"
};

// A fresh name of `kind` in the folder `folder` (its fstat). `subject` is the file's name: shown
// in a Page name (shortened to fit the file system's limit), bound without being shown in an
// Aside or Vacant one, unused for Backup.
QByteArray MakeTemporaryName(const struct stat& folder, TemporaryKind kind,
                             QByteArrayView subject = {});

// The kind that `name` has by its form alone (this proves nothing), or none.
std::optional<TemporaryKind> TemporaryNameKind(QByteArrayView name);

// Whether `name` in the folder `folder` was made by us. Page and Backup names carry what they
// are bound to; an Aside or Vacant name is checked against the subject `subject`.
bool IsOurTemporaryName(const struct stat& folder, QByteArrayView name,
                        QByteArrayView subject = {});

// Whether a usable key was found or made (else no name can be proven).
bool HaveTemporaryKey();

// Tests: the key is looked for again at its next use (after XDG_STATE_HOME changed, say).
void ReloadTemporaryKeyForTests();

} // namespace platform

#pragma once
// A file's extended attributes carried over to a new file that takes its place (a rewritten
// page, a backup copy, a restored copy, a replaced output file).
//
// What is kept, and why:
// - user.*: what programs and people stored about the content (an origin address, a tag),
//   except our own (user.kelvane.*), which describe one file and never travel with a copy;
// - the access list (system.posix_acl_access, and system.nfs4_acl on NFS): without it the
//   group bits, which an ACL uses as its mask, would become the owning group's own rights, and
//   named users would lose their access. It is set after the permission bits, since a chmod
//   recomputes the mask. A new file that inherited an access list from its folder's default
//   list, where the original had none, loses it: it must grant no more than the original did.
// Not kept: security.* (a label is the policy's choice for a new file in its folder;
// capabilities and integrity hashes describe the old content, as set-id bits do), trusted.*
// (the kernel's and administrators' own, such as overlayfs metadata) and any other system.*.
//
// An attribute that cannot be set on the new file fails the copy: the new file would lose
// what its user stored or grant other access than the original, so it must not take the
// original's place.

#include <sys/types.h>

namespace platform {

// The prefix of our own attributes, which are never copied.
inline constexpr char kOwnAttributePrefix[] = "user.kelvane.";

// Gives the file `to` the permission bits `mode` and the attributes of `from` that are kept
// (above); `from` -1 sets the bits alone. False with errno set when an attribute could not be
// read or set; `attributeFailed` (when given) then tells that an attribute, not the bits,
// was the cause.
bool CopyModeAndAttributes(int from, int to, mode_t mode, bool* attributeFailed = nullptr);

} // namespace platform

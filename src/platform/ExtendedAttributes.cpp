#include "platform/ExtendedAttributes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace platform {

namespace {

constexpr char kAccessAcl[] = "system.posix_acl_access";
constexpr char kNfsAcl[] = "system.nfs4_acl";

enum class Kind { Skipped, Content, Access };

Kind KindOf(QByteArrayView name) {
    if (name.startsWith("user."))
        return name.startsWith(kOwnAttributePrefix) ? Kind::Skipped : Kind::Content;
    if (name == kAccessAcl || name == kNfsAcl)
        return Kind::Access;
    return Kind::Skipped;
}

bool Unsupported(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP;
}

// Calls `call(buffer, size)` (a flistxattr or fgetxattr) into `bytes`, growing it while the
// answer does not fit; the answer may grow between the size query and the read.
template <typename Call> bool ReadGrowing(QByteArray& bytes, Call call) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t got = call(bytes.data(), size_t(bytes.size()));
        if (got >= 0) {
            bytes.truncate(qsizetype(got));
            return true;
        }
        if (errno != ERANGE)
            return false;
        const ssize_t needed = call(nullptr, 0);
        if (needed < 0)
            return false;
        bytes.resize(qsizetype(needed) + 1);
    }
    errno = ERANGE;
    return false;
}

bool Copy(int from, int to, const char* name, QByteArray& value) {
    if (value.size() < 256)
        value.resize(256);
    if (!ReadGrowing(value, [&](char* buffer, size_t size) {
            return ::fgetxattr(from, name, buffer, size);
        }))
        return errno == ENODATA; // removed meanwhile: nothing to keep
    return ::fsetxattr(to, name, value.constData(), size_t(value.size()), 0) == 0;
}

} // namespace

bool CopyModeAndAttributes(int from, int to, mode_t mode, bool* attributeFailed) {
    if (attributeFailed)
        *attributeFailed = false;
    const auto attributeFailure = [&] {
        if (attributeFailed)
            *attributeFailed = true;
        return false;
    };
    if (from < 0)
        return ::fchmod(to, mode) == 0;

    // Most files have none: one call tells.
    QByteArray names(1024, Qt::Uninitialized);
    if (!ReadGrowing(names,
                     [&](char* buffer, size_t size) { return ::flistxattr(from, buffer, size); })) {
        if (!Unsupported(errno))
            return attributeFailure();
        names.clear(); // a file system without attributes
    }
    QByteArray value;
    // Content first, while the new file is still writable for its maker: the bits may take
    // that away, and setting user.* needs it.
    bool accessListed = false;
    for (qsizetype at = 0; at < names.size();) {
        const char* name = names.constData() + at;
        at += qsizetype(std::strlen(name)) + 1;
        const Kind kind = KindOf(QByteArrayView(name));
        accessListed = accessListed || kind == Kind::Access;
        if (kind == Kind::Content && !Copy(from, to, name, value))
            return attributeFailure();
    }
    if (::fchmod(to, mode) != 0)
        return false;
    if (!accessListed) {
        // An access list inherited from the folder's default list would grant what the
        // original did not.
        if (::fremovexattr(to, kAccessAcl) != 0 && errno != ENODATA && !Unsupported(errno))
            return attributeFailure();
        return true;
    }
    for (qsizetype at = 0; at < names.size();) {
        const char* name = names.constData() + at;
        at += qsizetype(std::strlen(name)) + 1;
        if (KindOf(QByteArrayView(name)) == Kind::Access && !Copy(from, to, name, value))
            return attributeFailure();
    }
    return true;
}

} // namespace platform

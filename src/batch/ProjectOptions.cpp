#include "batch/ProjectOptions.h"

#include "batch/BatchArguments.h"
#include "platform/FileNames.h"

#include <QDir>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype kMaxCachedFolders = 4096;

bool Exists(const QString& path, struct stat* st = nullptr) {
    struct stat local {};
    return ::lstat(platform::EncodeFileName(path).constData(), st ? st : &local) == 0;
}

bool TrustedOwner(uid_t owner, uid_t folderOwner) {
    return owner == ::geteuid() || owner == 0 || owner == folderOwner;
}

[[noreturn]] void Refuse(const QString& path, const QString& reason) {
    throw UsageError(QStringLiteral("%1: %2").arg(platform::DisplayFileName(path), reason));
}

void CheckTrusted(const QString& file, const QString& folder) {
    struct stat folderStat {};
    struct stat link {};
    struct stat target {};
    if (!Exists(folder, &folderStat) || !Exists(file, &link))
        Refuse(file, qt_error_string(errno));
    const auto untrusted = [&](uid_t owner) {
        Refuse(file, QStringLiteral("not used: it belongs to user %1, who is neither you, root "
                                    "nor the owner of its folder")
                         .arg(owner));
    };
    if (!TrustedOwner(link.st_uid, folderStat.st_uid))
        untrusted(link.st_uid);
    if (::stat(platform::EncodeFileName(file).constData(), &target) != 0)
        Refuse(file, qt_error_string(errno));
    if (!S_ISREG(target.st_mode))
        Refuse(file, QStringLiteral("not a settings file"));
    if (!TrustedOwner(target.st_uid, folderStat.st_uid))
        untrusted(target.st_uid);
}

} // namespace

QString ProjectOptionsFinder::For(const QString& path, bool knownFile) {
    if (m_current.isEmpty() && !path.startsWith(u'/'))
        m_current = QDir::currentPath();
    const QString absolute =
        QDir::cleanPath(path.startsWith(u'/') ? path : m_current + u'/' + path);
    struct stat st {};
    const bool folder = !knownFile &&
                        ::stat(platform::EncodeFileName(absolute).constData(), &st) == 0 &&
                        S_ISDIR(st.st_mode);
    if (folder)
        return ForFolder(absolute);
    const qsizetype slash = absolute.lastIndexOf(u'/');
    return ForFolder(slash <= 0 ? QStringLiteral("/") : absolute.left(slash));
}

QString ProjectOptionsFinder::ForFolder(const QString& folder) {
    if (const auto known = m_byFolder.constFind(folder); known != m_byFolder.constEnd())
        return *known;
    QString found;
    const QString prefix = folder == QLatin1String("/") ? folder : folder + u'/';
    const QString candidate = prefix + kProjectOptionsName;
    if (Exists(candidate)) {
        CheckTrusted(candidate, folder);
        found = candidate;
    } else if (folder != QLatin1String("/") && !Exists(prefix + QStringLiteral(".git"))) {
        const qsizetype slash = folder.lastIndexOf(u'/');
        found = ForFolder(slash <= 0 ? QStringLiteral("/") : folder.left(slash));
    }
    if (m_byFolder.size() >= kMaxCachedFolders)
        m_byFolder.clear();
    m_byFolder.insert(folder, found);
    return found;
}

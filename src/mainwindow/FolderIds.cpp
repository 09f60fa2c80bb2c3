#include "mainwindow/FolderIds.h"

#include "platform/FileNames.h"

#include <QDir>
#include <sys/stat.h>

QString IdListCopy(const QString& path) {
    if (path.isEmpty())
        return {};
    return QDir::cleanPath(QDir::isAbsolutePath(path) ? path
                                                      : QDir::current().absoluteFilePath(path));
}

bool IdListEqual(const QString& a, const QString& b) {
    return IdListCopy(a) == IdListCopy(b);
}

IdListParts IdListSplit(const QString& id) {
    const QString clean = IdListCopy(id);
    if (clean.isEmpty() || clean == QLatin1String("/"))
        return {};
    const qsizetype slash = clean.lastIndexOf(QLatin1Char('/'));
    return {slash <= 0 ? QStringLiteral("/") : clean.left(slash), clean.mid(slash + 1)};
}

bool IdListIsValid(const QString& id) {
    if (id.isEmpty())
        return false;
    // stat() resolves every component from the root down, so a folder it finds is reachable.
    struct stat info {};
    return ::stat(platform::EncodeFileName(IdListCopy(id)).constData(), &info) == 0 &&
           S_ISDIR(info.st_mode);
}

QString IdListDisplayName(const QString& id) {
    const IdListParts parts = IdListSplit(id);
    return parts.last.isEmpty() ? IdListCopy(id) : parts.last;
}

bool IdListIsRoot(const QString& id) {
    return IdListCopy(id) == QLatin1String("/");
}

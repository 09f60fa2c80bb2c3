#include "platform/ShownFileNames.h"

#include "platform/FileNames.h"

#include <QFile>
#include <QStringList>
#include <dirent.h>

namespace platform {

namespace {

constexpr QChar kReplacement(0xFFFD);

// The one entry of `folder` whose shown name is `shown`; empty when none or several are.
QByteArray EntryShownAs(const QByteArray& folder, const QString& shown) {
    DIR* dir = ::opendir(folder.isEmpty() ? "/" : folder.constData());
    if (dir == nullptr)
        return {};
    QByteArray found;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (QFile::decodeName(name) == shown) {
            found = name;
            ++matches;
        }
    }
    ::closedir(dir);
    return matches == 1 ? found : QByteArray();
}

} // namespace

QString RealPathOfShown(const QString& shownPath) {
    if (!shownPath.contains(kReplacement) || !shownPath.startsWith(QLatin1Char('/')))
        return shownPath;
    const QStringList parts = shownPath.split(QLatin1Char('/'));
    QByteArray real;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString& part = parts.at(i);
        QByteArray bytes = EncodeFileName(part);
        if (part.contains(kReplacement)) {
            bytes = EntryShownAs(real, part);
            if (bytes.isEmpty())
                return shownPath;
        }
        real += '/' + bytes;
    }
    return DecodeFileName(real);
}

QString ShownPathOf(const QString& path) {
    if (!HasUndecodableBytes(path))
        return path;
    return QFile::decodeName(EncodeFileName(path));
}

} // namespace platform

#include "mainwindow/gui/NameIconProvider.h"

#include <QApplication>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStyle>

#include "support/Translation.h"

namespace {

QMimeType MimeTypeByName(const QFileInfo& info) {
    static const QMimeDatabase database;
    return database.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
}

} // namespace

QIcon NameIconProvider::icon(IconType type) const {
    // A theme lookup is slow, and views ask for every row they lay out.
    {
        const QMutexLocker lock(&m_mutex);
        const auto found = m_typeIcons.constFind(type);
        if (found != m_typeIcons.constEnd())
            return found.value();
    }
    QIcon result = LookUpIcon(type);
    const QMutexLocker lock(&m_mutex);
    m_typeIcons.insert(type, result);
    return result;
}

QIcon NameIconProvider::LookUpIcon(IconType type) const {
    QStyle* style = QApplication::style();
    switch (type) {
    case Folder:
        return QIcon::fromTheme(QStringLiteral("folder"), style->standardIcon(QStyle::SP_DirIcon));
    case Computer:
    case Desktop:
    case Trashcan:
    case Network:
    case Drive:
        return style->standardIcon(QStyle::SP_DriveHDIcon);
    case File:
        break;
    }
    return QIcon::fromTheme(QStringLiteral("text-x-generic"),
                            style->standardIcon(QStyle::SP_FileIcon));
}

QIcon NameIconProvider::icon(const QFileInfo& info) const {
    return IconFor(info.fileName(), info.isDir());
}

QIcon NameIconProvider::IconFor(const QString& name, bool folder) const {
    // Called from the file-system model's reading thread as well: no widgets, no disk reads.
    if (folder)
        return icon(Folder);
    static const QMimeDatabase database;
    const QMimeType mime = database.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    {
        const QMutexLocker lock(&m_mutex);
        const auto found = m_icons.constFind(mime.name());
        if (found != m_icons.constEnd())
            return found.value();
    }
    // Looked up without the lock: icon(File) takes it too.
    QIcon result = QIcon::fromTheme(mime.iconName());
    if (result.isNull())
        result = QIcon::fromTheme(mime.genericIconName());
    if (result.isNull())
        result = icon(File);
    const QMutexLocker lock(&m_mutex);
    m_icons.insert(mime.name(), result);
    return result;
}

QString NameIconProvider::type(const QFileInfo& info) const {
    if (info.isDir())
        return Translate(QStringLiteral("Folder"));
    return MimeTypeByName(info).comment();
}

NameIconProvider* SharedNameIconProvider() {
    static NameIconProvider* provider = new NameIconProvider;
    return provider;
}

#pragma once
// Icons and type names for the folder tree and the file list, chosen from the file's name
// alone. Qt's own provider reads the start of every file to guess its type, which costs a
// read per file in a big folder and blocks on a file that never answers (a file under /proc,
// a device behind a link).

#include <QAbstractFileIconProvider>
#include <QHash>
#include <QMutex>

class NameIconProvider : public QAbstractFileIconProvider {
public:
    QIcon icon(IconType type) const override;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;
    // The icon of an entry known by its name and kind, without looking at the disk.
    QIcon IconFor(const QString& name, bool folder) const;

private:
    QIcon LookUpIcon(IconType type) const;

    // By MIME type name and by kind; models ask from their reading threads and from the
    // interface thread.
    mutable QMutex m_mutex;
    mutable QHash<QString, QIcon> m_icons;
    mutable QHash<int, QIcon> m_typeIcons;
};

// The provider of the process. The file-system models read it from their own threads until
// they are gone, so it is never destroyed.
NameIconProvider* SharedNameIconProvider();

#include "mainwindow/gui/FileListModel.h"

#include "fileops/BackupStore.h"
#include "fileops/FileMask.h"
#include "mainwindow/gui/MarkImages.h"
#include "mainwindow/gui/NameIconProvider.h"
#include "support/Errors.h"
#include "support/Preferences.h"
#include "support/Translation.h"

#include <QFileSystemModel>
#include <QLocale>

namespace {

// Masks are checked once when the filter is set, so that filtering itself never throws.
QStringList SoundMasks(const QStringList& masks, QString& error) {
    QStringList sound;
    for (const QString& mask : masks) {
        try {
            MatchesMask(QStringLiteral("x"), mask);
            sound.append(mask);
        } catch (const KelvaneError& e) {
            if (error.isEmpty())
                error = e.message();
        }
    }
    return sound;
}

} // namespace

FileListModel::FileListModel(QObject* parent)
    : QSortFilterProxyModel(parent), m_fileSystem(new QFileSystemModel(this)),
      m_headers{QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Type"),
                QStringLiteral("Modified")},
      m_headerTips(ColumnCount) {
    m_fileSystem->setObjectName(QStringLiteral("FileSystemModel"));
    m_fileSystem->setReadOnly(true);
    m_fileSystem->setIconProvider(SharedNameIconProvider());
    SetShowHidden(true);
    setSourceModel(m_fileSystem);
    // Sorting is left to the source; the proxy only filters and keeps the source's order.
    setDynamicSortFilter(false);
    SetFileFilter(kDefaultFileFilter);
    // A file that changed on disk may have changed its marks too.
    connect(m_fileSystem, &QAbstractItemModel::dataChanged, this, [this] { ForgetMarks(); });
    connect(m_fileSystem, &QAbstractItemModel::rowsRemoved, this, [this] { ForgetMarks(); });
    connect(m_fileSystem, &QAbstractItemModel::modelReset, this, [this] { ForgetMarks(); });
}

QModelIndex FileListModel::SetFolder(const QString& folder) {
    m_shownFolder = folder;
    m_folder = folder;
    m_sourceFolder = m_fileSystem->setRootPath(m_shownFolder);
    // The entries are read at once, whether or not a view has asked for them yet.
    if (m_fileSystem->canFetchMore(m_sourceFolder))
        m_fileSystem->fetchMore(m_sourceFolder);
    invalidateRowsFilter();
    return mapFromSource(m_sourceFolder);
}

QString FileListModel::SetFileFilter(const QString& filter) {
    QString error;
    m_filter = filter;
    m_masks = SoundMasks(MaskList(filter), error);
    invalidateRowsFilter();
    return error;
}

void FileListModel::SetShowHidden(bool show) {
    QDir::Filters filters = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System;
    if (show)
        filters |= QDir::Hidden;
    if (m_fileSystem->filter() != filters)
        m_fileSystem->setFilter(filters);
}

QString FileListModel::FilePath(const QModelIndex& index) const {
    if (!index.isValid())
        return {};
    return m_fileSystem->filePath(mapToSource(index));
}

bool FileListModel::IsFolder(const QModelIndex& index) const {
    return index.isValid() && m_fileSystem->isDir(mapToSource(index));
}

FileListModel::Mark FileListModel::MarkOf(const QModelIndex& index) const {
    if (!index.isValid() || IsFolder(index))
        return NoMark;
    const QString path = FilePath(index);
    const auto found = m_marks.constFind(path);
    if (found != m_marks.constEnd())
        return found.value();
    Mark mark = NoMark;
    if (IsReadOnlyPath(path))
        mark = MarkReadOnly;
    else if (HasBackup(path))
        mark = MarkTidied;
    m_marks.insert(path, mark);
    return mark;
}

void FileListModel::RefreshMarks() {
    ForgetMarks();
    const QModelIndex root = mapFromSource(m_fileSystem->index(m_fileSystem->rootPath()));
    const int rows = rowCount(root);
    if (rows > 0)
        Q_EMIT dataChanged(index(0, ColName, root), index(rows - 1, ColName, root),
                           {Qt::DecorationRole, Qt::ToolTipRole, MarkRole});
}

QString FileListModel::SizeText(qint64 bytes) {
    const qint64 kilobytes = bytes <= 0 ? 0 : (bytes + 1023) / 1024;
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return FillTemplate(Translate(QStringLiteral("%sKB")), {locale.toString(kilobytes)});
}

QString FileListModel::MarkTipSuffix(Mark mark) {
    switch (mark) {
    case MarkReadOnly:
        return Translate(QStringLiteral(" - This file is read only and cannot be tidied"));
    case MarkTidied:
        return Translate(QStringLiteral(" - This file has been tidied and can be restored"));
    case NoMark:
        break;
    }
    return {};
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.column() > 0 ? 0 : ColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const int column = index.column();
    switch (role) {
    case PathRole:
        return FilePath(index);
    case MarkRole:
        return int(MarkOf(index));
    case Qt::ToolTipRole:
        if (column != ColName)
            return {};
        return QSortFilterProxyModel::data(index, Qt::DisplayRole).toString() +
               MarkTipSuffix(MarkOf(index));
    case Qt::DecorationRole:
        if (column != ColName)
            return {};
        return MarkedIcon(QSortFilterProxyModel::data(index, role).value<QIcon>(), MarkOf(index));
    case Qt::TextAlignmentRole:
        if (column == ColSize)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::DisplayRole:
        if (column == ColSize) {
            const QModelIndex source = mapToSource(index);
            if (m_fileSystem->isDir(source))
                return QString();
            return SizeText(m_fileSystem->size(source));
        }
        break;
    default:
        break;
    }
    return QSortFilterProxyModel::data(index, role);
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section >= 0 && section < ColumnCount) {
        if (role == Qt::DisplayRole)
            return m_headers.at(section);
        if (role == Qt::ToolTipRole)
            return m_headerTips.at(section);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(section == ColSize ? Qt::AlignRight | Qt::AlignVCenter
                                                          : Qt::AlignLeft | Qt::AlignVCenter);
    }
    return QSortFilterProxyModel::headerData(section, orientation, role);
}

bool FileListModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                  int role) {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return false;
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        m_headers[section] = value.toString();
    else if (role == Qt::ToolTipRole)
        m_headerTips[section] = value.toString();
    else
        return false;
    Q_EMIT headerDataChanged(orientation, section, section);
    return true;
}

void FileListModel::sort(int column, Qt::SortOrder order) {
    m_fileSystem->sort(column, order);
}

bool FileListModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    const QModelIndex source = m_fileSystem->index(sourceRow, 0, sourceParent);
    if (sourceParent != m_sourceFolder) {
        // Outside the shown folder only the way to it is kept: the list never maps (or asks
        // about) the rest of the file system that the source happens to hold.
        const QString path = m_fileSystem->filePath(source);
        return path == m_shownFolder || path == QLatin1String("/") ||
               m_shownFolder.startsWith(path + QLatin1Char('/'));
    }
    if (m_fileSystem->isDir(source))
        return true;
    const QString name = m_fileSystem->fileName(source);
    for (const QString& mask : m_masks)
        if (MatchesMask(name, mask))
            return true;
    return false;
}

#include "mainwindow/gui/FileListModel.h"

#include "fileops/BackupStore.h"
#include "fileops/FileMask.h"
#include "mainwindow/gui/MarkImages.h"
#include "mainwindow/gui/NameIconProvider.h"
#include "support/Errors.h"
#include "support/Preferences.h"
#include "support/Translation.h"
#include "support/gui/DisplayText.h"

#include <QFileSystemWatcher>
#include <QLocale>
#include <QSet>
#include <QTimer>
#include <algorithm>

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

// More new rows than this after a refresh are shown by a reset rather than row by row.
constexpr qsizetype kMaxRowInsertions = 1000;

} // namespace

FileListModel::FileListModel(QObject* parent)
    : QAbstractTableModel(parent), m_listing(new FolderListing(this)),
      m_watcher(new QFileSystemWatcher(this)),
      m_changed(new QTimer(this)), m_headers{QStringLiteral("Name"), QStringLiteral("Size"),
                                             QStringLiteral("Type"), QStringLiteral("Modified")},
      m_headerTips(ColumnCount) {
    QString ignored;
    m_filter = kDefaultFileFilter;
    m_masks = SoundMasks(MaskList(m_filter), ignored);
    connect(m_listing, &FolderListing::EntriesRead, this, &FileListModel::EntriesRead);
    connect(m_listing, &FolderListing::ReadFailed, this, [this](quint64 listing, int error) {
        if (listing == m_listingId)
            m_readError = qt_error_string(error);
    });
    m_changed->setSingleShot(true);
    m_changed->setInterval(200);
    connect(m_changed, &QTimer::timeout, this, &FileListModel::Refresh);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_changed,
            qOverload<>(&QTimer::start));
}

void FileListModel::SetFolder(const QString& folder) {
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    beginResetModel();
    m_folder = folder;
    m_entries.clear();
    m_marks.clear();
    endResetModel();
    if (!folder.isEmpty())
        m_watcher->addPath(folder);
    m_loading = true;
    m_refreshing = false;
    StartListing();
}

void FileListModel::Refresh() {
    if (m_folder.isEmpty())
        return;
    m_marks.clear();
    if (m_loading && m_entries.isEmpty()) {
        StartListing(); // nothing shown yet: the first read just starts over
        return;
    }
    // Rows already shown stay until the fresh read replaces them; appending that read would
    // list them twice.
    if (m_loading) {
        m_loading = false;
        if (m_sortColumn != ColName || m_sortOrder != Qt::AscendingOrder)
            sort(m_sortColumn, m_sortOrder);
    }
    m_refreshing = true;
    m_pending.clear();
    StartListing();
}

void FileListModel::StartListing() {
    m_readError.clear();
    m_listingId = m_listing->List(m_folder, m_showHidden);
}

bool FileListModel::Accepts(const FolderEntry& entry) const {
    if (entry.folder)
        return true;
    for (const QString& mask : m_masks)
        if (MatchesMask(entry.name, mask))
            return true;
    return false;
}

bool FileListModel::Before(const FolderEntry& a, const FolderEntry& b) const {
    if (a.folder != b.folder)
        return a.folder; // folders first in either order
    int order = 0;
    switch (m_sortColumn) {
    case ColSize:
        order = a.size < b.size ? -1 : a.size > b.size ? 1 : 0;
        break;
    case ColType:
        order = QString::compare(a.type, b.type, Qt::CaseInsensitive);
        break;
    case ColModified:
        order = a.modified < b.modified ? -1 : a.modified > b.modified ? 1 : 0;
        break;
    default:
        break;
    }
    if (order == 0)
        return m_sortOrder == Qt::AscendingOrder ? ListingOrder(a, b) : ListingOrder(b, a);
    return m_sortOrder == Qt::AscendingOrder ? order < 0 : order > 0;
}

void FileListModel::EntriesRead(quint64 listing, const QList<FolderEntry>& entries, bool last) {
    if (listing != m_listingId)
        return;
    QList<FolderEntry> accepted;
    accepted.reserve(entries.size());
    for (const FolderEntry& entry : entries)
        if (Accepts(entry))
            accepted.append(entry);

    if (m_refreshing) {
        m_pending += accepted;
        if (last) {
            m_refreshing = false;
            ApplyRefresh(std::exchange(m_pending, {}));
            Q_EMIT FolderLoaded();
        }
        return;
    }
    if (!accepted.isEmpty()) {
        // The listing comes in name order; another order is restored once all is there.
        beginInsertRows({}, int(m_entries.size()), int(m_entries.size() + accepted.size() - 1));
        m_entries += accepted;
        endInsertRows();
    }
    if (last) {
        m_loading = false;
        if (m_sortColumn != ColName || m_sortOrder != Qt::AscendingOrder)
            sort(m_sortColumn, m_sortOrder);
        Q_EMIT FolderLoaded();
    }
}

void FileListModel::ApplyRefresh(QList<FolderEntry> fresh) {
    QHash<QString, qsizetype> freshByName;
    for (qsizetype i = 0; i < fresh.size(); ++i)
        freshByName.insert(fresh.at(i).name, i);
    QSet<QString> present;
    qsizetype added = 0;
    for (const FolderEntry& entry : std::as_const(m_entries))
        present.insert(entry.name);
    for (const FolderEntry& entry : std::as_const(fresh))
        added += present.contains(entry.name) ? 0 : 1;
    if (added > kMaxRowInsertions) {
        beginResetModel();
        std::stable_sort(
            fresh.begin(), fresh.end(),
            [this](const FolderEntry& a, const FolderEntry& b) { return Before(a, b); });
        m_entries = std::move(fresh);
        endResetModel();
        return;
    }
    // Rows that are gone, from the bottom up, a run of neighbours at a time.
    for (qsizetype row = m_entries.size() - 1; row >= 0;) {
        if (freshByName.contains(m_entries.at(row).name)) {
            --row;
            continue;
        }
        qsizetype first = row;
        while (first > 0 && !freshByName.contains(m_entries.at(first - 1).name))
            --first;
        beginRemoveRows({}, int(first), int(row));
        m_entries.remove(first, row - first + 1);
        endRemoveRows();
        row = first - 1;
    }
    // Rows that stay take their new details.
    for (qsizetype row = 0; row < m_entries.size(); ++row) {
        const FolderEntry& now = fresh.at(freshByName.value(m_entries.at(row).name));
        if (!(now == m_entries.at(row))) {
            m_entries[row] = now;
            Q_EMIT dataChanged(index(int(row), 0), index(int(row), ColumnCount - 1));
        }
    }
    // New rows where the order puts them.
    for (const FolderEntry& entry : std::as_const(fresh)) {
        if (present.contains(entry.name))
            continue;
        const auto at = std::lower_bound(
            m_entries.begin(), m_entries.end(), entry,
            [this](const FolderEntry& a, const FolderEntry& b) { return Before(a, b); });
        const int row = int(at - m_entries.begin());
        beginInsertRows({}, row, row);
        m_entries.insert(row, entry);
        endInsertRows();
    }
    if (!m_entries.isEmpty())
        Q_EMIT dataChanged(index(0, ColName), index(int(m_entries.size() - 1), ColName),
                           {Qt::DecorationRole, Qt::ToolTipRole, MarkRole});
}

QString FileListModel::SetFileFilter(const QString& filter) {
    QString error;
    const QStringList masks = SoundMasks(MaskList(filter), error);
    if (filter != m_filter || masks != m_masks) {
        m_filter = filter;
        m_masks = masks;
        if (!m_folder.isEmpty())
            SetFolder(m_folder);
    }
    return error;
}

void FileListModel::SetShowHidden(bool show) {
    if (show == m_showHidden)
        return;
    m_showHidden = show;
    if (!m_folder.isEmpty())
        SetFolder(m_folder);
}

QString FileListModel::FilePath(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    const QString& name = m_entries.at(index.row()).name;
    return m_folder.endsWith(QLatin1Char('/')) ? m_folder + name
                                               : m_folder + QLatin1Char('/') + name;
}

bool FileListModel::IsFolder(const QModelIndex& index) const {
    return index.isValid() && index.row() < m_entries.size() && m_entries.at(index.row()).folder;
}

int FileListModel::RowOf(const QString& path) const {
    for (int row = 0; row < m_entries.size(); ++row)
        if (FilePath(index(row, 0)) == path)
            return row;
    return -1;
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
    Refresh();
    if (!m_entries.isEmpty())
        Q_EMIT dataChanged(index(0, ColName), index(int(m_entries.size() - 1), ColName),
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

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_entries.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    // Views ask for the data of no item at all (Ctrl+C with nothing current): no data.
    if (!index.isValid() || !checkIndex(index, CheckIndexOption::ParentIsInvalid))
        return {};
    const FolderEntry& entry = m_entries.at(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case ColName:
            return DisplayText(entry.name);
        case ColSize:
            return entry.folder ? QString() : SizeText(entry.size);
        case ColType:
            return entry.type;
        case ColModified:
            return QLocale().toString(entry.modified, QLocale::ShortFormat);
        default:
            return {};
        }
    case Qt::DecorationRole:
        if (column != ColName)
            return {};
        return MarkedIcon(SharedNameIconProvider()->IconFor(entry.name, entry.folder),
                          MarkOf(index));
    case Qt::ToolTipRole:
        return column == ColName ? DisplayText(entry.name) + MarkTipSuffix(MarkOf(index))
                                 : QVariant();
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(column == ColSize ? Qt::AlignRight | Qt::AlignVCenter
                                                     : Qt::AlignLeft | Qt::AlignVCenter);
    case PathRole:
        return FilePath(index);
    case MarkRole:
        return int(MarkOf(index));
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return m_headers.at(section);
    if (role == Qt::ToolTipRole)
        return m_headerTips.at(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(section == ColSize ? Qt::AlignRight | Qt::AlignVCenter
                                                      : Qt::AlignLeft | Qt::AlignVCenter);
    return {};
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
    if (column < 0 || column >= ColumnCount)
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<QString> names;
    names.reserve(before.size());
    for (const QModelIndex& index : before)
        names.append(m_entries.at(index.row()).name);
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [this](const FolderEntry& a, const FolderEntry& b) { return Before(a, b); });
    QHash<QString, int> rowByName;
    for (int row = 0; row < m_entries.size(); ++row)
        rowByName.insert(m_entries.at(row).name, row);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after.append(index(rowByName.value(names.at(i)), before.at(i).column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

#pragma once
// The file list's model: the entries of one folder, read off the interface thread by
// FolderListing and watched for changes, filtered by the file-type masks (folders always
// pass), with the columns Name, Size ("%sKB"), Type and Modified and the file-state marks
// (read-only, tidied) of each file.

#include "mainwindow/FolderListing.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>

class QFileSystemWatcher;
class QTimer;

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColName = 0, ColSize, ColType, ColModified, ColumnCount };
    enum Role {
        MarkRole = Qt::UserRole + 100, // Mark as int
        PathRole,                      // the item's path
    };
    enum Mark { NoMark = -1, MarkReadOnly = 0, MarkTidied = 1 };

    explicit FileListModel(QObject* parent = nullptr);

    // Shows `folder`: the list empties at once and fills as the entries are read.
    void SetFolder(const QString& folder);
    QString Folder() const { return m_folder; }
    // Reads the folder again and applies the differences (rows that stay keep their
    // selection); the marks are looked at again.
    void Refresh();
    // No read of the folder is under way.
    bool Loaded() const { return !m_loading && !m_refreshing; }
    // Why the folder's last read failed (the system's words); empty when it was read.
    QString ReadError() const { return m_readError; }

    // ';'-separated masks; answers the first malformed mask's error text (that mask then
    // matches nothing), empty when all are sound. The folder is read again.
    QString SetFileFilter(const QString& filter);
    QString FileFilter() const { return m_filter; }
    void SetShowHidden(bool show);

    QString FilePath(const QModelIndex& index) const;
    bool IsFolder(const QModelIndex& index) const;
    // The row of the item with this path, -1 when it is not listed.
    int RowOf(const QString& path) const;
    // The state mark of an item, looked at on the disk once and then kept.
    Mark MarkOf(const QModelIndex& index) const;
    // Looks at every mark again (after a run changed files and backups).
    void RefreshMarks();

    // "%sKB": whole kilobytes rounded up, with thousands separators.
    static QString SizeText(qint64 bytes);
    // The info-tip suffix of a mark, translated; empty for none.
    static QString MarkTipSuffix(Mark mark);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

Q_SIGNALS:
    // Every entry of the folder has been read (after SetFolder or Refresh).
    void FolderLoaded();

private:
    bool Accepts(const FolderEntry& entry) const;
    bool Before(const FolderEntry& a, const FolderEntry& b) const;
    void StartListing();
    void EntriesRead(quint64 listing, const QList<FolderEntry>& entries, bool last);
    void ApplyRefresh(QList<FolderEntry> fresh);

    FolderListing* m_listing;
    QFileSystemWatcher* m_watcher;
    QTimer* m_changed; // gathers a burst of changes into one refresh
    QString m_folder;
    QString m_filter;
    QStringList m_masks;
    bool m_showHidden = true;
    QList<FolderEntry> m_entries;
    QList<FolderEntry> m_pending; // a refresh's entries until its last chunk
    quint64 m_listingId = 0;
    bool m_loading = false;
    bool m_refreshing = false;
    QString m_readError;
    int m_sortColumn = ColName;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QStringList m_headers;
    QStringList m_headerTips;
    mutable QHash<QString, Mark> m_marks;
};

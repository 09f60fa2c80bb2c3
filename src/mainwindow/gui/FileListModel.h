#pragma once
// The file list's model: the entries of one folder from Qt's file-system model (which reads
// the disk off the interface thread and watches for changes), filtered by the file-type masks
// (folders always pass) and cut down to the folder and the way to it, with the columns Name, Size ("%sKB"), Type and Modified and the
// file-state marks (read-only, tidied) on each file.

#include <QHash>
#include <QPersistentModelIndex>
#include <QSortFilterProxyModel>
#include <QStringList>

class QFileSystemModel;

class FileListModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    enum Column { ColName = 0, ColSize, ColType, ColModified, ColumnCount };
    enum Role {
        MarkRole = Qt::UserRole + 100, // Mark as int
        PathRole,                      // the item's real path
    };
    enum Mark { NoMark = -1, MarkReadOnly = 0, MarkTidied = 1 };

    explicit FileListModel(QObject* parent = nullptr);

    QFileSystemModel* FileSystem() const { return m_fileSystem; }

    // Shows `folder` (a real path); answers the list's root index for it, invalid when the
    // folder cannot be shown.
    QModelIndex SetFolder(const QString& folder);
    QString Folder() const { return m_folder; }

    // ';'-separated masks; answers the first malformed mask's error text (that mask then
    // matches nothing), empty when all are sound.
    QString SetFileFilter(const QString& filter);
    QString FileFilter() const { return m_filter; }
    void SetShowHidden(bool show);

    // The real path of an item (undecodable bytes kept), empty for an invalid index.
    QString FilePath(const QModelIndex& index) const;
    bool IsFolder(const QModelIndex& index) const;
    // The state mark of an item, looked at on the disk once and then kept.
    Mark MarkOf(const QModelIndex& index) const;
    // Looks at every mark again (after a run changed files and backups).
    void RefreshMarks();

    // "%sKB": whole kilobytes rounded up, with thousands separators.
    static QString SizeText(qint64 bytes);
    // The info-tip suffix of a mark, translated; empty for none.
    static QString MarkTipSuffix(Mark mark);

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    // Sorting is the file-system model's own (folders first); the list keeps its order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    void ForgetMarks() { m_marks.clear(); }

    QFileSystemModel* m_fileSystem;
    QPersistentModelIndex m_sourceFolder; // the shown folder in the source
    QString m_shownFolder;
    QString m_folder;
    QString m_filter;
    QStringList m_masks;
    QStringList m_headers;
    QStringList m_headerTips;
    mutable QHash<QString, Mark> m_marks;
};

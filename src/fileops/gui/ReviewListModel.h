#pragma once
// The Review Changes window's list: one row per file that tidying would change, its check box
// in the first column, then its folder (relative to the folder the review started in), the
// changed lines and the Tidy messages. Rows come as the review list grows.

#include <QAbstractTableModel>

class ReviewList;

class ReviewListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColName, ColFolder, ColChangedLines, ColMessages, ColumnCount };

    explicit ReviewListModel(ReviewList& list, QObject* parent = nullptr);

    // Folders are shown relative to `base` (the folder the review started in).
    void SetBase(const QString& base);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    QString ShownFolder(int row) const;

    ReviewList& m_list;
    QString m_base;
};

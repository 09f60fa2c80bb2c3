#include "fileops/gui/ReviewListModel.h"

#include "fileops/ReviewList.h"
#include "support/Translation.h"
#include "support/gui/DisplayText.h"

namespace {

// The column captions belong to the window.
const QString kSection = QStringLiteral("TFormReviewChanges");

} // namespace

ReviewListModel::ReviewListModel(ReviewList& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list) {
    connect(&list, &ReviewList::AboutToAdd, this, [this](qsizetype first, qsizetype last) {
        beginInsertRows({}, int(first), int(last));
    });
    connect(&list, &ReviewList::Added, this, [this] { endInsertRows(); });
    connect(&list, &ReviewList::AboutToClear, this, [this] { beginResetModel(); });
    connect(&list, &ReviewList::Cleared, this, [this] { endResetModel(); });
    connect(&list, &ReviewList::ChecksChanged, this, [this](qsizetype first, qsizetype last) {
        Q_EMIT dataChanged(index(int(first), ColName), index(int(last), ColName),
                           {Qt::CheckStateRole});
    });
}

void ReviewListModel::SetBase(const QString& base) {
    m_base = base;
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, ColFolder), index(rowCount() - 1, ColFolder));
}

int ReviewListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_list.Count());
}

int ReviewListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString ReviewListModel::ShownFolder(int row) const {
    const QString folder = m_list.Folder(row);
    if (m_base.isEmpty() || m_base == QLatin1String("/"))
        return folder;
    if (folder == m_base)
        return QStringLiteral(".");
    if (folder.startsWith(m_base + QLatin1Char('/')))
        return folder.mid(m_base.size() + 1);
    return folder;
}

QVariant ReviewListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case ColName:
            return DisplayText(m_list.Name(row));
        case ColFolder:
            return DisplayText(ShownFolder(row));
        case ColChangedLines:
            return m_list.ChangedLines(row);
        case ColMessages:
            return m_list.Messages(row);
        }
        break;
    case Qt::ToolTipRole:
        return DisplayText(m_list.Path(row));
    case Qt::CheckStateRole:
        if (index.column() == ColName)
            return m_list.Checked(row) ? Qt::Checked : Qt::Unchecked;
        break;
    case Qt::TextAlignmentRole:
        if (index.column() == ColChangedLines || index.column() == ColMessages)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        break;
    default:
        break;
    }
    return {};
}

QVariant ReviewListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case ColName:
        return Translate(QStringLiteral("Name"), kSection);
    case ColFolder:
        return Translate(QStringLiteral("Folder"), kSection);
    case ColChangedLines:
        return Translate(QStringLiteral("Changed Lines"), kSection);
    case ColMessages:
        return Translate(QStringLiteral("Messages"), kSection);
    }
    return {};
}

Qt::ItemFlags ReviewListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == ColName)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool ReviewListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != ColName || role != Qt::CheckStateRole)
        return false;
    m_list.SetChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

// Folder browsing in the main window: the tree's folder, the file list that follows it, the
// selection, Back, Forward and Up over the navigation history, and finding items again.
#include "mainwindow/gui/TFormKelvane.h"

#include "mainwindow/FolderIds.h"
#include "mainwindow/IdleUpdates.h"
#include "mainwindow/gui/FileListModel.h"
#include "support/Translation.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QToolBar>
#include <QToolTip>
#include <QTreeView>

void TFormKelvane::ConnectBrowsing() {
    connect(ShellTreeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { TreeFolderChanged(current); });
    connect(ShellListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TFormKelvane::ListSelectionChanged);
    connect(ShellListView, &QAbstractItemView::activated, this, &TFormKelvane::ListActivated);
    // An item asked for before its folder was read is selected once it is there.
    connect(m_listModel->FileSystem(), &QFileSystemModel::directoryLoaded, this,
            [this] { TrySelectPending(); });
}

void TFormKelvane::GoToFolder(const QString& path) {
    QString folder = IdListCopy(path);
    if (folder.isEmpty())
        folder = QStringLiteral("/");
    QModelIndex index = m_treeModel->index(folder);
    // A folder that is gone, or hidden now, gives way to the nearest one the tree shows.
    while (!index.isValid() || !IdListIsValid(folder)) {
        if (IdListIsRoot(folder))
            return;
        folder = IdListSplit(folder).parent;
        index = m_treeModel->index(folder);
    }
    if (index == ShellTreeView->currentIndex() && IdListEqual(folder, m_currentFolder))
        return;
    // Only the way to the folder is opened; the folder itself stays as the user left it.
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        ShellTreeView->expand(parent);
    ShellTreeView->setCurrentIndex(index);
    ShellTreeView->scrollTo(index);
}

void TFormKelvane::TreeFolderChanged(const QModelIndex& current) {
    if (!current.isValid())
        return;
    const QString folder = m_treeModel->filePath(current);
    if (RecordHistory)
        m_history.AddCopy(folder);
    m_currentFolder = IdListCopy(folder);
    cbAddress->setEditText(m_currentFolder);
    SetStatusText(m_currentFolder);
    ShowFolderInList(m_currentFolder);
    m_idle->Invalidate();
}

void TFormKelvane::ShowFolderInList(const QString& folder) {
    ShellListView->selectionModel()->clear();
    m_selected.Clear();
    ShellListView->setRootIndex(m_listModel->SetFolder(folder));
}

void TFormKelvane::ListSelectionChanged(const QItemSelection& selected,
                                        const QItemSelection& deselected) {
    QStringList gone;
    for (const QModelIndex& index : deselected.indexes())
        if (index.column() == FileListModel::ColName)
            gone.append(m_listModel->FilePath(index));
    m_selected.ItemsDeselected(gone);
    for (const QModelIndex& index : selected.indexes()) {
        if (index.column() != FileListModel::ColName)
            continue;
        const QString path = m_listModel->FilePath(index);
        if (m_selected.ItemSelected(path))
            cbAddress->setEditText(path);
    }
    m_idle->Invalidate();
}

void TFormKelvane::ListActivated(const QModelIndex& index) {
    // Opening a folder of the list goes into it, as in any file browser; a file is viewed.
    if (m_listModel->IsFolder(index)) {
        GoToFolder(m_listModel->FilePath(index));
    } else if (m_openers.openDocument) {
        m_openers.openDocument(m_listModel->FilePath(index));
    }
}

QList<SelectedItem> TFormKelvane::SelectedItems() const {
    QModelIndexList rows = ShellListView->selectionModel()->selectedRows(FileListModel::ColName);
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QList<SelectedItem> items;
    items.reserve(rows.size());
    for (const QModelIndex& index : rows)
        items.append({m_listModel->FilePath(index), true, m_listModel->IsFolder(index)});
    return items;
}

std::optional<SelectedItem> TFormKelvane::TreeFolder() const {
    if (!ShellTreeView->currentIndex().isValid() || m_currentFolder.isEmpty())
        return std::nullopt;
    return SelectedItem{m_currentFolder, true, true};
}

QString TFormKelvane::FileFilter() const {
    return m_listModel->FileFilter();
}

void TFormKelvane::SelectFile(const QString& path) {
    m_pendingSelection = IdListCopy(path);
    TrySelectPending();
}

void TFormKelvane::TrySelectPending() {
    if (m_pendingSelection.isEmpty())
        return;
    const QModelIndex source =
        m_listModel->FileSystem()->index(m_pendingSelection);
    const QModelIndex index = m_listModel->mapFromSource(source);
    if (!index.isValid() || index.parent() != ShellListView->rootIndex())
        return;
    m_pendingSelection.clear();
    ShellListView->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ShellListView->scrollTo(index);
}

void TFormKelvane::LocatePath(const QString& path) {
    const QFileInfo info(path);
    if (info.isFile()) {
        GoToFolder(info.absolutePath());
        SelectFile(info.absoluteFilePath());
    } else if (info.isDir()) {
        GoToFolder(info.absoluteFilePath());
    }
}

void TFormKelvane::GoClick() {
    LocatePath(cbAddress->currentText().trimmed());
}

void TFormKelvane::ReselectAfterRun(QStringList& reselectPaths) {
    m_listModel->RefreshMarks();
    if (reselectPaths.isEmpty())
        return;
    const QModelIndex root = ShellListView->rootIndex();
    const int rows = m_listModel->rowCount(root);
    QStringList itemPaths;
    itemPaths.reserve(rows);
    for (int row = 0; row < rows; ++row)
        itemPaths.append(m_listModel->FilePath(m_listModel->index(row, 0, root)));
    QItemSelection selection;
    for (const qsizetype row : ReselectRows(itemPaths, reselectPaths)) {
        const QModelIndex index = m_listModel->index(int(row), 0, root);
        selection.select(index, index);
    }
    ShellListView->selectionModel()->select(
        selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    reselectPaths.clear();
}

void TFormKelvane::HistoryMove(const QString& entry) {
    NavigationTarget = entry;
    RecordHistory = false;
    struct Restore {
        TFormKelvane* window;
        ~Restore() {
            window->NavigationTarget.clear();
            window->RecordHistory = true;
        }
    } restore{this};
    GoToFolder(entry);
}

void TFormKelvane::actNavBackExecute() {
    if (const std::optional<QString> entry = m_history.Back(1))
        HistoryMove(*entry);
    m_idle->Invalidate();
}

void TFormKelvane::actNavForwardExecute() {
    if (const std::optional<QString> entry = m_history.Forward(1))
        HistoryMove(*entry);
    m_idle->Invalidate();
}

void TFormKelvane::actNavUpExecute() {
    const QModelIndex current = ShellTreeView->currentIndex();
    if (current.isValid() && current.parent().isValid())
        ShellTreeView->setCurrentIndex(current.parent());
    m_idle->Invalidate();
}

QString TFormKelvane::NavigationHint(int offset) const {
    const std::optional<QString> entry = m_history.Peek(offset);
    if (!entry)
        return {};
    const QString name = IdListDisplayName(*entry);
    if (name.isEmpty())
        return {};
    const QString format = offset < 0 ? QStringLiteral("Back to %s") : QStringLiteral("Forward to %s");
    return FillTemplate(Translate(format), {name});
}

bool TFormKelvane::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && tbTidyToolbar != nullptr) {
        const int offset = watched == tbTidyToolbar->widgetForAction(actNavBack)      ? -1
                           : watched == tbTidyToolbar->widgetForAction(actNavForward) ? 1
                                                                                       : 0;
        if (offset != 0) {
            const QString hint = NavigationHint(offset);
            const auto* help = static_cast<QHelpEvent*>(event);
            if (hint.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), hint, static_cast<QWidget*>(watched));
            return true;
        }
    }
    if (ShellListView != nullptr && watched == ShellListView->viewport() &&
        event->type() == QEvent::MouseMove) {
        const auto* move = static_cast<QMouseEvent*>(event);
        const QModelIndex index = ShellListView->indexAt(move->position().toPoint());
        SetStatusText(index.isValid() ? m_listModel->FilePath(index) : QString());
    }
    return QMainWindow::eventFilter(watched, event);
}

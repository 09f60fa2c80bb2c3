// Folder browsing in the main window: the tree's folder, the file list that follows it, the
// selection, Back, Forward and Up over the navigation history, and finding items again.
#include "mainwindow/gui/TFormKelvane.h"

#include "mainwindow/FolderIds.h"
#include "mainwindow/IdleUpdates.h"
#include "mainwindow/gui/FileListColumns.h"
#include "mainwindow/gui/FileListModel.h"
#include "mainwindow/gui/FolderTreeModel.h"
#include "mainwindow/gui/TIEAddress.h"
#include "platform/FileFunctions.h"
#include "support/Translation.h"
#include "support/gui/DisplayText.h"

#include <QAction>
#include <QEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSet>
#include <QToolBar>
#include <QToolTip>
#include <QTreeView>

void TFormKelvane::ConnectBrowsing() {
    connect(ShellTreeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { TreeFolderChanged(current); });
    connect(ShellListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TFormKelvane::ListSelectionChanged);
    connect(ShellListView, &QAbstractItemView::activated, this, &TFormKelvane::ListActivated);
    // Items asked for before the folder was read are selected once it has been.
    connect(m_listModel, &FileListModel::FolderLoaded, this, [this] {
        m_listColumns->FitContents();
        UpdateListNote();
        TrySelectPending();
        if (!m_reselectLater.isEmpty())
            ReselectRowsOf(std::exchange(m_reselectLater, {}), QItemSelectionModel::Select);
    });
}

void TFormKelvane::GoToFolder(const QString& path) {
    QString folder = IdListCopy(path);
    if (folder.isEmpty())
        folder = QStringLiteral("/");
    QModelIndex index = m_treeModel->IndexOf(folder);
    // A folder that is gone, or hidden now, gives way to the nearest one the tree shows.
    while (!index.isValid()) {
        if (IdListIsRoot(folder))
            return;
        folder = IdListSplit(folder).parent;
        index = m_treeModel->IndexOf(folder);
    }
    if (index == ShellTreeView->currentIndex() && IdListEqual(folder, m_currentFolder))
        return;
    // Only the way to the folder is opened; the folder itself stays as the user left it.
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        ShellTreeView->expand(parent);
    ShellTreeView->setCurrentIndex(index);
    m_revealTreeFolder = true;
    ShowTreeFolder(index);
}

void TFormKelvane::FitTreeSideways() {
    const QWidget* viewport = ShellTreeView->viewport();
    const QHeaderView* header = ShellTreeView->header();
    const int x = std::clamp(header->sectionViewportPosition(0) + header->sectionSize(0) - 1, 0,
                             std::max(0, viewport->width() - 1));
    int leftmost = 0;
    for (QModelIndex row = ShellTreeView->indexAt(QPoint(x, 1)); row.isValid();
         row = ShellTreeView->indexBelow(row)) {
        const QRect item = ShellTreeView->visualRect(row);
        if (item.top() >= viewport->height())
            break;
        // A row begins with its sign that opens it, one indentation left of its name.
        leftmost = std::min(leftmost, item.left() - ShellTreeView->indentation());
    }
    // Only ever further left.
    if (leftmost < 0) {
        QScrollBar* bar = ShellTreeView->horizontalScrollBar();
        bar->setValue(bar->value() + leftmost);
    }
}

void TFormKelvane::ShowTreeFolder(const QModelIndex& index) {
    if (!index.isValid())
        return;
    ShellTreeView->scrollTo(index);
    // Qt scrolls a column wider than the view to its left edge; the folder's own name may lie
    // far to the right of that.
    const QRect item = ShellTreeView->visualRect(index);
    const int width = ShellTreeView->viewport()->width();
    QScrollBar* bar = ShellTreeView->horizontalScrollBar();
    if (item.left() < 0 || item.left() + std::min(item.width(), width / 2) > width)
        bar->setValue(bar->value() + item.left() - ShellTreeView->indentation());
}

void TFormKelvane::TreeFolderChanged(const QModelIndex& current) {
    if (!current.isValid())
        return;
    const QString folder = m_treeModel->FilePath(current);
    // Read at once: its sign shows whether it opens onto folders, and it is watched.
    if (m_treeModel->canFetchMore(current))
        m_treeModel->fetchMore(current);
    if (RecordHistory)
        m_history.AddCopy(folder);
    m_currentFolder = IdListCopy(folder);
    cbAddress->setEditText(DisplayText(m_currentFolder));
    SetStatusText(m_currentFolder);
    ShowFolderInList(m_currentFolder);
    m_idle->Invalidate();
}

void TFormKelvane::UpdateListNote() {
    const QString error = m_listModel->ReadError();
    if (error.isEmpty()) {
        lblListNote->hide();
        return;
    }
    lblListNote->setText(
        FillTemplate(Translate(QStringLiteral("This folder cannot be read: %s")), {error}));
    lblListNote->setGeometry(ShellListView->viewport()->rect());
    lblListNote->show();
}

void TFormKelvane::ShowFolderInList(const QString& folder) {
    lblListNote->hide();
    ShellListView->selectionModel()->clear();
    m_selected.Clear();
    m_pendingSelection.clear();
    m_reselectLater.clear();
    m_listModel->SetFolder(folder);
}

void TFormKelvane::ListSelectionChanged(const QItemSelection& selected,
                                        const QItemSelection& deselected) {
    // Range by range: selecting all of a big folder must not build an index per cell.
    QStringList gone;
    for (const QItemSelectionRange& range : deselected)
        if (range.left() == FileListModel::ColName)
            for (int row = range.top(); row <= range.bottom(); ++row)
                gone.append(m_listModel->FilePath(m_listModel->index(row, 0)));
    m_selected.ItemsDeselected(gone);
    for (const QItemSelectionRange& range : selected) {
        if (range.left() != FileListModel::ColName)
            continue;
        for (int row = range.top(); row <= range.bottom(); ++row) {
            const QString path = m_listModel->FilePath(m_listModel->index(row, 0));
            if (m_selected.ItemSelected(path))
                cbAddress->setEditText(DisplayText(path));
        }
    }
    m_idle->Invalidate();
}

void TFormKelvane::ListActivated(const QModelIndex& index) {
    // Opening a folder of the list goes into it, as in any file browser; a file is viewed.
    const QString path = m_listModel->FilePath(index);
    if (m_listModel->IsFolder(index))
        GoToFolder(path);
    else if (!(m_openers.openDocument && m_openers.openDocument(path)))
        SayNotOpened({path}, QStringLiteral("Kelvane found no program to open \"%s\"."));
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
    const int row = m_listModel->RowOf(m_pendingSelection);
    if (row < 0) {
        if (m_listModel->Loaded())
            m_pendingSelection.clear(); // read, and not there
        return;
    }
    m_pendingSelection.clear();
    const QModelIndex index = m_listModel->index(row, 0);
    ShellListView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
    ShellListView->scrollTo(index);
}

void TFormKelvane::LocatePath(const QString& path) {
    if (path.isEmpty())
        return;
    if (platform::FileExists(path)) {
        const QString file = IdListCopy(path);
        GoToFolder(IdListSplit(file).parent);
        SelectFile(file);
    } else if (platform::FolderExists(path)) {
        GoToFolder(IdListCopy(path));
    } else if (const QModelIndex node = FindTreeCaption(path); node.isValid()) {
        ShellTreeView->setCurrentIndex(node);
        ShellTreeView->scrollTo(node);
    }
}

QModelIndex TFormKelvane::FindTreeCaption(const QString& caption) const {
    // Depth first through the nodes the tree has read so far; nothing is read for the search.
    QList<QModelIndex> pending;
    for (int row = m_treeModel->rowCount() - 1; row >= 0; --row)
        pending.append(m_treeModel->index(row, 0));
    while (!pending.isEmpty()) {
        const QModelIndex node = pending.takeLast();
        if (!node.isValid())
            continue;
        if (node.data(Qt::DisplayRole).toString().compare(caption, Qt::CaseInsensitive) == 0)
            return node;
        for (int row = m_treeModel->rowCount(node) - 1; row >= 0; --row)
            pending.append(m_treeModel->index(row, 0, node));
    }
    return {};
}

void TFormKelvane::ReselectAfterRun(QStringList& reselectPaths) {
    // The list is read from disk again and selects only what the run asks for: nothing at all
    // after Remove Backups. The rows there now are selected at once (rows that stay keep their
    // selection through the refresh) and paths that only appear then once it has been read.
    const QStringList wanted = std::exchange(reselectPaths, {});
    if (wanted.isEmpty()) {
        ShellListView->selectionModel()->clearSelection();
        m_reselectLater.clear();
    } else {
        m_reselectLater = ReselectRowsOf(wanted, QItemSelectionModel::ClearAndSelect);
    }
    m_listModel->Refresh();
}

QStringList TFormKelvane::ReselectRowsOf(const QStringList& paths,
                                         QItemSelectionModel::SelectionFlags mode) {
    if (paths.isEmpty())
        return {};
    const int rows = m_listModel->rowCount();
    QStringList itemPaths;
    itemPaths.reserve(rows);
    for (int row = 0; row < rows; ++row)
        itemPaths.append(m_listModel->FilePath(m_listModel->index(row, 0)));
    QItemSelection selection;
    QSet<QString> found;
    for (const qsizetype row : ReselectRows(itemPaths, paths)) {
        const QModelIndex index = m_listModel->index(int(row), 0);
        selection.select(index, index);
        found.insert(itemPaths.at(row));
    }
    ShellListView->selectionModel()->select(selection, mode | QItemSelectionModel::Rows);
    QStringList missing;
    for (const QString& path : paths)
        if (!found.contains(path))
            missing.append(path);
    return missing;
}

void TFormKelvane::HistoryMove(const QString& entry) {
    NavigationTarget = entry;
    const NoHistoryScope noHistory(this);
    struct ClearTarget {
        QString& target;
        ~ClearTarget() { target.clear(); }
    } clearTarget{NavigationTarget};
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

void TFormKelvane::actFocusAddressExecute() {
    if (twAddressBar->isHidden()) {
        twAddressBar->show();
        actViewAddressBar->setChecked(true);
    }
    cbAddress->setFocus(Qt::ShortcutFocusReason);
    cbAddress->lineEdit()->selectAll();
}

void TFormKelvane::actRefreshExecute() {
    m_listModel->Refresh();
    m_treeModel->Reread(m_treeModel->IndexOf(m_currentFolder));
    m_idle->Invalidate();
}

void TFormKelvane::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace && event->modifiers() == Qt::NoModifier) {
        if (actNavBack->isEnabled())
            actNavBack->trigger();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

QString TFormKelvane::NavigationHint(int offset) const {
    const std::optional<QString> entry = m_history.Peek(offset);
    if (!entry)
        return {};
    const QString name = IdListDisplayName(*entry);
    if (name.isEmpty())
        return {};
    const QString format =
        offset < 0 ? QStringLiteral("Back to %s") : QStringLiteral("Forward to %s");
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
        event->type() == QEvent::Resize)
        lblListNote->setGeometry(ShellListView->viewport()->rect());
    if (ShellListView != nullptr && watched == ShellListView->viewport() &&
        event->type() == QEvent::MouseMove) {
        const auto* move = static_cast<QMouseEvent*>(event);
        const QModelIndex index = ShellListView->indexAt(move->position().toPoint());
        SetStatusText(index.isValid() ? m_listModel->FilePath(index) : QString());
    }
    return QMainWindow::eventFilter(watched, event);
}

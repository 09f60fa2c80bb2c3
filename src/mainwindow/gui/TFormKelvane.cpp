// The main window's construction, its areas (client area, error pane, status bar), the
// preferences it applies and the settings it keeps.
#include "mainwindow/gui/TFormKelvane.h"

#include "fileops/gui/TFormFileList.h"
#include "fileops/gui/TFormFileProgress.h"
#include "mainwindow/FolderIds.h"
#include "mainwindow/IdleUpdates.h"
#include "mainwindow/MainSettings.h"
#include "mainwindow/SelectionCheck.h"
#include "mainwindow/gui/FileListColumns.h"
#include "mainwindow/gui/FileListModel.h"
#include "mainwindow/gui/FolderTreeModel.h"
#include "mainwindow/gui/TErrorPane.h"
#include "mainwindow/gui/TErrorTabBar.h"
#include "support/ApplicationTitle.h"
#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/SettingsFile.h"
#include "support/gui/DisplayText.h"
#include "support/gui/FormSettings.h"
#include "support/gui/Scintilla.h"
#include "support/gui/TFormKelvaneOptions.h"
#include "support/gui/ToolbarSettings.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

TFormKelvane* g_formKelvane = nullptr;

constexpr int kSplitterWidth = 4;
constexpr int kDesignErrorPaneHeight = 127;
// Enabling rules that read the disk are looked at again at most this often while idle.
constexpr int kIdleRecheckMs = 250;

} // namespace

TFormKelvane* FormKelvane() {
    return g_formKelvane;
}

TFormKelvane::TFormKelvane(QWidget* parent)
    : QMainWindow(parent), m_openers(MainWindowOpeners::Desktop()) {
    setObjectName(QStringLiteral("FormKelvane"));
    // The untranslated title; translation gives the window its caption in its own section.
    setWindowTitle(kApplicationTitle);
    setWindowIcon(QIcon::fromTheme(QStringLiteral("kelvane")));
    // With nothing stored, about three quarters of the screen, centred; never smaller than the
    // window's design size unless the screen is.
    QSize size(641, 554);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        size = (area.size() * 3 / 4).expandedTo(size).boundedTo(area.size());
        resize(size);
        move(area.center() - rect().center());
    } else {
        resize(size);
    }

    m_errorPaneHeight = kDesignErrorPaneHeight;
    m_idle = new IdleUpdates([this] { UpdateActions(); }, kIdleRecheckMs, this);
    m_selectionCheck = new SelectionCheck(this);
    connect(m_selectionCheck, &SelectionCheck::Checked, this, &TFormKelvane::UpdateActions);
    CreateActions();
    CreateClientArea();
    CreateMenus();
    CreateToolbars();
    CreateContextMenus();
    CreateErrorPane();
    CreateStatusBar();
    ConnectBrowsing();

    auto command = [this](void (BatchCommands::*run)()) {
        return [this, run] {
            if (BatchCommands* commands = Commands())
                (commands->*run)();
        };
    };
    m_batch = {command(&BatchCommands::Tidy),
               command(&BatchCommands::Validate),
               command(&BatchCommands::Restore),
               command(&BatchCommands::RemoveBackups),
               command(&BatchCommands::FolderTidy),
               command(&BatchCommands::FolderRestore),
               command(&BatchCommands::FolderRemoveBackups),
               [this] { actReviewChangesExecute(); }};

    // The tree starts at the user's home folder; the start-up moves it to the stored one.
    GoToFolder(QDir::homePath());
    ShellListView->setFocus();
    if (g_formKelvane == nullptr)
        g_formKelvane = this;
}

TFormKelvane::~TFormKelvane() {
    disconnect(qApp, &QApplication::focusChanged, this, nullptr); // fires while QWidget goes
    if (g_formKelvane == this)
        g_formKelvane = nullptr;
    ShellListView->selectionModel()->clear();
    m_selected.Clear();
    // A window that never started (a command-line job ran instead) keeps the stored state.
    if (m_settingsLoaded) {
        try {
            SaveMainSettings();
        } catch (const KelvaneError& error) {
            ShowError(error.message());
        }
    }
    m_history.Clear();
}

void TFormKelvane::CreateClientArea() {
    Splitter2 = new QSplitter(Qt::Vertical, this);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setHandleWidth(kSplitterWidth);
    Splitter2->setChildrenCollapsible(false);

    Splitter1 = new QSplitter(Qt::Horizontal, Splitter2);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(kSplitterWidth);
    Splitter1->setChildrenCollapsible(false);

    m_listModel = new FileListModel(this);
    m_listModel->setObjectName(QStringLiteral("FileListModel"));
    m_treeModel = new FolderTreeModel(QStringLiteral("/"), this);
    m_treeModel->setObjectName(QStringLiteral("FolderTreeModel"));

    ShellTreeView = new QTreeView(Splitter1);
    ShellTreeView->setObjectName(QStringLiteral("ShellTreeView"));
    ShellTreeView->setModel(m_treeModel);
    ShellTreeView->setHeaderHidden(true);
    ShellTreeView->setIndentation(19);
    ShellTreeView->setUniformRowHeights(true);
    ShellTreeView->setContextMenuPolicy(Qt::CustomContextMenu);
    // Deep folders scroll sideways rather than losing their names in a narrow tree.
    ShellTreeView->header()->setStretchLastSection(false);
    ShellTreeView->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    ShellTreeView->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // An arrow of the bar moves by one level of the tree, not half the view as Qt's default.
    ShellTreeView->horizontalScrollBar()->setSingleStep(19);
    // The way to a folder the window went to is read bit by bit: the folder is kept in sight
    // meanwhile, until the user scrolls the tree or the way has been read.
    connect(m_treeModel, &FolderTreeModel::FolderLoaded, this, [this](const QString& folder) {
        // Once the view has laid out the new rows (and perhaps a scroll bar that takes room).
        if (m_revealTreeFolder && m_currentFolder.startsWith(folder))
            QMetaObject::invokeMethod(
                this, [this] { ShowTreeFolder(ShellTreeView->currentIndex()); },
                Qt::QueuedConnection);
        if (m_treeModel->Idle())
            m_revealTreeFolder = false;
    });
    connect(ShellTreeView->horizontalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this] { m_revealTreeFolder = false; });
    connect(ShellTreeView->verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this] {
        m_revealTreeFolder = false;
        // Once the scroll has moved the rows.
        QMetaObject::invokeMethod(this, &TFormKelvane::FitTreeSideways, Qt::QueuedConnection);
    });

    ShellListView = new QTreeView(Splitter1);
    ShellListView->setObjectName(QStringLiteral("ShellListView"));
    ShellListView->setModel(m_listModel);
    ShellListView->setRootIsDecorated(false);
    ShellListView->setItemsExpandable(false);
    ShellListView->setUniformRowHeights(true); // rows of one height: big folders stay fast
    ShellListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ShellListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ShellListView->setSortingEnabled(true);
    ShellListView->sortByColumn(FileListModel::ColName, Qt::AscendingOrder);
    ShellListView->setContextMenuPolicy(Qt::CustomContextMenu);
    ShellListView->setMouseTracking(true);
    ShellListView->viewport()->installEventFilter(this);
    ShellListView->header()->resizeSection(FileListModel::ColSize, 70);
    ShellListView->header()->resizeSection(FileListModel::ColModified, 130);
    m_listColumns = new FileListColumns(ShellListView, FileListModel::ColName);
    lblListNote = new QLabel(ShellListView->viewport());
    lblListNote->setObjectName(QStringLiteral("lblListNote"));
    lblListNote->setTextFormat(Qt::PlainText);
    lblListNote->setWordWrap(true);
    lblListNote->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblListNote->setMargin(12);
    lblListNote->setAttribute(Qt::WA_TransparentForMouseEvents);
    lblListNote->hide();

    Splitter1->addWidget(ShellTreeView);
    Splitter1->addWidget(ShellListView);
    Splitter1->setStretchFactor(1, 1);
    // The tree takes its design share of the window's width.
    const int treeWidth = 145 * width() / 641;
    Splitter1->setSizes({treeWidth, width() - treeWidth - kSplitterWidth});

    // The error pane goes in here once it is given; until then the area stays hidden.
    pnlErrors = new QWidget(Splitter2);
    pnlErrors->setObjectName(QStringLiteral("pnlErrors"));
    auto* paneLayout = new QVBoxLayout(pnlErrors);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    Splitter2->addWidget(Splitter1);
    Splitter2->addWidget(pnlErrors);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    pnlErrors->hide();
    connect(Splitter2, &QSplitter::splitterMoved, this, [this] {
        if (ErrorAreaVisible())
            m_errorPaneHeight = pnlErrors->height();
    });
    setCentralWidget(Splitter2);
}

void TFormKelvane::CreateStatusBar() {
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar1"));
    pnlStatusLeft = new QLabel(bar);
    pnlStatusLeft->setObjectName(QStringLiteral("pnlStatusLeft"));
    pnlStatusLeft->setFixedWidth(50);
    pnlStatusText = new QLabel(bar);
    pnlStatusText->setObjectName(QStringLiteral("pnlStatusText"));
    pnlStatusText->setTextFormat(Qt::PlainText);
    pnlStatusText->setMinimumWidth(1); // a long path must not widen the window
    bar->addWidget(pnlStatusLeft);
    bar->addWidget(pnlStatusText, 1);
    setStatusBar(bar);
}

void TFormKelvane::SetStatusText(const QString& text) {
    pnlStatusText->setText(DisplayText(text));
}

QString TFormKelvane::StatusText() const {
    return pnlStatusText->text();
}

void TFormKelvane::CreateErrorPane() {
    m_errorPane = new TErrorPane(pnlErrors);
    pnlErrors->layout()->addWidget(m_errorPane);
    connect(m_errorPane, &TErrorPane::PaneVisibilityChanged, this, &TFormKelvane::ShowErrorArea);
    // The pane's entries take their reserved places: first in the View menu and its copy in
    // the shared menu, and the three error entries at the head of the shared menu.
    miView->insertAction(actViewStatusBar, m_errorPane->actViewErrors);
    pmSharedView->insertAction(actViewStatusBar, m_errorPane->actViewErrors);
    for (QAction* action : {m_errorPane->actCloseErrorPage, m_errorPane->actCloseAllErrors,
                            m_errorPane->actCopyErrors}) {
        pmShared->insertAction(m_errorEntriesEnd, action);
        addAction(action); // Ctrl+C copies error text wherever the focus is in the window
    }
    // Focus that leaves the pane because it hides goes to the file list, not to whatever
    // control Qt finds next.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget*) {
        if (old != nullptr && m_errorPane->isHidden() && m_errorPane->isAncestorOf(old))
            ShellListView->setFocus();
    });
    // The text and the tabs open the window's shared menu, as the file list does.
    for (QWidget* part : {static_cast<QWidget*>(m_errorPane->TextView()),
                          static_cast<QWidget*>(m_errorPane->Tabs())}) {
        part->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(part, &QWidget::customContextMenuRequested, this, [this, part](const QPoint& at) {
            QWidget* area = part;
            if (auto* scrolling = qobject_cast<QAbstractScrollArea*>(part))
                area = scrolling->viewport();
            PopupSharedMenu(area->mapToGlobal(at));
        });
    }
}

void TFormKelvane::ShowErrorArea(bool visible) {
    if (visible) {
        pnlErrors->show();
        const int total = Splitter2->height();
        const int upper = std::max(0, total - kSplitterWidth - m_errorPaneHeight);
        Splitter2->setSizes({upper, m_errorPaneHeight});
    } else {
        pnlErrors->hide();
        if (QApplication::focusWidget() == nullptr || !isAncestorOf(QApplication::focusWidget()))
            ShellListView->setFocus();
    }
    m_idle->Invalidate();
}

bool TFormKelvane::ErrorAreaVisible() const {
    return !pnlErrors->isHidden();
}

bool TFormKelvane::ErrorPaneHasFocus() const {
    QWidget* focus = QApplication::focusWidget();
    return focus && (focus == m_errorPane || m_errorPane->isAncestorOf(focus));
}

BatchCommands* TFormKelvane::Commands() {
    if (!m_commands) {
        TFormFileList* scanner = FormFileList();
        TFormFileProgress* progress = FormFileProgress();
        if (scanner == nullptr || progress == nullptr)
            return nullptr;
        BatchEnvironment environment;
        environment.selection = this;
        environment.scanner = scanner;
        environment.progress = &progress->Run();
        environment.pages = m_errorPane;
        environment.reselectAfterRun = [this] { ReselectAfterRun(m_commands->ReselectPaths()); };
        m_commands = std::make_unique<BatchCommands>(std::move(environment));
    }
    return m_commands.get();
}

void TFormKelvane::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (ErrorAreaVisible() && pnlErrors->height() > 0)
        m_errorPaneHeight = pnlErrors->height();
}

void TFormKelvane::ApplyPreferences() {
    if (const TFormKelvaneOptions* options = FormKelvaneOptions())
        ApplyPreferences(options->CurrentPreferences());
    else
        ApplyPreferences(Preferences());
}

void TFormKelvane::ApplyPreferences(const Preferences& preferences) {
    const QString error = m_listModel->SetFileFilter(preferences.fileFilter);
    {
        const NoHistoryScope noHistory(this);
        m_treeModel->SetShowHidden(preferences.showHiddenItems);
        m_listModel->SetShowHidden(preferences.showHiddenItems);
        // A hidden folder that is no longer shown gives way to the nearest one that is.
        GoToFolder(m_currentFolder);
    }
    SetToolbarLook(preferences.largeIcons, preferences.showCaptions);
    m_errorPane->SetShowsMessageKeys(preferences.showMessageKeys);
    m_idle->Invalidate();
    // A malformed mask is said once, not at every later application of the same filter.
    if (error != m_lastFilterError) {
        m_lastFilterError = error;
        if (!error.isEmpty())
            ShowError(error);
    }
}

void TFormKelvane::SetToolbarLook(bool largeIcons, bool showCaptions) {
    const int size = largeIcons ? 24 : 16;
    tbTidyToolbar->setIconSize(QSize(size, size));
    tbTidyToolbar->setToolButtonStyle(showCaptions ? Qt::ToolButtonTextUnderIcon
                                                   : Qt::ToolButtonIconOnly);
}

void TFormKelvane::SaveMainSettings() {
    IniFile& file = SettingsFile();
    if (!m_currentFolder.isEmpty())
        WriteActiveDirectory(file, m_currentFolder);
    WriteRecurse(file, m_recurse);
    SaveToolbarPositions(this, SettingsFilePath(), kMainWindowSection);
    SaveWindowPlacement(this, file);
}

void TFormKelvane::LoadMainSettings() {
    m_settingsLoaded = true;
    const IniFile& file = SettingsFile();
    {
        const NoHistoryScope noHistory(this);
        if (const std::optional<QString> active = ReadActiveDirectory(file))
            RestoreActiveItem(*active);
    }
    m_recurse = ReadRecurse(file, m_recurse);
    LoadToolbarPositions(this, SettingsFilePath(), kMainWindowSection);
    LoadWindowPlacement(this, file);
}

void TFormKelvane::RestoreActiveItem(const QString& path) {
    const std::optional<ActiveItem> item = ResolveActiveItem(path);
    if (!item)
        return;
    GoToFolder(item->folder);
    if (!item->file.isEmpty())
        SelectFile(item->file);
}

void TFormKelvane::RunGuarded(const std::function<void()>& work) {
    RunShowingErrors(work);
}

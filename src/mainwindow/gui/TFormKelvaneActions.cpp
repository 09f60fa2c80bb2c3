// The main window's actions, menus, toolbars and context menus, the enabling rules that run
// when the application is idle, and the commands that are not batch runs.
#include "mainwindow/gui/TFormKelvane.h"

#include "engine/gui/NetworkSettingsTool.h"
#include "engine/gui/TFormTidyProperties.h"
#include "mainwindow/ActionRules.h"
#include "mainwindow/FolderIds.h"
#include "mainwindow/IdleUpdates.h"
#include "mainwindow/SelectionCheck.h"
#include "mainwindow/gui/FileListModel.h"
#include "mainwindow/gui/TErrorPane.h"
#include "mainwindow/gui/TIEAddress.h"
#include "platform/gui/ShellOpen.h"
#include "support/Preferences.h"
#include "support/Prompts.h"
#include "support/Translation.h"
#include "support/gui/IconSizes.h"
#include "support/gui/OpenWebAddress.h"
#include "support/gui/TFormAboutBox.h"
#include "support/gui/TFormKelvaneOptions.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

namespace {

// Drawn at the toolbar's two sizes and the menus' size alike.
QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
    return WithSizes(
        QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback)),
        {16, 24, 32});
}

// A toolbar button that shows `action` under a caption of its own.
void AddButton(QToolBar* bar, QAction* action, const char* name, const QString& caption = {}) {
    bar->addAction(action);
    auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
    if (button == nullptr)
        return;
    button->setObjectName(QLatin1String(name));
    if (!caption.isEmpty()) {
        // The button's own action carries the short caption and follows the real one.
        auto* face = new QAction(caption, button);
        face->setObjectName(QLatin1String(name) + QStringLiteral("Caption"));
        face->setIcon(action->icon());
        face->setToolTip(action->toolTip());
        auto follow = [face, action] {
            face->setEnabled(action->isEnabled());
            face->setVisible(action->isVisible());
            face->setToolTip(action->toolTip());
        };
        follow();
        QObject::connect(action, &QAction::changed, face, follow);
        QObject::connect(face, &QAction::triggered, action, &QAction::trigger);
        button->setDefaultAction(face);
        button->removeAction(action); // one action only, or the button offers them as a menu
    }
}

} // namespace

MainWindowOpeners MainWindowOpeners::Desktop() {
    MainWindowOpeners openers;
    openers.openDocument = [](const QString& path) { return OpenDocument(path); };
    openers.editDocument = [](const QString& path) { return EditDocument(path); };
    openers.openWebAddress = [](const QString& address) { return OpenWebAddress(address); };
    openers.startProgram = [](const QString& program, const QStringList& arguments) {
        return QProcess::startDetached(program, arguments);
    };
    openers.networkSettingsCommand = [] { return NetworkSettingsCommand(); };
    openers.showTidyOptions = [] {
        if (TFormTidyProperties* form = FormTidyProperties())
            form->ShowOptionsDialog();
    };
    openers.showAbout = [] { TFormAboutBox::Execute(FormKelvane()); };
    return openers;
}

QAction* TFormKelvane::NewAction(const char* name, const QString& caption, const QString& hint,
                                 const QString& category) {
    auto* action = new QAction(caption, this);
    action->setObjectName(QLatin1String(name));
    if (!hint.isEmpty())
        action->setToolTip(hint);
    if (!category.isEmpty())
        action->setProperty("category", category);
    addAction(action); // shortcuts work wherever the focus is in the window
    return action;
}

void TFormKelvane::CreateActions() {
    const QString none;
    actTidy = NewAction("actTidy", QStringLiteral("Tidy..."), QStringLiteral("Tidy files."), none);
    actTidy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    actTidy->setIcon(ThemeIcon("edit-clear-all", QStyle::SP_DialogApplyButton));
    actReviewChanges =
        NewAction("actReviewChanges", QStringLiteral("Review Changes..."),
                  QStringLiteral("See what tidying would change, and choose."), none);
    actReviewChanges->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    actReviewChanges->setIcon(ThemeIcon("document-preview", QStyle::SP_FileDialogContentsView));
    actValidate = NewAction("actValidate", QStringLiteral("Validate"),
                            QStringLiteral("Validate files."), none);
    actValidate->setIcon(ThemeIcon("dialog-information", QStyle::SP_MessageBoxInformation));
    actRevert = NewAction("actRevert", QStringLiteral("Restore"),
                          QStringLiteral("Restore files from Kelvane backups."), none);
    actRevert->setIcon(ThemeIcon("edit-undo", QStyle::SP_BrowserReload));
    actDeleteBackup = NewAction("actDeleteBackup", QStringLiteral("Remove Backups"),
                                QStringLiteral("Delete Kelvane backup files."), none);
    actDeleteBackup->setIcon(ThemeIcon("edit-delete", QStyle::SP_TrashIcon));
    actEditHTML =
        NewAction("actEditHTML", QStringLiteral("Edit Files"), QStringLiteral("Edit files"), none);
    actEditHTML->setIcon(ThemeIcon("accessories-text-editor", QStyle::SP_FileDialogDetailedView));
    actViewWebPage = NewAction("actViewWebPage", QStringLiteral("View Files"),
                               QStringLiteral("View Files."), none);
    actViewWebPage->setIcon(ThemeIcon("internet-web-browser", QStyle::SP_FileDialogContentsView));
    for (QAction* action : {actTidy, actReviewChanges, actValidate, actRevert, actDeleteBackup,
                            actEditHTML, actViewWebPage})
        action->setEnabled(false);

    const QString selection = QStringLiteral("Selection");
    actSelectAll = NewAction("actSelectAll", QStringLiteral("Select All"), none, selection);
    actFolderTidy = NewAction("actFolderTidy", QStringLiteral("Tidy Folder"), none, none);
    actFolderRevert = NewAction("actFolderRevert", QStringLiteral("Restore Folder"), none, none);
    actFolderDeleteBackups =
        NewAction("actFolderDeleteBackups", QStringLiteral("Remove backup files"), none, none);

    const QString navigation = QStringLiteral("Navigation");
    actNavBack = NewAction("actNavBack", QStringLiteral("Back"),
                           QStringLiteral("Go back through History."), navigation);
    actNavBack->setIcon(ThemeIcon("go-previous", QStyle::SP_ArrowBack));
    actNavForward = NewAction("actNavForward", QStringLiteral("Forward"),
                              QStringLiteral("Go forward through History."), navigation);
    actNavForward->setIcon(ThemeIcon("go-next", QStyle::SP_ArrowForward));
    actNavUp = NewAction("actNavUp", QStringLiteral("Up"), QStringLiteral("Up"), navigation);
    actNavUp->setIcon(ThemeIcon("go-up", QStyle::SP_FileDialogToParent));
    // As in the file managers of Linux desktops (Backspace: keyPressEvent).
    actNavBack->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Left), QKeySequence(Qt::Key_Back)});
    actNavForward->setShortcuts(
        {QKeySequence(Qt::ALT | Qt::Key_Right), QKeySequence(Qt::Key_Forward)});
    actNavUp->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
    actFocusAddress = NewAction("actFocusAddress", QStringLiteral("Address"), none, navigation);
    actFocusAddress->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_L),
                                   QKeySequence(Qt::ALT | Qt::Key_D), QKeySequence(Qt::Key_F6)});
    actRefresh = NewAction("actRefresh", QStringLiteral("Refresh"), none, navigation);
    actRefresh->setShortcut(QKeySequence(Qt::Key_F5));

    const QString view = QStringLiteral("View");
    actViewTidyToolbar = NewAction("actViewTidyToolbar", QStringLiteral("Toolbar"), none, view);
    actViewAddressBar = NewAction("actViewAddressBar", QStringLiteral("Address Bar"), none, view);
    actViewStatusBar = NewAction("actViewStatusBar", QStringLiteral("Status Bar"), none, view);
    for (QAction* action : {actViewTidyToolbar, actViewAddressBar, actViewStatusBar}) {
        action->setCheckable(true);
        action->setChecked(true);
    }

    const QString edit = QStringLiteral("Edit");
    actViewTidyProperties = NewAction("actViewTidyProperties", QStringLiteral("Tidy Options..."),
                                      QStringLiteral("View HTML Tidy options"), edit);
    actViewTidyProperties->setIcon(ThemeIcon("preferences-other", QStyle::SP_FileDialogInfoView));
    actViewTidyProperties->setVisible(false);
    actViewAppOptions = NewAction("actViewAppOptions", QStringLiteral("Preferences..."),
                                  QStringLiteral("View application preferences"), edit);
    actViewAppOptions->setIcon(ThemeIcon("preferences-system", QStyle::SP_ComputerIcon));
    actHelpAbout = NewAction("actHelpAbout", QStringLiteral("About"), none, QStringLiteral("Help"));
    actFileExit = NewAction("actFileExit", QStringLiteral("E&xit"), none, QStringLiteral("File"));

    connect(actTidy, &QAction::triggered, this, [this] { RunBatch(m_batch.tidy); });
    connect(actReviewChanges, &QAction::triggered, this,
            [this] { RunBatch(m_batch.reviewChanges); });
    connect(actValidate, &QAction::triggered, this, [this] { RunBatch(m_batch.validate); });
    connect(actRevert, &QAction::triggered, this, [this] { RunBatch(m_batch.restore); });
    connect(actDeleteBackup, &QAction::triggered, this,
            [this] { RunBatch(m_batch.removeBackups); });
    connect(actFolderTidy, &QAction::triggered, this, [this] { RunBatch(m_batch.folderTidy); });
    connect(actFolderRevert, &QAction::triggered, this,
            [this] { RunBatch(m_batch.folderRestore); });
    connect(actFolderDeleteBackups, &QAction::triggered, this,
            [this] { RunBatch(m_batch.folderRemoveBackups); });
    connect(actEditHTML, &QAction::triggered, this, &TFormKelvane::actEditHTMLExecute);
    connect(actViewWebPage, &QAction::triggered, this, &TFormKelvane::actViewWebPageExecute);
    connect(actSelectAll, &QAction::triggered, this, [this] { ShellListView->selectAll(); });
    connect(actNavBack, &QAction::triggered, this, &TFormKelvane::actNavBackExecute);
    connect(actNavForward, &QAction::triggered, this, &TFormKelvane::actNavForwardExecute);
    connect(actNavUp, &QAction::triggered, this, &TFormKelvane::actNavUpExecute);
    connect(actFocusAddress, &QAction::triggered, this, &TFormKelvane::actFocusAddressExecute);
    connect(actRefresh, &QAction::triggered, this, &TFormKelvane::actRefreshExecute);
    connect(actViewStatusBar, &QAction::triggered, this,
            [this](bool checked) { statusBar()->setVisible(checked); });
    connect(actViewTidyProperties, &QAction::triggered, this, [this] {
        RunGuarded([this] {
            if (m_openers.showTidyOptions)
                m_openers.showTidyOptions();
        });
    });
    connect(actViewAppOptions, &QAction::triggered, this, &TFormKelvane::actViewAppOptionsExecute);
    connect(actHelpAbout, &QAction::triggered, this, [this] {
        RunGuarded([this] {
            if (m_openers.showAbout)
                m_openers.showAbout();
        });
    });
    connect(actFileExit, &QAction::triggered, this, &QWidget::close);
}

void TFormKelvane::CreateMenus() {
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    MainMenu1->setNativeMenuBar(false); // it lives in a movable bar of the window

    QMenu* miFile = MainMenu1->addMenu(QStringLiteral("&File"));
    miFile->setObjectName(QStringLiteral("miFile"));
    miFile->addAction(actFileExit);

    QMenu* miEdit = MainMenu1->addMenu(QStringLiteral("&Edit"));
    miEdit->setObjectName(QStringLiteral("miEdit"));
    miEdit->setToolTipsVisible(true);
    miEdit->addAction(actEditHTML);
    miEdit->addAction(actViewWebPage);
    miEdit->addSeparator();
    miEdit->addAction(actViewTidyProperties);
    miEdit->addAction(actViewAppOptions);
    QAction* miInternetProperties = miEdit->addAction(QStringLiteral("Internet Properties..."));
    miInternetProperties->setObjectName(QStringLiteral("miInternetProperties"));
    connect(miInternetProperties, &QAction::triggered, this,
            &TFormKelvane::miInternetPropertiesClick);

    miView = MainMenu1->addMenu(QStringLiteral("&View"));
    miView->setObjectName(QStringLiteral("miView"));
    // actViewErrors comes first once the error pane brings it.
    miView->addAction(actViewStatusBar);
    miView->addAction(actViewAddressBar);
    QAction* hiddenSeparator = miView->addSeparator();
    hiddenSeparator->setVisible(false);
    miView->addAction(actViewTidyToolbar);
    QMenu* miToolbars = miView->addMenu(QStringLiteral("Toolbars"));
    miToolbars->setObjectName(QStringLiteral("miToolbars"));
    miToolbars->addAction(actViewTidyToolbar);
    miToolbars->menuAction()->setVisible(false);

    QMenu* miTidy = MainMenu1->addMenu(QStringLiteral("&Tidy"));
    miTidy->setObjectName(QStringLiteral("miTidy"));
    miTidy->setToolTipsVisible(true);
    miTidy->addActions({actValidate, actTidy, actReviewChanges, actRevert, actDeleteBackup});

    QMenu* miHelp = MainMenu1->addMenu(QStringLiteral("Help"));
    miHelp->setObjectName(QStringLiteral("miHelp"));
    miHelp->addAction(actHelpAbout);
    QAction* miContents = miHelp->addAction(QStringLiteral("&Contents"));
    miContents->setObjectName(QStringLiteral("miContents"));
    miContents->setToolTip(QStringLiteral("Help Contents"));
    miContents->setEnabled(false);
    miContents->setVisible(false);
    miHelp->addSeparator();
    QAction* miMondavikSoftware =
        miHelp->addAction(QStringLiteral("&Mondavik Software... (Online)"));
    miMondavikSoftware->setObjectName(QStringLiteral("miMondavikSoftware"));
    QAction* miMondavikServices =
        miHelp->addAction(QStringLiteral("Mondavik &Services... (Online)"));
    miMondavikServices->setObjectName(QStringLiteral("miMondavikServices"));
    auto openPage = [this](const QString& address) {
        return [this, address] {
            RunGuarded([this, &address] {
                if (m_openers.openWebAddress)
                    m_openers.openWebAddress(address);
            });
        };
    };
    connect(miMondavikSoftware, &QAction::triggered, this, openPage(kMakerSoftwarePage));
    connect(miMondavikServices, &QAction::triggered, this, openPage(kMakerServicesPage));
}

void TFormKelvane::CreateToolbars() {
    tbMainMenu = new QToolBar(QStringLiteral("Main Menu"), this);
    tbMainMenu->setObjectName(QStringLiteral("tbMainMenu"));
    tbMainMenu->addWidget(MainMenu1);
    tbMainMenu->setIconSize(QSize(16, 16));
    addToolBar(Qt::TopToolBarArea, tbMainMenu);
    addToolBarBreak(Qt::TopToolBarArea);

    tbTidyToolbar = new QToolBar(QStringLiteral("Tidy"), this);
    tbTidyToolbar->setObjectName(QStringLiteral("tbTidyToolbar"));
    AddButton(tbTidyToolbar, actNavBack, "tbBack");
    AddButton(tbTidyToolbar, actNavForward, "tbForward");
    AddButton(tbTidyToolbar, actNavUp, "tbUp");
    tbTidyToolbar->addSeparator();
    AddButton(tbTidyToolbar, actValidate, "tbValidate");
    AddButton(tbTidyToolbar, actTidy, "tbTidy", QStringLiteral("Tidy"));
    AddButton(tbTidyToolbar, actRevert, "tbRestore");
    AddButton(tbTidyToolbar, actDeleteBackup, "tbClean", QStringLiteral("Clean"));
    tbTidyToolbar->addSeparator();
    AddButton(tbTidyToolbar, actEditHTML, "tbEdit", QStringLiteral("Edit"));
    AddButton(tbTidyToolbar, actViewWebPage, "tbView", QStringLiteral("View"));
    tbTidyToolbar->addSeparator();
    AddButton(tbTidyToolbar, actViewTidyProperties, "tbOptions", QStringLiteral("Options"));
    AddButton(tbTidyToolbar, actViewAppOptions, "tbPreferences", QStringLiteral("Preferences"));
    // Back and Forward name their folder at the moment the hint is shown.
    for (QAction* action : {actNavBack, actNavForward})
        if (QWidget* button = tbTidyToolbar->widgetForAction(action))
            button->installEventFilter(this);
    SetToolbarLook(true, true);
    addToolBar(Qt::TopToolBarArea, tbTidyToolbar);
    addToolBarBreak(Qt::TopToolBarArea);

    twAddressBar = new QToolBar(QStringLiteral("Address"), this);
    twAddressBar->setObjectName(QStringLiteral("twAddressBar"));
    lblAddress = new QLabel(QStringLiteral("Address"), twAddressBar);
    lblAddress->setObjectName(QStringLiteral("lblAddress"));
    lblAddress->setFixedWidth(49);
    cbAddress = new TIEAddress(twAddressBar);
    cbAddress->setObjectName(QStringLiteral("cbAddress"));
    cbAddress->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    cbAddress->setMinimumContentsLength(10);
    btnGo = new QToolButton(twAddressBar);
    btnGo->setObjectName(QStringLiteral("btnGo"));
    btnGo->setText(QStringLiteral("Go"));
    btnGo->setAutoRaise(true);
    btnGo->setFixedWidth(49);
    twAddressBar->addWidget(lblAddress);
    twAddressBar->addWidget(cbAddress);
    twAddressBar->addWidget(btnGo);
    connect(btnGo, &QToolButton::clicked, this, &TFormKelvane::GoClick);
    connect(cbAddress, &TIEAddress::GoRequested, this, &TFormKelvane::GoClick);
    addToolBar(Qt::TopToolBarArea, twAddressBar);

    // The View entries follow what the user does with the bars directly, too.
    connect(actViewTidyToolbar, &QAction::triggered, tbTidyToolbar, &QWidget::setVisible);
    connect(actViewAddressBar, &QAction::triggered, twAddressBar, &QWidget::setVisible);
}

void TFormKelvane::CreateContextMenus() {
    pmShared = new QMenu(this);
    pmShared->setObjectName(QStringLiteral("pmShared"));
    // Close Page, Close All and Copy come before this separator once the error pane is set.
    m_errorEntriesEnd = pmShared->addSeparator();
    pmSharedView = pmShared->addMenu(QStringLiteral("View"));
    pmSharedView->setObjectName(QStringLiteral("pmSharedView"));
    pmSharedView->addActions({actViewStatusBar, actViewAddressBar, actViewTidyToolbar});
    pmShared->addSeparator();
    pmShared->addAction(actSelectAll);
    m_sharedSelectAllEnd = pmShared->addSeparator();
    pmShared->addActions({actValidate, actTidy, actRevert, actDeleteBackup});
    pmShared->addSeparator();
    pmShared->addActions({actEditHTML, actViewWebPage});

    // A hidden action's shortcut is off as well: once the menu has gone, every entry it hid is
    // back, so that Ctrl+C copies error text wherever the focus is.
    connect(pmShared, &QMenu::aboutToHide, this, [this] {
        for (QAction* action : {m_errorPane->actCloseErrorPage, m_errorPane->actCloseAllErrors,
                                m_errorPane->actCopyErrors, actSelectAll})
            action->setVisible(true);
    });

    pmFolders = new QMenu(this);
    pmFolders->setObjectName(QStringLiteral("pmFolders"));
    pmFolders->addActions({actFolderTidy, actFolderRevert, actFolderDeleteBackups});

    connect(ShellListView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupSharedMenu(ShellListView->viewport()->mapToGlobal(at));
    });
    connect(ShellTreeView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        // The folder commands work on the tree's folder: the one clicked becomes it.
        const QModelIndex index = ShellTreeView->indexAt(at);
        if (index.isValid())
            ShellTreeView->setCurrentIndex(index);
        pmFolders->popup(ShellTreeView->viewport()->mapToGlobal(at));
    });
}

void TFormKelvane::PrepareSharedMenu() {
    const bool inErrorPane = ErrorPaneHasFocus();
    for (QAction* action : {m_errorPane->actCloseErrorPage, m_errorPane->actCloseAllErrors,
                            m_errorPane->actCopyErrors})
        action->setVisible(inErrorPane);
    actSelectAll->setVisible(!inErrorPane);
}

void TFormKelvane::PopupSharedMenu(const QPoint& globalPosition) {
    UpdateActions();
    PrepareSharedMenu();
    pmShared->popup(globalPosition);
}

void TFormKelvane::UpdateActions() {
    NavigationFacts navigation;
    navigation.canBack = m_history.CanBack(1);
    navigation.canForward = m_history.CanForward(1);
    navigation.atRoot = m_currentFolder.isEmpty() || IdListIsRoot(m_currentFolder);
    const bool hasPages = m_errorPane->PageCount() > 0;
    // Nothing new is looked at while a run holds the window: its actions are out of reach.
    const ActionEnabling enabling =
        EnablingFor(m_selectionCheck->For(m_selected.Paths(), !Busy()), navigation, hasPages);

    actTidy->setEnabled(enabling.tidy);
    actReviewChanges->setEnabled(enabling.tidy);
    actValidate->setEnabled(enabling.validate);
    actRevert->setEnabled(enabling.revert);
    actDeleteBackup->setEnabled(enabling.deleteBackup);
    actEditHTML->setEnabled(enabling.editHtml);
    actViewWebPage->setEnabled(enabling.viewWebPage);
    actNavBack->setEnabled(enabling.navBack);
    actNavForward->setEnabled(enabling.navForward);
    actNavUp->setEnabled(enabling.navUp);
    m_errorPane->actViewErrors->setEnabled(enabling.viewErrors);
    m_errorPane->actViewErrors->setChecked(ErrorAreaVisible());
    actViewTidyToolbar->setChecked(!tbTidyToolbar->isHidden());
    actViewAddressBar->setChecked(!twAddressBar->isHidden());
    actViewStatusBar->setChecked(!statusBar()->isHidden());
}

void TFormKelvane::RunBatch(const std::function<void()>& handler) {
    if (handler)
        RunGuarded(handler);
    m_idle->Invalidate();
}

void TFormKelvane::RefillSelectedPaths() {
    QStringList paths;
    for (const SelectedItem& item : SelectedItems())
        if (item.fileSystem)
            paths.append(item.path);
    m_selected.Assign(paths);
}

void TFormKelvane::actEditHTMLExecute() {
    RefillSelectedPaths();
    // The edit verb means nothing for a folder; a path the desktop refuses is passed over.
    QStringList refused;
    for (const SelectedItem& item : SelectedItems())
        if (item.fileSystem && !item.folder &&
            !(m_openers.editDocument && m_openers.editDocument(item.path)))
            refused.append(item.path);
    SayNotOpened(refused, QStringLiteral("Kelvane found no program to edit \"%s\"."));
}

void TFormKelvane::actViewWebPageExecute() {
    RefillSelectedPaths();
    QStringList refused;
    for (const QString& path : m_selected.Paths())
        if (!(m_openers.openDocument && m_openers.openDocument(path)))
            refused.append(path);
    SayNotOpened(refused, QStringLiteral("Kelvane found no program to open \"%s\"."));
}

void TFormKelvane::SayNotOpened(const QStringList& paths, const QString& format) {
    // Without a desktop that opens files the desktop's refusal goes to standard error only;
    // the user hears of it once a command, however many files it tried.
    if (paths.isEmpty())
        return;
    QString text = FillTemplate(Translate(format), {paths.first()});
    if (paths.size() > 1)
        text += QStringLiteral("\r\n\r\n") +
                FillTemplate(Translate(QStringLiteral("Nor for %s other files.")),
                             {QString::number(paths.size() - 1)});
    text += QStringLiteral("\r\n\r\n") +
            Translate(QStringLiteral("Set a default program for this kind of file in your "
                                     "desktop, or set VISUAL to your editor."));
    CurrentPrompts().Message(text, DialogKind::Warning, Button::Ok);
}

void TFormKelvane::actViewAppOptionsExecute() {
    RunGuarded([this] {
        TFormKelvaneOptions* options = FormKelvaneOptions();
        if (options == nullptr)
            return;
        options->SetAskBeforeFolders(AsksFolderQuestion());
        if (!options->Execute())
            return;
        SetAsksFolderQuestion(options->AskBeforeFolders());
        ApplyPreferences(options->CurrentPreferences());
    });
}

void TFormKelvane::miInternetPropertiesClick() {
    RunGuarded([this] {
        StartNetworkSettingsTool(m_openers.networkSettingsCommand, m_openers.startProgram);
    });
}

#pragma once
// The main window: a folder tree and a file list, the error pane below them, the menu bar, the
// "Tidy" toolbar and the address bar in the top dock, and a status bar. Every command is an
// action whose enabling rule runs whenever the application becomes idle.
//
// The batch commands (tidy, validate, restore, remove backups, and the folder commands) are a
// BatchCommands bound to this window (its selection and tree folder, its error pane,
// ReselectAfterRun) and to the scanning and progress windows, at the first command that runs:
// those windows are created after this one.

#include "fileops/BatchCommands.h"
#include "fileops/Selection.h"
#include "mainwindow/SelectedPaths.h"
#include "mainwindow/TPIDLHistory.h"
#include "support/Preferences.h"

#include <QItemSelectionModel>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class CommandRecordServer;
class FileListColumns;
class FileListModel;
class FolderTreeModel;
class IdleUpdates;
class SelectionCheck;
struct ParsedCommandLine;
class TIEAddress;
class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QMenuBar;
class QSplitter;
class QToolBar;
class QToolButton;
class QTreeView;
class TErrorPane;
class TFormReviewChanges;

// What the window starts outside itself; tests replace them so that nothing real opens. An
// empty opener counts as one that failed.
struct MainWindowOpeners {
    std::function<bool(const QString& path)> openDocument; // shell verb "open"
    std::function<bool(const QString& path)> editDocument; // shell verb "edit"
    std::function<bool(const QString& address)> openWebAddress;
    std::function<bool(const QString& program, const QStringList& arguments)> startProgram;
    std::function<QStringList()> networkSettingsCommand;
    // The tidy options dialog without a document.
    std::function<void()> showTidyOptions;
    std::function<void()> showAbout;

    static MainWindowOpeners Desktop();
};

// The seven batch commands, run by their actions; the window's BatchCommands unless a test
// gives others.
struct BatchHandlers {
    std::function<void()> tidy;                // actTidy
    std::function<void()> validate;            // actValidate
    std::function<void()> restore;             // actRevert
    std::function<void()> removeBackups;       // actDeleteBackup
    std::function<void()> folderTidy;          // actFolderTidy
    std::function<void()> folderRestore;       // actFolderRevert
    std::function<void()> folderRemoveBackups; // actFolderDeleteBackups
    std::function<void()> reviewChanges;       // actReviewChanges
};

class TFormKelvane : public QMainWindow, public SelectionSource {
    Q_OBJECT
public:
    explicit TFormKelvane(QWidget* parent = nullptr);
    ~TFormKelvane() override;

    // -- State shared with the batch commands --
    const QStringList& SelectedPaths() const { return m_selected.Paths(); }
    // Selects every item whose path is in `reselectPaths` (each entry at most one item),
    // empties the list and reads the folder again for fresh marks and details; a path that
    // is listed only then is selected once the folder has been read.
    void ReselectAfterRun(QStringList& reselectPaths);
    void SetBatchHandlers(BatchHandlers handlers) { m_batch = std::move(handlers); }
    // A batch command started from this window is running.
    bool Busy() const { return m_commands && m_commands->Busy(); }

    // SelectionSource: the file list's selection in list order, the tree's folder, the filter.
    QList<SelectedItem> SelectedItems() const override;
    std::optional<SelectedItem> TreeFolder() const override;
    QString FileFilter() const override;

    // -- Error pane --
    TErrorPane* errorPane() const { return m_errorPane; }
    // Shows or hides the lower area, giving the pane ErrorPaneHeight() when shown; follows
    // the pane's own showing and hiding.
    void ShowErrorArea(bool visible);
    bool ErrorAreaVisible() const;
    int ErrorPaneHeight() const { return m_errorPaneHeight; }
    // The focus is in the error pane (its tabs or its text).
    bool ErrorPaneHasFocus() const;

    // -- Status bar, preferences, settings --
    void SetStatusText(const QString& text);
    QString StatusText() const;
    void ApplyPreferences(const Preferences& preferences);
    // With the preferences dialog's current values (the design values when there is none).
    void ApplyPreferences();
    void SaveMainSettings();
    void LoadMainSettings();
    // Brings the tree to a stored folder, or to a stored file's folder with the file selected.
    void RestoreActiveItem(const QString& path);

    // -- Browsing --
    QString CurrentFolder() const { return m_currentFolder; }
    // Makes `path` the tree's folder (the nearest folder that can be shown when it cannot);
    // nothing when it already is.
    void GoToFolder(const QString& path);
    // Selects the file-list item of `path` (now, or as soon as the folder has been read).
    void SelectFile(const QString& path);
    // A file: its folder, with the file selected; a folder: that folder; otherwise the first
    // folder-tree node, in tree order, whose caption is `path` without regard to case.
    // Anything else: nothing.
    void LocatePath(const QString& path);
    // "Back to %s" / "Forward to %s" for the entry `offset` away, empty when there is none.
    QString NavigationHint(int offset) const;
    TPIDLHistory& History() { return m_history; }
    bool RecordHistory = true;
    QString NavigationTarget;
    QString PendingPath;

    // -- Address bar (TFormKelvaneAddress.cpp) --
    // The "Go" action: a web address takes the web-page road, anything else LocatePath.
    void GoClick();
    // Downloads the page, shows it in the tidy options dialog, tidies it and saves the result
    // under a name the user chooses. The downloaded copy is gone afterwards, on every road.
    void TidyWebPage(const QString& address);

    // -- Start-up and command records (TFormKelvaneStartup.cpp) --
    bool StartupDone() const { return m_startupDone; }
    // Serves command records from now on, unless another copy already does; answers whether
    // this window serves them. A socket that cannot be made safe is said on standard error.
    bool ServeCommandRecords();
    // Runs one command record as a command-line job and answers the reply. A record that
    // arrives while another record's job runs answers 0 and runs nothing; so does one whose
    // job would need a dialog while the window's own dialogs are open.
    qint32 CommandReceiver(quint32 kind, const QString& commandLine);
    // The job a command record runs (tests replace it); by default RunCommandLineJob.
    std::function<bool(const ParsedCommandLine&)> RecordJob;

    // -- Actions --
    // The enabling rules; runs whenever the application becomes idle.
    void UpdateActions();
    // Shows the entries of the shared context menu that fit the focused control.
    void PrepareSharedMenu();
    void PopupSharedMenu(const QPoint& globalPosition);
    void setOpeners(MainWindowOpeners openers) { m_openers = std::move(openers); }

    QTreeView* folderTree() const { return ShellTreeView; }
    QTreeView* fileList() const { return ShellListView; }
    FileListModel* fileListModel() const { return m_listModel; }
    QMenu* sharedMenu() const { return pmShared; }
    QMenu* folderMenu() const { return pmFolders; }
    QComboBox* addressBox() const;
    TIEAddress* addressBar() const { return cbAddress; }

    QAction* actTidy = nullptr;
    QAction* actReviewChanges = nullptr;
    QAction* actValidate = nullptr;
    QAction* actRevert = nullptr;
    QAction* actDeleteBackup = nullptr;
    QAction* actEditHTML = nullptr;
    QAction* actViewWebPage = nullptr;
    QAction* actSelectAll = nullptr;
    QAction* actFolderTidy = nullptr;
    QAction* actFolderRevert = nullptr;
    QAction* actFolderDeleteBackups = nullptr;
    QAction* actNavBack = nullptr;
    QAction* actNavForward = nullptr;
    QAction* actNavUp = nullptr;
    QAction* actViewTidyToolbar = nullptr;
    QAction* actViewAddressBar = nullptr;
    QAction* actViewStatusBar = nullptr;
    QAction* actViewTidyProperties = nullptr;
    QAction* actViewAppOptions = nullptr;
    QAction* actHelpAbout = nullptr;
    QAction* actFileExit = nullptr;
    // The keys of Linux file managers: Ctrl+L, Alt+D and F6 put the focus into the address
    // field with its text selected; F5 reads the folder again.
    QAction* actFocusAddress = nullptr;
    QAction* actRefresh = nullptr;

    // Review Changes on the selection: the review window shows and fills while a check run
    // goes on (TFormKelvaneReview.cpp).
    void actReviewChangesExecute();
    // The review window, made at its first use; null before.
    TFormReviewChanges* ReviewWindow() const;

    // Handlers of the actions that are not batch commands.
    void actNavBackExecute();
    void actNavForwardExecute();
    void actNavUpExecute();
    void actEditHTMLExecute();
    void actViewWebPageExecute();
    void actViewAppOptionsExecute();
    void actFocusAddressExecute();
    void actRefreshExecute();
    void miInternetPropertiesClick();

protected:
    void showEvent(QShowEvent* event) override;
    // Backspace that no control took (outside text fields) goes Back.
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Folder moves made while one lives are not recorded in the history (restoring, history
    // moves, switching hidden items), whatever happens meanwhile.
    class NoHistoryScope {
    public:
        explicit NoHistoryScope(TFormKelvane* window) : m_window(window) {
            m_window->RecordHistory = false;
        }
        ~NoHistoryScope() { m_window->RecordHistory = true; }
        NoHistoryScope(const NoHistoryScope&) = delete;
        NoHistoryScope& operator=(const NoHistoryScope&) = delete;

    private:
        TFormKelvane* m_window;
    };

    // Construction, one part each (TFormKelvane.cpp, TFormKelvaneActions.cpp,
    // TFormKelvaneBrowsing.cpp).
    void CreateActions();
    void CreateMenus();
    void CreateToolbars();
    void CreateContextMenus();
    void CreateClientArea();
    void CreateErrorPane();
    void CreateStatusBar();
    void ConnectBrowsing();
    QAction* NewAction(const char* name, const QString& caption, const QString& hint,
                       const QString& category);
    void RunBatch(const std::function<void()>& handler);
    // The batch commands, bound to the scanning and progress windows once both exist; null
    // before then.
    BatchCommands* Commands();
    void RunGuarded(const std::function<void()>& work);
    void SetToolbarLook(bool largeIcons, bool showCaptions);

    void DeferredStart();
    void TreeFolderChanged(const QModelIndex& current);
    // Scrolls the tree so that the folder's row and name are in sight.
    void ShowTreeFolder(const QModelIndex& index);
    // After the user scrolled the tree up or down: sideways as far as the rows in sight need
    // to show where their names begin.
    void FitTreeSideways();
    void ListSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void ListActivated(const QModelIndex& index);
    void HistoryMove(const QString& entry);
    void TrySelectPending();
    // Selects the rows of `paths` with `mode`; answers the paths that are not listed.
    QStringList ReselectRowsOf(const QStringList& paths, QItemSelectionModel::SelectionFlags mode);
    void ShowFolderInList(const QString& folder);
    // Says over the list when its folder could not be read.
    void UpdateListNote();
    void RefillSelectedPaths();
    // One message for the paths the desktop would not open (`format` names the first).
    void SayNotOpened(const QStringList& paths, const QString& format);
    // The first loaded folder-tree node captioned `caption` (without regard to case), in tree
    // order; invalid when there is none.
    QModelIndex FindTreeCaption(const QString& caption) const;

    // Controls.
    QToolBar* tbMainMenu = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QToolBar* tbTidyToolbar = nullptr;
    QToolBar* twAddressBar = nullptr;
    QLabel* lblAddress = nullptr;
    TIEAddress* cbAddress = nullptr;
    QToolButton* btnGo = nullptr;
    QSplitter* Splitter2 = nullptr; // upper panel above, error pane below
    QSplitter* Splitter1 = nullptr; // tree left, list right
    QTreeView* ShellTreeView = nullptr;
    QTreeView* ShellListView = nullptr;
    QWidget* pnlErrors = nullptr;
    QLabel* pnlStatusLeft = nullptr;
    QLabel* lblListNote = nullptr; // over an empty list: why the folder shows nothing
    QLabel* pnlStatusText = nullptr;
    QMenu* miView = nullptr;
    QMenu* pmShared = nullptr;
    QMenu* pmSharedView = nullptr;
    QMenu* pmFolders = nullptr;
    QAction* m_errorEntriesEnd = nullptr;    // separator after the error entries (shared menu)
    QAction* m_sharedSelectAllEnd = nullptr; // separator after Select All

    FolderTreeModel* m_treeModel = nullptr;
    FileListModel* m_listModel = nullptr;
    FileListColumns* m_listColumns = nullptr;
    IdleUpdates* m_idle = nullptr;
    SelectionCheck* m_selectionCheck = nullptr;

    class SelectedPaths m_selected;
    TPIDLHistory m_history;
    QString m_currentFolder;
    QString m_pendingSelection;
    QStringList m_reselectLater; // paths of a run not listed yet when it ended
    QString m_lastFilterError;
    BatchHandlers m_batch;
    MainWindowOpeners m_openers;
    TErrorPane* m_errorPane = nullptr;
    std::unique_ptr<BatchCommands> m_commands;
    QPointer<TFormReviewChanges> m_review;
    int m_errorPaneHeight = 127;
    int m_recurse = 0;
    CommandRecordServer* m_records = nullptr;
    bool m_recordJobRunning = false;
    bool m_startupDone = false;
    bool m_settingsLoaded = false;
    bool m_revealTreeFolder = false; // GoToFolder's folder is kept in sight while its way is read
};

// The one main window of the process, created at start-up; null until then.
TFormKelvane* FormKelvane();

#pragma once
// The Review Changes window: what tidying would change, file by file, before a byte is
// written. Above, the files that tidying would change, each with a check box, and a line that
// counts the others; in the middle, the selected file as it is and as tidying leaves it, side
// by side, changed lines marked, scrolling in step; below, its Tidy messages. Tidy Checked
// Files tidies the checked files (writing only what was shown), Save as Patch saves their
// changes as one unified diff, Close writes nothing. Modeless over the main window; its size
// and splitters are kept in the settings file.

#include "fileops/ReviewPreview.h"
#include "fileops/ReviewSession.h"

#include <QWidget>

class BatchCommands;
class QAction;
class QLabel;
class QPushButton;
class QSplitter;
class QTimer;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QsciScintilla;
class ReviewListModel;

class TFormReviewChanges : public QWidget {
    Q_OBJECT
public:
    explicit TFormReviewChanges(QWidget* owner = nullptr);
    ~TFormReviewChanges() override;

    // Review Changes on the selection of `commands` (gathered as Tidy, the options dialog, a
    // check run through the progress window): the window shows as the run begins and fills
    // while it goes on. Patch names are relative to `base`. Nothing changes when the run does
    // not start (options dialog cancelled, another command running).
    void Review(BatchCommands& commands, const QString& base);

    // The buttons.
    void btTidyCheckedClick();
    void btSavePatchClick();
    void btCloseClick();
    void actNextChangeExecute();
    void actPreviousChangeExecute();

    ReviewSession& Session() { return m_session; }
    const ReviewSession& Session() const { return m_session; }
    QTreeView* FileList() const { return lvFiles; }
    QsciScintilla* OriginalView() const { return MemoOriginal; }
    QsciScintilla* TidiedView() const { return MemoTidied; }
    QTreeWidget* MessageList() const { return lvMessages; }
    // The file the views show (empty while none is), and where its changes stand.
    const ShownFile& Shown() const { return m_shown; }
    int CurrentChange() const { return m_change; }
    QString CountsText() const;

Q_SIGNALS:
    // The views show a file (or say why they cannot).
    void FileShown();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    QWidget* CreateComparePanel();
    void CreateActions();
    void LoadSettings();
    void SaveSettings();
    // Forgets the review and hides.
    void EndReview();
    void UpdateCounts();
    void UpdateButtons();
    void SetStatus(const QString& text);

    // The views (TFormReviewChangesViews.cpp).
    void ShowRow(const QModelIndex& current);
    void FileReady(const ShownFile& file);
    void ClearViews();
    void MarkChanges();
    void ShowMessages();
    void GoToChange(int index);
    void UpdateChangeLabel();
    // Keeps the other view at the lines that stand where this one's middle line stands.
    void FollowScroll(QsciScintilla* from);
    void MessageActivated(QTreeWidgetItem* item);

    ReviewSession m_session;
    ReviewListModel* m_model = nullptr;
    ReviewPreview* m_preview = nullptr;
    BatchCommands* m_commands = nullptr;
    ShownFile m_shown;
    int m_change = -1;        // the change block in sight; -1: none chosen
    bool m_following = false; // a view is being scrolled to follow the other
    bool m_running = false;   // a run of the review is under way
    bool m_reviewing = false; // ... the check run that fills the list
    bool m_settingsLoaded = false;
    QTimer* m_countsTimer = nullptr;

    QLabel* lblCounts = nullptr;
    QSplitter* Splitter1 = nullptr; // the list, the views, the messages
    QSplitter* Splitter2 = nullptr; // the page, its tidied text
    QTreeView* lvFiles = nullptr;
    QLabel* lblFile = nullptr;
    QLabel* lblNote = nullptr;
    QLabel* lblChange = nullptr;
    QPushButton* btPreviousChange = nullptr;
    QPushButton* btNextChange = nullptr;
    QLabel* lblOriginal = nullptr;
    QLabel* lblTidied = nullptr;
    QsciScintilla* MemoOriginal = nullptr;
    QsciScintilla* MemoTidied = nullptr;
    QTreeWidget* lvMessages = nullptr;
    QPushButton* btCheckAll = nullptr;
    QPushButton* btUncheckAll = nullptr;
    QPushButton* btSavePatch = nullptr;
    QPushButton* btTidyChecked = nullptr;
    QPushButton* btClose = nullptr;
    QLabel* lblStatus = nullptr;
    QAction* actNextChange = nullptr;
    QAction* actPreviousChange = nullptr;
};

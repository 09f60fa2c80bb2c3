#pragma once
// The error pane of the main window: a row of tabs at the bottom, one per page, and above them
// a text view showing the selected page. A page holds the messages of one validated file, or
// the run summary, which is kept at the first tab.
//
// The pane shows and hides itself; the window that holds it follows PaneVisibilityChanged to
// lay itself out (splitter, remembered height, focus).
//
// A validation run may add a page for each of thousands of files in quick succession: the row
// of tabs takes each at once without laying out the others, and the text view shows the selected
// page when the event loop next runs, at most a few times a second while pages keep coming, so
// that no page's text is set that nobody sees. TextView() brings the text up to date first.

#include "fileops/ErrorPages.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <vector>

class QAction;
class QTimer;
class TErrorTabBar;
class QsciScintilla;
class TKelvaneMessages;
class TTidyErrors;

class TErrorPane : public QWidget, public ErrorPages {
    Q_OBJECT
public:
    explicit TErrorPane(QWidget* parent = nullptr);
    ~TErrorPane() override;

    // ErrorPages. File names are compared exactly: on Linux "Index.html" and "index.html"
    // are two files with a page each.
    int FindErrorPage(const QString& path) const override;
    int AddErrorPage(const QString& path) override;
    TTidyErrors* Page(int index) override;
    void SelectPage(int index) override;
    void ClosePage(int index) override;
    void ShowErrorPane(bool visible) override;
    void ShowRunSummary(const QString& heading, const QStringList& messages) override;
    bool ShowsMessageKeys() const override { return m_showsMessageKeys; }
    // Pages filled from now on end each message line with its key (Preferences).
    void SetShowsMessageKeys(bool show) { m_showsMessageKeys = show; }

    // The page at tab 0 when it is the run summary; null otherwise.
    TKelvaneMessages* SummaryPage() const;
    // The run summary, inserted at tab 0 ("Tidy Errors") when there is none.
    TKelvaneMessages* EnsureSummaryPage();
    void RemoveSummaryPage();
    // Shows the selected page (heading, an empty line, the messages) now. What the user typed
    // into the view is lost.
    void ShowCurrentPage();

    int PageCount() const { return static_cast<int>(m_pages.size()); }
    // The selected page; -1 when there is none.
    int CurrentPage() const;
    // Whether the pane is shown (within its window, whether or not that is on screen).
    bool PaneVisible() const { return !isHidden(); }

    TErrorTabBar* Tabs() const { return tcErrors; }
    // The text view, showing the selected page.
    QsciScintilla* TextView() const;
    // Shows the selected page now when the text view is behind.
    void SyncView();

    // The pane's commands, for the window's menus, toolbar and context menu. Ctrl+C belongs to
    // actCopyErrors: the window should add it to itself so that it works wherever the focus is.
    QAction* const actCloseErrorPage;
    QAction* const actCloseAllErrors;
    QAction* const actCopyErrors;
    QAction* const actViewErrors; // checkable; enabled while a page exists

    void actCloseErrorPageExecute();
    void actCloseAllErrorsExecute();
    // The selection, or with none the whole text with its lines joined by CR LF, as plain text.
    void actCopyErrorsExecute();
    void actViewErrorsExecute();

Q_SIGNALS:
    // The pane was shown or hidden.
    void PaneVisibilityChanged(bool visible);

private:
    void UpdateActions();
    void SetViewText(const QString& text);
    void InsertPage(int index, std::unique_ptr<TTidyErrors> page, const QString& caption);
    // `page` no longer counts as a page of its file.
    void ForgetPage(const TTidyErrors* page);
    // The selected page is shown once the event loop runs.
    void PageShown();
    void TabClicked();

    QsciScintilla* MemoErrors;
    TErrorTabBar* tcErrors;
    bool m_showsMessageKeys = false;
    // The page of each tab, in tab order.
    std::vector<std::unique_ptr<TTidyErrors>> m_pages;
    QHash<QString, TTidyErrors*> m_firstPage; // by FileName
    QHash<QString, int> m_pagesOfPath;        // how many pages have that FileName
    bool m_textStale = false;
    QTimer* m_sync;
    QElapsedTimer m_sinceSync;
};

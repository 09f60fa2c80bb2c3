#pragma once
// The error pane of the main window: a row of tabs at the bottom, one per page, and above them
// a text view showing the selected page. A page holds the messages of one validated file, or
// the run summary, which is kept at the first tab.
//
// The pane shows and hides itself; the window that holds it follows PaneVisibilityChanged to
// lay itself out (splitter, remembered height, focus).

#include "fileops/ErrorPages.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <vector>

class QAction;
class QTabBar;
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

    // The page at tab 0 when it is the run summary; null otherwise.
    TKelvaneMessages* SummaryPage() const;
    // The run summary, inserted at tab 0 ("Tidy Errors") when there is none.
    TKelvaneMessages* EnsureSummaryPage();
    void RemoveSummaryPage();
    // Shows the selected page (heading, an empty line, the messages). What the user typed into
    // the view is lost.
    void ShowCurrentPage();

    int PageCount() const { return static_cast<int>(m_pages.size()); }
    // The selected tab; -1 when there is none.
    int CurrentPage() const;
    // Whether the pane is shown (within its window, whether or not that is on screen).
    bool PaneVisible() const { return !isHidden(); }

    QTabBar* Tabs() const { return tcErrors; }
    QsciScintilla* TextView() const { return MemoErrors; }

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

    QsciScintilla* MemoErrors;
    QTabBar* tcErrors;
    // The page of each tab, in tab order.
    std::vector<std::unique_ptr<TTidyErrors>> m_pages;
};

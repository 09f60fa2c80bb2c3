#pragma once
// The error pane as the batch runs see it: one page per validated file and the run-summary
// page at the first tab. The main window's pane implements it; the headless program writes
// reports instead.

#include <QString>
#include <QStringList>

class TTidyErrors;

class ErrorPages {
public:
    virtual ~ErrorPages() = default;
    // The first page whose FileName equals `path` (exactly: on Linux, names that differ in
    // case are different files); -1 when none.
    virtual int FindErrorPage(const QString& path) const = 0;
    // A new, empty page for `path` at the end; answers its index.
    virtual int AddErrorPage(const QString& path) = 0;
    virtual TTidyErrors* Page(int index) = 0;
    // Selects the page's tab (and shows its content when the pane is visible).
    virtual void SelectPage(int index) = 0;
    virtual void ClosePage(int index) = 0;
    virtual void ShowErrorPane(bool visible) = 0;
    // Without messages, removes the summary page; otherwise fills it (heading, then every
    // message), selects it and shows the pane.
    virtual void ShowRunSummary(const QString& heading, const QStringList& messages) = 0;
    // Whether a file's message lines end with HTML Tidy's message key (" [MISSING_DOCTYPE]");
    // off unless the user turned the keys on.
    virtual bool ShowsMessageKeys() const { return false; }
};

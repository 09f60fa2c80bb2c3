// Review Changes from the main window: the review window over it, on the file list's selection.
#include "fileops/ReviewPatch.h"
#include "fileops/gui/TFormReviewChanges.h"
#include "mainwindow/gui/TFormKelvane.h"

TFormReviewChanges* TFormKelvane::ReviewWindow() const { return m_review.data(); }

void TFormKelvane::actReviewChangesExecute() {
    BatchCommands* commands = Commands();
    if (commands == nullptr || commands->Busy())
        return;
    if (m_review == nullptr) {
        // Owned by this window; the guarded pointer forgets it when it goes, without a
        // handler that would run on this half-destroyed window.
        m_review = new TFormReviewChanges(this);
    }
    // Patch names start at the folder that holds what was selected.
    QStringList selected;
    for (const SelectedItem& item : SelectedItems())
        if (item.fileSystem && !item.path.isEmpty())
            selected.append(item.path);
    m_review->Review(*commands, CommonFolder(selected));
}

// Review Changes from the main window: the review window over it, on the file list's selection.
#include "fileops/ReviewPatch.h"
#include "fileops/gui/TFormReviewChanges.h"
#include "mainwindow/gui/TFormKelvane.h"

void TFormKelvane::actReviewChangesExecute() {
    BatchCommands* commands = Commands();
    if (commands == nullptr || commands->Busy())
        return;
    if (m_review == nullptr) {
        m_review = new TFormReviewChanges(this);
        // Owned by this window; gone with it.
        connect(m_review, &QObject::destroyed, this, [this] { m_review = nullptr; });
    }
    // Patch names start at the folder that holds what was selected.
    QStringList selected;
    for (const SelectedItem& item : SelectedItems())
        if (item.fileSystem && !item.path.isEmpty())
            selected.append(item.path);
    m_review->Review(*commands, CommonFolder(selected));
}

#include "fileops/Selection.h"

#include "support/Preferences.h"
#include "support/RememberedAnswers.h"

bool AskProcessFolder() {
    // The check box is translated with the dialog.
    return AskRemembered(FolderQuestionText(), DialogKind::Confirmation, Button::Yes | Button::No,
                         QStringLiteral("Don't ask again")) == mrYes;
}

void GatherSelection(const SelectionSource& source, FolderScanner& scanner, QStringList& list,
                     bool expandFolders) {
    list.clear();
    bool asked = false;
    bool processFolders = false;
    for (const SelectedItem& item : source.SelectedItems()) {
        if (!item.fileSystem || item.path.isEmpty())
            continue; // virtual items of the shell have no path to work on
        if (expandFolders && item.folder) {
            if (!asked) {
                processFolders = AskProcessFolder();
                asked = true;
            }
            if (processFolders) {
                // A cancelled scan keeps what it found; the walk goes on.
                scanner.ScanFolder(item.path, source.FileFilter(), list);
                continue;
            }
        }
        list.append(item.path);
    }
}

void GatherTreeFolder(const SelectionSource& source, FolderScanner& scanner, QStringList& list) {
    const std::optional<SelectedItem> node = source.TreeFolder();
    if (!node || !node->fileSystem || node->path.isEmpty())
        return;
    QString folder = node->path;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    if (!scanner.ScanFolder(folder, source.FileFilter(), list))
        list.clear();
}

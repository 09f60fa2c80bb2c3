#include "mainwindow/ActionRules.h"

#include "fileops/BackupStore.h"

SelectionFacts SelectionFactsOf(const QStringList& selectedPaths) {
    SelectionFacts facts;
    if (selectedPaths.isEmpty())
        return facts;
    facts.canTidy = CanTidySelection(selectedPaths);
    facts.hasFile = HasFileInSelection(selectedPaths);
    facts.canRestore = CanRestoreSelection(selectedPaths);
    return facts;
}

ActionEnabling EnablingFor(const SelectionFacts& selection, const NavigationFacts& navigation,
                           bool hasErrorPages) {
    ActionEnabling enabling;
    enabling.tidy = selection.canTidy;
    enabling.validate = selection.hasFile;
    enabling.revert = selection.canRestore;
    enabling.deleteBackup = selection.canRestore;
    enabling.editHtml = selection.hasFile;
    enabling.viewWebPage = selection.hasFile;
    enabling.navBack = navigation.canBack;
    enabling.navForward = navigation.canForward;
    enabling.navUp = !navigation.atRoot;
    enabling.viewErrors = hasErrorPages;
    return enabling;
}

#pragma once
// When the main window's actions are enabled: plain functions over named facts, so that the
// rules can be read (and tested) in one place. The window gathers the facts whenever the
// application becomes idle.

#include <QStringList>

// What the selected paths allow; each test stops at the first entry that satisfies it, so a
// pass costs at most one look at each selected path.
struct SelectionFacts {
    bool canTidy = false;    // a folder, or a file that is not read-only
    bool hasFile = false;    // an existing file (folders do not count)
    bool canRestore = false; // a folder, or a file with a backup
};
SelectionFacts SelectionFactsOf(const QStringList& selectedPaths);

struct NavigationFacts {
    bool canBack = false;
    bool canForward = false;
    bool atRoot = true; // the tree shows its root folder (or nothing)
};

struct ActionEnabling {
    bool tidy = false;         // actTidy
    bool validate = false;     // actValidate
    bool revert = false;       // actRevert
    bool deleteBackup = false; // actDeleteBackup
    bool editHtml = false;     // actEditHTML
    bool viewWebPage = false;  // actViewWebPage
    bool navBack = false;      // actNavBack
    bool navForward = false;   // actNavForward
    bool navUp = false;        // actNavUp
    bool viewErrors = false;   // actViewErrors
    bool operator==(const ActionEnabling&) const = default;
};

ActionEnabling EnablingFor(const SelectionFacts& selection, const NavigationFacts& navigation,
                           bool hasErrorPages);

#pragma once
// The preferences of the preferences dialog, as the main window applies them, and the
// folder question whose remembered answer the dialog shows and edits.

#include <QString>

inline const QString kDefaultFileFilter = QStringLiteral("*.htm;*.html;*.asp;*.php");

struct Preferences {
    QString fileFilter = kDefaultFileFilter; // ';'-separated masks of the file list and runs
    bool askBeforeFolders = true;            // the folder question is asked
    bool showHiddenItems = true;             // tree and list show hidden entries
    bool largeIcons = true;                  // 24 x 24 toolbar images, else 16 x 16
    bool showCaptions = true;                // captions beneath the toolbar images
    bool showMessageKeys = false;            // error pages end each line with its message key
};

// "You have selected a folder. ..." after translation; its remembered answer decides whether
// selected folders are expanded without asking.
QString FolderQuestionText();

// The folder question is still asked: no answer to it is remembered.
bool AsksFolderQuestion();
// Asking again forgets the remembered answer; not asking remembers Yes.
void SetAsksFolderQuestion(bool ask);

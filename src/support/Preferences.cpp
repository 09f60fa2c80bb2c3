#include "support/Preferences.h"

#include "support/RememberedAnswers.h"
#include "support/Translation.h"

QString FolderQuestionText() {
    return Translate(QStringLiteral("You have selected a folder.\r\n\r\nDo you want Kelvane to "
                                    "process the files and sub-folders in this folder?"));
}

bool AsksFolderQuestion() {
    return !IsAnswerRemembered(FolderQuestionText());
}

void SetAsksFolderQuestion(bool ask) {
    if (ask)
        ForgetAnswer(FolderQuestionText());
    else
        RememberAnswer(FolderQuestionText(), mrYes);
}

#pragma once
// Every question, message box, save dialog and options dialog that logic asks goes through
// Prompts. The windows implement it with real Qt dialogs; tests install a scripted answerer;
// without a display, messages go to standard error.

#include <QFlags>
#include <QString>
#include <QStringList>
#include <functional>

// Result codes of the standard message dialog.
enum ResultCode : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrYesToAll = 10,
};

enum class DialogKind { Warning, Error, Information, Confirmation, Custom };

enum class Button : unsigned {
    Yes = 1 << 0,
    No = 1 << 1,
    Ok = 1 << 2,
    Cancel = 1 << 3,
    Abort = 1 << 4,
    Retry = 1 << 5,
    Ignore = 1 << 6,
    YesToAll = 1 << 7, // "Yes to &All"
};
Q_DECLARE_FLAGS(Buttons, Button)
Q_DECLARE_OPERATORS_FOR_FLAGS(Buttons)

struct SaveFileRequest {
    QStringList filters;   // Qt filter entries, e.g. "HTML Documents (*.html *.htm)"
    QString defaultSuffix; // without the dot
    QString initialFolder; // empty: the dialog's default
    QString initialName;   // empty: the name field is empty
};

class Prompts {
public:
    virtual ~Prompts() = default;

    // A message box with the application title as caption; answers a ResultCode.
    virtual int Message(const QString& text, DialogKind kind, Buttons buttons) = 0;

    // A question carrying a check box (the "Don't ask again" box); `ticked` tells its state
    // when the dialog closed.
    virtual int MessageWithCheckBox(const QString& text, DialogKind kind, Buttons buttons,
                                    const QString& checkCaption, bool& ticked) = 0;

    // The shared save dialog; an empty result means the user cancelled.
    virtual QString SaveFileName(const SaveFileRequest& request) = 0;

    // Asks for a program to open a file with (the "Open With" stand-in); empty when cancelled.
    virtual QString ChooseProgram(const QString& forFile) = 0;

    // The tidy options dialog, modal, on a sample document; true when closed with OK.
    virtual bool EditTidyOptions(const QString& sampleFile, const QString& caption) = 0;
};

// The process-wide answerer. Never null: until a window installs one, messages go to
// standard error and questions are answered with Cancel/No.
Prompts& CurrentPrompts();
// Installs `prompts` (not owned); nullptr restores the standard-error answerer.
void SetPrompts(Prompts* prompts);

// Convenience for an error box carrying an exception's text.
void ShowError(const QString& text);

// Runs `work` the way a command of a window runs: a silent abort ends it without a word, any
// other error is shown in an error box.
void RunShowingErrors(const std::function<void()>& work);

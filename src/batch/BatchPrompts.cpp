#include "batch/BatchPrompts.h"

#include "fileops/BatchCommands.h"
#include "support/Translation.h"

int BatchPrompts::Message(const QString& text, DialogKind, Buttons buttons) {
    if (buttons.testFlag(Button::YesToAll)) {
        // The many-warnings question: the report names the file that was passed over.
        if (text == ManyWarningsQuestion())
            return m_force ? mrYesToAll : mrNo;
        // "Do you wish to continue tidying files?": the failure has its own line already.
        return mrYesToAll;
    }
    if (buttons.testFlag(Button::Yes))
        return mrYes; // the stop question: a cancel is meant
    // The report's summary says this already.
    if (text != Translate(QStringLiteral("No HTML errors found")))
        m_out.Line(text);
    return buttons.testFlag(Button::Ok) ? mrOk : mrCancel;
}

int BatchPrompts::MessageWithCheckBox(const QString&, DialogKind, Buttons, const QString&,
                                      bool& ticked) {
    ticked = false; // only the folder question has a box, and folders come with -r
    return mrNo;
}

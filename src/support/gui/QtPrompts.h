#pragma once
// The Prompts of the interactive program: real Qt dialogs. Message boxes carry the
// application title as caption and are translated under the section "TMessageForm".

#include "support/Prompts.h"

#include <QPointer>
#include <functional>

class QFileDialog;
class QMessageBox;
class QWidget;

class QtPrompts final : public Prompts {
public:
    // The tidy options dialog: (sample file, caption) -> closed with OK.
    using OptionsDialog = std::function<bool(const QString& sampleFile, const QString& caption)>;

    QtPrompts();
    ~QtPrompts() override;
    QtPrompts(const QtPrompts&) = delete;
    QtPrompts& operator=(const QtPrompts&) = delete;

    int Message(const QString& text, DialogKind kind, Buttons buttons) override;
    int MessageWithCheckBox(const QString& text, DialogKind kind, Buttons buttons,
                            const QString& checkCaption, bool& ticked) override;
    // One dialog, made on first use and kept, so that it remembers the last folder.
    QString SaveFileName(const SaveFileRequest& request) override;
    QString ChooseProgram(const QString& forFile) override;
    // Raises KelvaneError while no options dialog is registered.
    bool EditTidyOptions(const QString& sampleFile, const QString& caption) override;

    // Registered by the tidy options dialog once it exists; shared by every QtPrompts.
    static void setOptionsDialog(OptionsDialog dialog);

    // The message box that Message and MessageWithCheckBox show, ready to exec (tests and
    // callers that need to adjust it), over `parent` or else the active window. Owned by the
    // caller.
    static QMessageBox* CreateMessageBox(const QString& text, DialogKind kind, Buttons buttons,
                                         QWidget* parent = nullptr);
    // The result code of the button that closed `box`; Cancel when none did.
    static int ResultOf(const QMessageBox& box);

private:
    QPointer<QFileDialog> m_saveDialog;
};

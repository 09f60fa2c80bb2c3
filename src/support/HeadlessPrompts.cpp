#include "support/HeadlessPrompts.h"

#include "support/Translation.h"

#include <QtGlobal>

void HeadlessPrompts::say(const QString& text) {
    std::fprintf(m_out, "%s\n", text.toUtf8().constData());
    std::fflush(m_out);
}

int HeadlessPrompts::Message(const QString& text, DialogKind, Buttons buttons) {
    say(text);
    if (buttons.testFlag(Button::Ok))
        return mrOk;
    if (buttons.testFlag(Button::No))
        return mrNo;
    return mrCancel;
}

int HeadlessPrompts::MessageWithCheckBox(const QString& text, DialogKind kind, Buttons buttons,
                                         const QString&, bool& ticked) {
    ticked = false;
    return Message(text, kind, buttons);
}

QString HeadlessPrompts::SaveFileName(const SaveFileRequest&) {
    say(Translate(QStringLiteral(
        "Kelvane needs a display to ask for the file name; name the output file on the "
        "command line.")));
    return {};
}

QString HeadlessPrompts::ChooseProgram(const QString&) {
    say(Translate(QStringLiteral("Kelvane needs a display to ask for a program.")));
    return {};
}

bool HeadlessPrompts::EditTidyOptions(const QString&, const QString&) {
    say(Translate(QStringLiteral("Kelvane needs a display to show the tidy options.")));
    return false;
}

bool HasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

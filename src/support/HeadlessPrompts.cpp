#include "support/HeadlessPrompts.h"

#include "platform/DisplayConnection.h"
#include "support/Translation.h"

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

void HeadlessPrompts::refuseDialog(const QString& reason) {
    if (m_unreachableDisplay.isEmpty()) {
        say(reason);
        return;
    }
    say(FillTemplate(Translate(QStringLiteral("No display could be opened (%s).")),
                     {m_unreachableDisplay}) +
        QLatin1Char(' ') + reason);
}

QString HeadlessPrompts::SaveFileName(const SaveFileRequest&) {
    refuseDialog(Translate(QStringLiteral(
        "Kelvane needs a display to ask for the file name; name the output file on the "
        "command line.")));
    return {};
}

QString HeadlessPrompts::ChooseProgram(const QString&) {
    refuseDialog(Translate(QStringLiteral("Kelvane needs a display to ask for a program.")));
    return {};
}

bool HeadlessPrompts::EditTidyOptions(const QString&, const QString&) {
    refuseDialog(Translate(QStringLiteral("Kelvane needs a display to show the tidy options.")));
    return false;
}

bool HasDisplay() {
    static const bool reachable = [] {
        const platform::DisplayProbe probe = platform::ProbeDisplays();
        return probe.x11 || probe.wayland;
    }();
    return reachable;
}

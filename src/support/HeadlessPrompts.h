#pragma once
// The answerer of a process that has no display: message boxes are written to standard error,
// questions get their negative answer, and a job that needs a dialog (the tidy options or a
// save dialog) is told on standard error that it needs a display and is cancelled.

#include "support/Prompts.h"

#include <cstdio>

class HeadlessPrompts final : public Prompts {
public:
    // `unreachableDisplay` names the display variables that were set but led nowhere
    // ("DISPLAY=:99"); a refused dialog then says that no display could be opened.
    explicit HeadlessPrompts(std::FILE* out = stderr, QString unreachableDisplay = {})
        : m_out(out), m_unreachableDisplay(std::move(unreachableDisplay)) {}

    int Message(const QString& text, DialogKind kind, Buttons buttons) override;
    int MessageWithCheckBox(const QString& text, DialogKind kind, Buttons buttons,
                            const QString& checkCaption, bool& ticked) override;
    QString SaveFileName(const SaveFileRequest& request) override;
    QString ChooseProgram(const QString& forFile) override;
    bool EditTidyOptions(const QString& sampleFile, const QString& caption) override;

private:
    void say(const QString& text);
    void refuseDialog(const QString& reason);
    std::FILE* m_out;
    QString m_unreachableDisplay;
};

// True when the process can reach a display: an X11 or Wayland server accepted a connection
// (asked once per process).
bool HasDisplay();

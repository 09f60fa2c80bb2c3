#include "support/Prompts.h"

#include <cstdio>

namespace {

// Used where there is no screen to ask on: says everything on standard error and never waits.
class StderrPrompts final : public Prompts {
public:
    int Message(const QString& text, DialogKind, Buttons buttons) override {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        std::fflush(stderr);
        if (buttons.testFlag(Button::Ok))
            return mrOk;
        if (buttons.testFlag(Button::No))
            return mrNo;
        return mrCancel;
    }
    int MessageWithCheckBox(const QString& text, DialogKind kind, Buttons buttons, const QString&,
                            bool& ticked) override {
        ticked = false;
        return Message(text, kind, buttons);
    }
    QString SaveFileName(const SaveFileRequest&) override { return {}; }
    QString ChooseProgram(const QString&) override { return {}; }
    bool EditTidyOptions(const QString&, const QString&) override { return false; }
};

StderrPrompts g_stderrPrompts;
Prompts* g_prompts = nullptr;

} // namespace

Prompts& CurrentPrompts() { return g_prompts ? *g_prompts : g_stderrPrompts; }

void SetPrompts(Prompts* prompts) { g_prompts = prompts; }

void ShowError(const QString& text) {
    CurrentPrompts().Message(text, DialogKind::Error, Button::Ok);
}

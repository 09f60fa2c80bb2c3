#pragma once
// The benchmarks' answers to every question a run asks: go ahead, as `tidy -m` would. OK to a
// box, Yes to All where it is offered, the options as they are, `saveAs` as every file name.

#include "support/Prompts.h"

class GoAheadPrompts final : public Prompts {
public:
    int Message(const QString&, DialogKind, Buttons buttons) override {
        return buttons.testFlag(Button::YesToAll) ? mrYesToAll : mrOk;
    }
    int MessageWithCheckBox(const QString&, DialogKind, Buttons, const QString&,
                            bool& ticked) override {
        ticked = false;
        return mrYes;
    }
    QString SaveFileName(const SaveFileRequest&) override { return saveAs; }
    QString ChooseProgram(const QString&) override { return {}; }
    bool EditTidyOptions(const QString&, const QString&) override { return true; }

    QString saveAs; // the answer of every save dialog; empty: cancelled
};

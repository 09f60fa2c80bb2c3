#pragma once
// The answers a careful user gives when nobody is there: the tidy options are confirmed as
// they are (they come from --options or the stored settings), a file with very many messages
// is tidied only with --force, a run goes on past a file the library cannot process, a stop is
// confirmed, and nothing else is agreed to. Every message goes to standard error; nothing
// reads standard input.

#include "batch/ErrorOutput.h"
#include "support/Prompts.h"

class BatchPrompts final : public Prompts {
public:
    BatchPrompts(ErrorOutput& out, bool force) : m_out(out), m_force(force) {}

    int Message(const QString& text, DialogKind kind, Buttons buttons) override;
    int MessageWithCheckBox(const QString& text, DialogKind kind, Buttons buttons,
                            const QString& checkCaption, bool& ticked) override;
    QString SaveFileName(const SaveFileRequest&) override { return {}; }
    QString ChooseProgram(const QString&) override { return {}; }
    bool EditTidyOptions(const QString&, const QString&) override { return true; }

private:
    ErrorOutput& m_out;
    bool m_force;
};

#pragma once
// One batch validate run: each file is tidied without being changed and its messages go to an
// error page of its own. The files are tidied ahead in parallel, as in the tidy run.

#include "fileops/BatchCommands.h"
#include "fileops/TidyAhead.h"

class ValidateRun {
public:
    ValidateRun(BatchRunState& state, const BatchEnvironment& environment, TidyAhead& items);
    // Runs the list through the progress view and resets it; throws what ends the run.
    void Execute(const ResolvedTidyOptions& options);

    bool ValidateFileStep(FileProgressRun& run, const QString& path);
    void ValidateFinished(FileProgressRun& run);

private:
    void ShowPage(const QString& path, const QString& messageText);
    void ClosePage(const QString& path);

    BatchRunState& m_state;
    const BatchEnvironment& m_env;
    TidyAhead& m_items;
    bool m_inStep = false; // a step has its entry and has not reported it yet
};

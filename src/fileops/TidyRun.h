#pragma once
// One batch tidy run once its options are settled: the step of each file (tests, tidy, the
// many-warnings question, backup and rewrite), the cancel question and the finishing summary.
// Backups and rewrites go to a RewriteQueue; their outcomes are settled strictly in list order
// (message lines, the count, the observer), so the run reads as if each file were finished in
// its own step.

#include "fileops/BatchCommands.h"
#include "fileops/RewriteQueue.h"
#include "fileops/TidyAhead.h"

#include <deque>
#include <optional>

class TidyRun {
public:
    TidyRun(BatchRunState& state, const BatchEnvironment& environment, TidyAhead& items,
            TidyWriteMode mode);
    // Runs the list through the progress view and resets it. An error that ends the run is
    // thrown once the files already in hand are finished.
    void Execute(const ResolvedTidyOptions& options);

    bool TidyFileStep(FileProgressRun& run, const QString& path);
    bool ConfirmStopTidy(FileProgressRun& run);
    void TidyFinished(FileProgressRun& run);

private:
    // An outcome waiting for its turn: decided in the step, or when its rewrite is done.
    struct Pending {
        std::optional<FileRecord> record; // none for a line of the run itself
        std::optional<ProgressMessage> line;
        bool counts = false;
        RewriteQueue::Ticket rewrite;
    };

    // Records an outcome decided in the step; answers true (go on with the next file).
    bool Decided(FileRecord record, FileOutcome outcome, const QString& errorTemplate = {});
    bool DecidedWithLine(FileRecord record, FileOutcome outcome, const QString& line);
    // The entry opened and tested for tidying; nothing when its outcome is decided already.
    std::optional<PageFile> Prepare(const QString& path);
    // Reads and tidies `page`; nothing when its outcome is decided already.
    std::optional<TidiedDocument> Read(PageFile page);
    // The run ended at an error: says how many entries were left.
    void SayNotProcessed(FileProgressRun& run, qsizetype notRun);
    bool CannotBeTidied(FileProgressRun& run, FileRecord record, const TidyResult& result);
    bool HasManyWarnings(const TidyResult& result) const;
    // Applies settled outcomes from the front: all of them with `wait`, else those done. A
    // rewrite that failed is thrown (when `throwFailure`; otherwise it is passed over).
    void Settle(bool wait, bool throwFailure = true);
    void Apply(Pending& pending);

    BatchRunState& m_state;
    const BatchEnvironment& m_env;
    TidyAhead& m_items;
    const TidyWriteMode m_mode;
    std::deque<Pending> m_pending;
    RewriteQueue m_rewrites;
    int m_alreadyTidied = 0;
    bool m_stepDecided = true; // the entry in hand has its outcome (or its rewrite)
    qsizetype m_notRun = 0; // stepped, but their rewrite never ran (the run ended first)
};

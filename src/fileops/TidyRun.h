#pragma once
// One batch tidy run once its options are settled: the step of each file (tests, tidy, the
// many-warnings question, backup and rewrite), the cancel question and the finishing summary.
// Backups and rewrites go to a RewriteQueue; their outcomes are settled strictly in list order
// (message lines, the count, the observer), so the run reads as if each file were finished in
// its own step.

#include "fileops/BatchCommands.h"
#include "fileops/RewriteQueue.h"
#include "fileops/TidyAhead.h"

#include <QSet>
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
    // The files rewritten so far, by a hash of their resolved path (8 bytes a file).
    QSet<quint64> m_rewritten;
};

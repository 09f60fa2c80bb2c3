#pragma once
// Follows a kelvane-batch run file by file (the run's BatchObserver) and turns what it learns
// into the report: each entry's status, its messages and the lines that explain a failure, in
// list order, streamed to the chosen writer; problems also go to standard error. It keeps only
// counts, so a list of millions of files costs no more memory than a list of ten.

#include "batch/Baseline.h"
#include "batch/BatchWorkItems.h"
#include "batch/ErrorOutput.h"
#include "batch/Report.h"

#include <deque>

class BatchReporter final : public BatchObserver {
public:
    BatchReporter(BatchCommand command, bool check, ReportWriter& writer, ErrorOutput& err,
                  FlaggedEntries& flags);

    // With a baseline, each file's messages are marked new or known before they are reported.
    void SetBaseline(Baseline* baseline) { m_baseline = baseline; }
    void Begin() { m_writer.Begin(); }
    void FileDone(const FileRecord& record) override;
    void NotProcessed(qint64 count, bool atLeast) override;
    // A message line of the run (the progress window's lines); it belongs to the next file
    // reported when it names that file, else to the run.
    void RunLine(const ProgressMessage& message);
    // A failure of the run itself, not of one file.
    void RunProblem(const QString& text);

    // Says the lines not yet said and writes the end of the report; answers the exit status
    // (0, 1 or 3) given whether the run ended by an error, or 128 + `signal` when a signal
    // stopped it.
    int Finish(bool runFailed, int signal = 0);

    const RunTally& Tally() const { return m_tally; }
    QString Summary() const;

private:
    void SayPendingLines();
    // The summary's first sentence: what the run did out of how many.
    QString RunSummary() const;

    const BatchCommand m_command;
    const bool m_check;
    ReportWriter& m_writer;
    ErrorOutput& m_err;
    FlaggedEntries& m_flags;
    RunTally m_tally;
    std::deque<ProgressMessage> m_pendingLines;
    Baseline* m_baseline = nullptr;
};

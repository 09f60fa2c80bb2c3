#pragma once
// What the report of a kelvane-batch run is made of: one FileReport per entry of the work list
// in list order, the run's tally, and the writers that put them on standard output as text,
// JSON or SARIF. Writers stream: nothing of a file is kept once it is written.

#include "batch/BatchArguments.h"
#include "fileops/BatchCommands.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

class ErrorOutput;

// The report of one entry.
struct FileReport {
    const FileRecord& record;
    QString status;       // "tidied", "clean", "read-only", "missing" ...
    QStringList problems; // lines that say why it was not processed, or a notice
    bool failed = false;  // it could not be processed (exit status 3)
    // With --baseline, one entry per report of the record: it is in the baseline (known), so
    // it neither counts nor shows in the text report. Empty without a baseline.
    std::vector<bool> known{};

    bool Known(qsizetype report) const {
        return size_t(report) < known.size() && known[size_t(report)];
    }
};

// The library's report levels by name: "info", "warning", "config", "access", "error",
// "bad-document", "fatal"; "other" for any later level.
QString LevelName(int level);
// TidyError, TidyBadDocument and TidyFatal.
bool IsErrorLevel(int level);
// The word compilers use: "note" (info), "warning" (warning, config, access), "error".
QString CompilerSeverity(int level);
// A FileOutcome as the report names it ("would-change", "backup-failed" ...).
QString OutcomeName(FileOutcome outcome);

// Counts of a run; bounded whatever the length of the list.
struct RunTally {
    qint64 files = 0; // entries of the list that the run reached
    QMap<QString, qint64> statuses;
    std::array<qint64, 8> messages{}; // reported, by level: info ... fatal, then other
    qint64 muted = 0;                 // not reported, but counted as the library counts them
    qint64 mutedErrors = 0;           // ... of them at Error level or worse
    qint64 known = 0;                 // reported and in the baseline
    qint64 failed = 0;                // entries not processed
    qint64 withErrors = 0;   // files with a message at Error level or worse that counts (muted
                             // ones do, those in the baseline do not)
    qint64 wouldChange = 0;  // --check / --diff
    qint64 runProblems = 0;  // failures of the run itself (a list that could not be read)
    qint64 notProcessed = 0; // entries never reached: the run ended at an error
    bool notProcessedAtLeast = false; // ... and the rest of a stream was not counted

    void Add(const FileReport& file);
    qint64 Status(const QString& status) const { return statuses.value(status); }
};

// Standard output for the report, remembering whether a write failed.
class ReportOutput {
public:
    explicit ReportOutput(std::FILE* out = stdout) : m_out(out) {}
    void Write(QByteArrayView bytes);
    void Write(const QString& text) { Write(QByteArrayView(text.toUtf8())); }
    // Hands what was written so far to the reader.
    void Flush() {
        if (std::fflush(m_out) != 0)
            m_failed = true;
    }
    // Flushes; false when anything could not be written.
    bool Finish();

private:
    std::FILE* m_out;
    bool m_failed = false;
};

struct ReportSettings {
    BatchCommand command = BatchCommand::Tidy;
    bool check = false;    // list the files that would change
    bool diff = false;     // print their changes
    bool baseline = false; // messages are marked new or known (--baseline)
};

class ReportWriter {
public:
    virtual ~ReportWriter() = default;
    virtual void Begin() = 0;
    virtual void File(const FileReport& file) = 0;
    // `summary` is the run's summary line; `exitStatus` what the process ends with.
    virtual void End(const RunTally& tally, const QString& summary, int exitStatus) = 0;
};

std::unique_ptr<ReportWriter> MakeReportWriter(ReportFormat format, const ReportSettings& settings,
                                               ReportOutput& out, ErrorOutput& err);

// The three writers.
std::unique_ptr<ReportWriter> MakeTextReport(const ReportSettings& settings, ReportOutput& out,
                                             ErrorOutput& err);
std::unique_ptr<ReportWriter> MakeJsonReport(const ReportSettings& settings, ReportOutput& out);
std::unique_ptr<ReportWriter> MakeSarifReport(const ReportSettings& settings, ReportOutput& out);

// The unified diff of a check run's record ("--- a/PATH", "+++ b/PATH"); empty when tidying
// changes nothing.
QByteArray RecordDiff(const FileRecord& record);
// `text` as a JSON string, quotes included.
QByteArray JsonQuoted(const QString& text);
// A text that carries names (a path, a problem line) as a JSON string, in the reports' form
// (platform::UnambiguousFileName): a name that is not UTF-8 and one that holds the characters
// of an escape never read alike.
QByteArray JsonName(const QString& text);

// The rule of a report: its message key, or for a report without one (made by the program
// itself) "tidy-" and its level name.
QByteArray RuleId(const TidyReport& report);

// The text of a report's message as it stands on one line: controls and line breaks escaped,
// and backslashes, so that an escape and the characters of one never read alike.
QString OneLineText(const QString& text);
// A path as reports show it to people (bytes that are not UTF-8, controls and backslashes
// escaped).
QString ShownPath(const QString& path);

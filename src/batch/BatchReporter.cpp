#include "batch/BatchReporter.h"

#include "support/Translation.h"

namespace {

// Lines of the run held back for the file they name at most; then they are said as they are.
constexpr size_t kMaxPendingLines = 256;

bool IsFailure(FileOutcome outcome) {
    switch (outcome) {
    case FileOutcome::Folder:
    case FileOutcome::ReadOnly:
    case FileOutcome::Vanished:
    case FileOutcome::InUse:
    case FileOutcome::LinkRefused:
    case FileOutcome::Forbidden:
    case FileOutcome::Declined:
    case FileOutcome::BackupFailed:
    case FileOutcome::Changed:
    case FileOutcome::NotAsReviewed:
    case FileOutcome::WriteFailed:
    case FileOutcome::WriteRefused:
    case FileOutcome::TidyFailed:
    case FileOutcome::Unreadable:
    case FileOutcome::NoBackup: // restore could not bring anything back
    case FileOutcome::RestoreFailed:
    case FileOutcome::EditedKept:
    case FileOutcome::RemoveFailed:
        return true;
    default:
        return false;
    }
}

// The line for an outcome that the run itself says nothing about.
QString UnsaidProblem(const FileRecord& record) {
    const char* text = nullptr;
    switch (record.outcome) {
    case FileOutcome::Folder:
        text = "%s: This is a folder. Give -r to process the files in it.";
        break;
    case FileOutcome::Declined:
        text = "%s: Tidying this file has produced a large number of HTML warnings, so it was "
               "not tidied. Give --force to tidy it anyway.";
        break;
    case FileOutcome::InBackupFolder:
        text = "%s: This file lies in a backup folder: it is a backup copy, which is never "
               "tidied or restored. It was passed over.";
        break;
    case FileOutcome::TidiedBefore:
        text = "%s: This file was tidied earlier in this run under this or another name; it "
               "was passed over, so that its backup keeps the original.";
        break;
    case FileOutcome::Unreadable:
        text = "Cannot access file \"%s\"";
        break;
    case FileOutcome::WriteFailed:
        text = "%s: The tidied text could not be written; the file is as it was.";
        break;
    default:
        return {};
    }
    return FillTemplate(Translate(QString::fromUtf8(text)), {record.path});
}

} // namespace

BatchReporter::BatchReporter(BatchCommand command, bool check, ReportWriter& writer,
                             ErrorOutput& err, FlaggedEntries& flags)
    : m_command(command), m_check(check), m_writer(writer), m_err(err), m_flags(flags) {}

void BatchReporter::RunLine(const ProgressMessage& message) {
    m_pendingLines.push_back(message);
    if (m_pendingLines.size() > kMaxPendingLines)
        SayPendingLines();
}

void BatchReporter::SayPendingLines() {
    for (const ProgressMessage& line : m_pendingLines)
        m_err.Line(line.text);
    m_pendingLines.clear();
}

void BatchReporter::RunProblem(const QString& text) {
    ++m_tally.runProblems;
    m_err.Line(text);
}

void BatchReporter::FileDone(const FileRecord& record) {
    FileReport file{record, OutcomeName(record.outcome), {}, IsFailure(record.outcome)};
    // The run's lines about this file explain it; others are the run's own.
    for (const ProgressMessage& line : m_pendingLines) {
        if (line.text.contains(record.path))
            file.problems.append(line.text);
        else
            m_err.Line(line.text);
    }
    m_pendingLines.clear();
    if (std::optional<FlaggedEntry> flag = m_flags.Take(m_tally.files)) {
        file.status = flag->status;
        file.problems = QStringList{flag->problem};
        file.failed = flag->failed;
    } else if (file.problems.isEmpty()) {
        const QString unsaid = UnsaidProblem(record);
        if (!unsaid.isEmpty())
            file.problems.append(unsaid);
    }
    if (record.outcome == FileOutcome::EditedKept)
        file.problems.append(FillTemplate(
            Translate(QStringLiteral("%s: Give --force to restore it; its text then goes to the "
                                     "trash first.")),
            {record.path}));
    for (const QString& problem : file.problems)
        m_err.Line(problem);
    if (m_baseline)
        file.known = m_baseline->Match(record.path, record.reports);
    m_tally.Add(file);
    m_writer.File(file);
}

void BatchReporter::NotProcessed(qint64 count, bool atLeast) {
    m_tally.notProcessed = count;
    m_tally.notProcessedAtLeast = atLeast;
}

QString BatchReporter::Summary() const {
    QString summary = RunSummary();
    const auto sentence = [&](const char* textTemplate, qint64 count) {
        summary += (summary.endsWith(QLatin1Char('.')) ? QStringLiteral(" ") : QStringLiteral(". ")) +
                   FillTemplate(Translate(QString::fromUtf8(textTemplate)),
                                                   {QString::number(count)});
    };
    if (const qint64 already = m_tally.Status(QStringLiteral("already-tidied")))
        sentence("%d files were already what tidying their backups gives. They were passed over "
                 "and their backups kept.",
                 already);
    if (m_tally.muted > 0)
        sentence(m_tally.mutedErrors > 0
                     ? "%d muted messages were not reported; they still count, as in HTML Tidy, "
                       "and those at Error level make the exit status 1."
                     : "%d muted messages were not reported.",
                 m_tally.muted);
    if (m_baseline)
        sentence("%d messages are in the baseline and do not count.", m_tally.known);
    if (m_tally.notProcessed > 0)
        sentence(m_tally.notProcessedAtLeast ? "At least %d entries of the list were not "
                                               "processed, because the run ended at an error."
                                             : "%d entries of the list were not processed, "
                                               "because the run ended at an error.",
                 m_tally.notProcessed);
    return summary;
}

QString BatchReporter::RunSummary() const {
    const auto filled = [this](const char* textTemplate, qint64 count) {
        return FillTemplate(Translate(QString::fromUtf8(textTemplate)),
                            {QString::number(count), QString::number(m_tally.files)});
    };
    switch (m_command) {
    case BatchCommand::Tidy:
        if (m_check)
            return filled("Kelvane - %d files out of %d would be changed by tidying",
                          m_tally.wouldChange);
        return filled("Kelvane - Tidied %d files out of %d",
                      m_tally.Status(QStringLiteral("tidied")));
    case BatchCommand::Validate:
        return FillTemplate(
            Translate(QStringLiteral(
                "Kelvane - Validated %d files out of %d: %d with messages, %d with errors")),
            {QString::number(m_tally.Status(QStringLiteral("clean")) +
                             m_tally.Status(QStringLiteral("has-messages"))),
             QString::number(m_tally.files),
             QString::number(m_tally.Status(QStringLiteral("has-messages"))),
             QString::number(m_tally.withErrors)});
    case BatchCommand::Restore:
        return filled("Kelvane - Restored %d files out of %d",
                      m_tally.Status(QStringLiteral("restored")));
    case BatchCommand::Clean:
        return filled("Kelvane - %d files out of %d have no backup left",
                      m_tally.Status(QStringLiteral("no-backup-left")));
    }
    return {};
}

int BatchReporter::Finish(bool runFailed, int signal) {
    SayPendingLines();
    int status = 0;
    if (signal != 0)
        status = 128 + signal; // as the shell will see it: the run did not get through its list
    else if (m_tally.failed > 0 || m_tally.runProblems > 0 || runFailed)
        status = 3;
    else if (m_tally.withErrors > 0 || m_tally.wouldChange > 0)
        status = 1;
    m_writer.End(m_tally, Summary(), status);
    return status;
}

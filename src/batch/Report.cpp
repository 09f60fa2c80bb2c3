#include "batch/Report.h"

#include "batch/UnifiedDiff.h"
#include "platform/FileNames.h"

#include <tidy/tidyenum.h>

namespace {

// The index of a level in RunTally::messages: Info ... Fatal, then anything else.
int LevelIndex(int level) {
    return level >= TidyInfo && level <= TidyFatal ? level - TidyInfo : 7;
}

} // namespace

QString LevelName(int level) {
    static const char* const names[] = {"info",  "warning",      "config", "access",
                                        "error", "bad-document", "fatal",  "other"};
    return QLatin1String(names[LevelIndex(level)]);
}

bool IsErrorLevel(int level) {
    return level == TidyError || level == TidyBadDocument || level == TidyFatal;
}

QString CompilerSeverity(int level) {
    if (IsErrorLevel(level))
        return QStringLiteral("error");
    return level == TidyInfo || LevelIndex(level) == 7 ? QStringLiteral("note")
                                                       : QStringLiteral("warning");
}

QString OutcomeName(FileOutcome outcome) {
    switch (outcome) {
    case FileOutcome::Folder:
        return QStringLiteral("folder");
    case FileOutcome::InBackupFolder:
        return QStringLiteral("backup-copy");
    case FileOutcome::Tidied:
        return QStringLiteral("tidied");
    case FileOutcome::TidiedBefore:
        return QStringLiteral("tidied-before");
    case FileOutcome::AlreadyTidied:
        return QStringLiteral("already-tidied");
    case FileOutcome::Vanished:
        return QStringLiteral("vanished");
    case FileOutcome::InUse:
        return QStringLiteral("in-use");
    case FileOutcome::LinkRefused:
        return QStringLiteral("link-refused");
    case FileOutcome::WouldChange:
        return QStringLiteral("would-change");
    case FileOutcome::Unchanged:
        return QStringLiteral("unchanged");
    case FileOutcome::ReadOnly:
        return QStringLiteral("read-only");
    case FileOutcome::Forbidden:
        return QStringLiteral("forbidden");
    case FileOutcome::Declined:
        return QStringLiteral("too-many-messages");
    case FileOutcome::BackupFailed:
        return QStringLiteral("backup-failed");
    case FileOutcome::Changed:
        return QStringLiteral("changed-meanwhile");
    case FileOutcome::NotAsReviewed:
        return QStringLiteral("not-as-reviewed");
    case FileOutcome::WriteFailed:
        return QStringLiteral("write-failed");
    case FileOutcome::WriteRefused:
        return QStringLiteral("write-refused");
    case FileOutcome::TidyFailed:
        return QStringLiteral("tidy-failed");
    case FileOutcome::Unreadable:
        return QStringLiteral("unreadable");
    case FileOutcome::Clean:
        return QStringLiteral("clean");
    case FileOutcome::HasMessages:
        return QStringLiteral("has-messages");
    case FileOutcome::Restored:
        return QStringLiteral("restored");
    case FileOutcome::NoBackup:
        return QStringLiteral("no-backup");
    case FileOutcome::LinkPassedOver:
        return QStringLiteral("link-passed-over");
    case FileOutcome::RestoreFailed:
        return QStringLiteral("restore-failed");
    case FileOutcome::EditedKept:
        return QStringLiteral("edited-after-tidy");
    case FileOutcome::BackupRemoved:
        return QStringLiteral("no-backup-left");
    case FileOutcome::RemoveFailed:
        return QStringLiteral("remove-failed");
    }
    return QStringLiteral("unknown");
}

void RunTally::Add(const FileReport& file) {
    ++files;
    ++statuses[file.status];
    if (file.failed)
        ++failed;
    bool errors = false;
    for (qsizetype i = 0; i < file.record.reports.size(); ++i) {
        const TidyReport& report = file.record.reports.at(i);
        const bool error = IsErrorLevel(report.level);
        if (report.muted) {
            ++muted;
            mutedErrors += error ? 1 : 0;
        } else {
            ++messages[size_t(LevelIndex(report.level))];
        }
        if (file.Known(i))
            ++known;
        else
            errors = errors || error;
    }
    if (errors)
        ++withErrors;
    if (file.record.outcome == FileOutcome::WouldChange && !file.failed)
        ++wouldChange;
}

void ReportOutput::Write(QByteArrayView bytes) {
    if (!bytes.isEmpty() &&
        std::fwrite(bytes.data(), 1, size_t(bytes.size()), m_out) != size_t(bytes.size()))
        m_failed = true;
}

bool ReportOutput::Finish() {
    if (std::fflush(m_out) != 0 || std::ferror(m_out))
        m_failed = true;
    return !m_failed;
}

QByteArray RuleId(const TidyReport& report) {
    return report.key.isEmpty() ? "tidy-" + LevelName(report.level).toLatin1() : report.key;
}

QString OneLineText(const QString& text) {
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    return platform::UnambiguousFileName(line);
}

QString ShownPath(const QString& path) {
    return platform::UnambiguousFileName(path);
}

std::unique_ptr<ReportWriter> MakeReportWriter(ReportFormat format, const ReportSettings& settings,
                                               ReportOutput& out, ErrorOutput& err) {
    switch (format) {
    case ReportFormat::Json:
        return MakeJsonReport(settings, out);
    case ReportFormat::Sarif:
        return MakeSarifReport(settings, out);
    case ReportFormat::Text:
        break;
    }
    return MakeTextReport(settings, out, err);
}

QByteArray RecordDiff(const FileRecord& record) {
    QByteArray name = platform::EncodeFileName(record.path);
    while (name.startsWith('/'))
        name.remove(0, 1);
    return UnifiedDiff(record.original, record.tidied, "a/" + name, "b/" + name);
}

QByteArray JsonName(const QString& text) {
    // JSON escapes the controls itself.
    return JsonQuoted(platform::UnambiguousFileName(text, true));
}

QByteArray JsonQuoted(const QString& text) {
    // Bytes of a name that are not UTF-8 cannot stand in JSON: they are shown escaped.
    const QByteArray utf8 = platform::HasUndecodableBytes(text)
                                ? platform::UnambiguousFileName(text, true).toUtf8()
                                : text.toUtf8();
    QByteArray quoted;
    quoted.reserve(utf8.size() + 2);
    quoted += '"';
    for (const char c : utf8) {
        switch (c) {
        case '"':
            quoted += "\\\"";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '\t':
            quoted += "\\t";
            break;
        default:
            if (uchar(c) < 0x20)
                quoted += "\\u00" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
            else
                quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

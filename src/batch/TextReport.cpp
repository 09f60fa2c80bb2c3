// The text report: one line per message in the form compilers use, so that editors and CI
// annotators pick it up ("PATH:LINE:COLUMN: LEVEL: MESSAGE [KEY]"), then the summary line.
// Muted messages and those of the baseline are left out. A check
// run lists the files tidying would change instead, and a diff run prints their changes; their
// summary goes to standard error, so that standard output stays a list or a patch.

#include "batch/ErrorOutput.h"
#include "batch/Report.h"

namespace {

class TextReport final : public ReportWriter {
public:
    TextReport(const ReportSettings& settings, ReportOutput& out, ErrorOutput& err)
        : m_settings(settings), m_out(out), m_err(err) {}

    void Begin() override {}

    void File(const FileReport& file) override {
        const FileRecord& record = file.record;
        if (m_settings.diff) {
            if (record.outcome == FileOutcome::WouldChange)
                m_out.Write(QByteArrayView(RecordDiff(record)));
            return;
        }
        if (m_settings.check) {
            if (record.outcome == FileOutcome::WouldChange)
                m_out.Write(ShownPath(record.path) + QLatin1Char('\n'));
            return;
        }
        const QString path = ShownPath(record.path);
        for (qsizetype i = 0; i < record.reports.size(); ++i) {
            const TidyReport& report = record.reports.at(i);
            if (report.muted || file.Known(i))
                continue;
            const QString key = report.key.isEmpty()
                                    ? QString()
                                    : QStringLiteral(" [%1]").arg(QString::fromLatin1(report.key));
            m_out.Write(QStringLiteral("%1:%2:%3: %4: %5%6\n")
                            .arg(path)
                            .arg(report.line)
                            .arg(report.column)
                            .arg(CompilerSeverity(report.level),
                                 OneLineText(QString::fromUtf8(report.text)), key));
        }
    }

    void End(const RunTally&, const QString& summary, int) override {
        if (m_settings.check || m_settings.diff)
            m_err.Plain(summary + QLatin1Char('\n'));
        else
            m_out.Write(summary + QLatin1Char('\n'));
    }

private:
    const ReportSettings m_settings;
    ReportOutput& m_out;
    ErrorOutput& m_err;
};

} // namespace

std::unique_ptr<ReportWriter> MakeTextReport(const ReportSettings& settings, ReportOutput& out,
                                             ErrorOutput& err) {
    return std::make_unique<TextReport>(settings, out, err);
}

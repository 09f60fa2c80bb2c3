// The JSON report: one object. Its "files" array is written as the run goes, one file per
// line, and the counts come after it, so that nothing of a file is kept once it is written.
//   {"tool":"kelvane-batch","version":..,"command":..,
//    "files":[{"path":..,"status":..,"failed":..,"problems":[..],
//              "messages":[{"line":..,"column":..,"level":..,"rule":..,"text":..,
//                           "baselineState":..}],"diff":..}, ...],
//    "counts":{..,"notProcessed":..},"summary":..,"exitStatus":..}
// "notProcessed" counts the entries a run that ended at an error never reached. Muted messages
// are not listed, only counted ("muted"); "baselineState" (new or unchanged) is there with
// --baseline only.

#include "batch/Report.h"
#include "platform/FileNames.h"

namespace {

QByteArray Number(qint64 value) {
    return QByteArray::number(value);
}

class JsonReport final : public ReportWriter {
public:
    JsonReport(const ReportSettings& settings, ReportOutput& out)
        : m_settings(settings), m_out(out) {}

    void Begin() override {
        m_out.Write(QByteArrayView("{\"tool\":\"kelvane-batch\",\"version\":" +
                                   JsonQuoted(QStringLiteral(KELVANE_VERSION)) + ",\"command\":" +
                                   JsonQuoted(CommandName(m_settings.command)) + ",\"files\":["));
    }

    void File(const FileReport& file) override {
        const FileRecord& record = file.record;
        QByteArray json = m_first ? "\n{" : ",\n{";
        m_first = false;
        json += "\"path\":" + JsonName(record.path);
        if (platform::HasUndecodableBytes(record.path))
            json += ",\"pathBytes\":\"" + platform::EncodeFileName(record.path).toBase64() + '"';
        json += ",\"status\":" + JsonQuoted(file.status);
        json += file.failed ? ",\"failed\":true" : ",\"failed\":false";
        if (!file.problems.isEmpty()) {
            json += ",\"problems\":[";
            for (qsizetype i = 0; i < file.problems.size(); ++i)
                json += (i ? "," : "") + JsonName(file.problems.at(i));
            json += ']';
        }
        json += ",\"messages\":[";
        bool firstMessage = true;
        for (qsizetype i = 0; i < record.reports.size(); ++i) {
            const TidyReport& report = record.reports.at(i);
            if (report.muted)
                continue;
            json += (firstMessage ? "{" : ",{");
            firstMessage = false;
            json += "\"line\":" + Number(report.line) + ",\"column\":" + Number(report.column) +
                    ",\"level\":" + JsonQuoted(LevelName(report.level));
            if (!report.key.isEmpty())
                json += ",\"rule\":" + JsonQuoted(QString::fromLatin1(report.key));
            json += ",\"text\":" + JsonQuoted(QString::fromUtf8(report.text));
            if (m_settings.baseline)
                json += file.Known(i) ? ",\"baselineState\":\"unchanged\""
                                      : ",\"baselineState\":\"new\"";
            json += '}';
        }
        json += ']';
        if (m_settings.diff && record.outcome == FileOutcome::WouldChange)
            json += ",\"diff\":" + JsonQuoted(QString::fromUtf8(RecordDiff(record)));
        json += '}';
        m_out.Write(QByteArrayView(json));
    }

    void End(const RunTally& tally, const QString& summary, int exitStatus) override {
        QByteArray json =
            "\n],\"counts\":{\"files\":" + Number(tally.files) +
            ",\"failed\":" + Number(tally.failed) + ",\"withErrors\":" + Number(tally.withErrors) +
            ",\"wouldChange\":" + Number(tally.wouldChange) +
            ",\"notProcessed\":" + Number(tally.notProcessed) +
            ",\"notProcessedAtLeast\":" + (tally.notProcessedAtLeast ? "true" : "false") +
            ",\"muted\":" + Number(tally.muted) + ",\"inBaseline\":" + Number(tally.known) +
            ",\"statuses\":{";
        bool first = true;
        for (auto it = tally.statuses.begin(); it != tally.statuses.end(); ++it) {
            json += (first ? "" : ",") + JsonQuoted(it.key()) + ':' + Number(it.value());
            first = false;
        }
        json += "},\"messages\":{";
        for (size_t level = 0; level < tally.messages.size(); ++level)
            json += (level ? "," : "") + JsonQuoted(LevelName(int(level) + TidyInfo)) + ':' +
                    Number(tally.messages[level]);
        json += "}},\"summary\":" + JsonQuoted(summary) + ",\"exitStatus\":" + Number(exitStatus) +
                "}\n";
        m_out.Write(QByteArrayView(json));
    }

private:
    const ReportSettings m_settings;
    ReportOutput& m_out;
    bool m_first = true;
};

} // namespace

std::unique_ptr<ReportWriter> MakeJsonReport(const ReportSettings& settings, ReportOutput& out) {
    return std::make_unique<JsonReport>(settings, out);
}

// The SARIF 2.1.0 report for code-scanning services: one run of the tool "Kelvane" with a rule
// per kind of message (HTML Tidy's report levels, a file that could not be processed, a file
// that tidying would change), each result with its file and, where the library gave one, its
// region. Results are written as the run goes; the rules are known before it starts.

#include "batch/Report.h"
#include "platform/FileNames.h"

#include <iterator>

namespace {

struct Rule {
    const char* id;
    const char* name;
    const char* description;
    const char* level; // SARIF's: note, warning, error
};

// Indexes 0 to 7 follow RunTally::messages (Info ... Fatal, other).
const Rule kRules[] = {
    {"tidy-info", "TidyInfo", "HTML Tidy information about the markup", "note"},
    {"tidy-warning", "TidyWarning", "HTML Tidy warning", "warning"},
    {"tidy-config", "TidyConfig", "HTML Tidy configuration problem", "warning"},
    {"tidy-access", "TidyAccess", "HTML Tidy accessibility remark", "warning"},
    {"tidy-error", "TidyError", "HTML Tidy error", "error"},
    {"tidy-bad-document", "TidyBadDocument", "HTML Tidy: the document is badly broken", "error"},
    {"tidy-fatal", "TidyFatal", "HTML Tidy could not process the document", "error"},
    {"tidy-other", "TidyOther", "HTML Tidy report of another kind", "note"},
    {"kelvane-not-processed", "NotProcessed", "The file could not be processed", "error"},
    {"kelvane-would-change", "WouldChange", "Tidying would change the file", "error"},
};
constexpr int kNotProcessed = 8;
constexpr int kWouldChange = 9;

int RuleOf(int level) {
    return level >= TidyInfo && level <= TidyFatal ? level - TidyInfo : 7;
}

// A path as a URI reference: relative paths stay relative (to the folder the run started in,
// as code-scanning services expect), absolute ones become file: URIs. Every byte that is not
// unreserved is percent-encoded, so names that are not UTF-8 keep their bytes.
QByteArray Uri(const QString& path) {
    QByteArray bytes = platform::EncodeFileName(path);
    while (bytes.startsWith("./"))
        bytes.remove(0, 2);
    const QByteArray encoded = bytes.toPercentEncoding("/");
    return bytes.startsWith('/') ? "file://" + encoded : encoded;
}

class SarifReport final : public ReportWriter {
public:
    SarifReport(const ReportSettings& settings, ReportOutput& out) : m_out(out) {
        Q_UNUSED(settings);
    }

    void Begin() override {
        QByteArray json =
            "{\"$schema\":\"https://json.schemastore.org/sarif-2.1.0.json\",\"version\":\"2.1.0\","
            "\"runs\":[{\"tool\":{\"driver\":{\"name\":\"Kelvane\",\"version\":" +
            JsonQuoted(QStringLiteral(KELVANE_VERSION)) + ",\"rules\":[";
        for (size_t i = 0; i < std::size(kRules); ++i) {
            const Rule& rule = kRules[i];
            json += QByteArray(i ? ",\n" : "\n") + "{\"id\":\"" + rule.id + "\",\"name\":\"" +
                    rule.name + "\",\"shortDescription\":{\"text\":\"" + rule.description +
                    "\"},\"defaultConfiguration\":{\"level\":\"" + rule.level + "\"}}";
        }
        json += "]}},\"results\":[";
        m_out.Write(QByteArrayView(json));
    }

    void File(const FileReport& file) override {
        const FileRecord& record = file.record;
        const QByteArray uri = Uri(record.path);
        for (const TidyReport& report : record.reports)
            Result(RuleOf(report.level), JsonQuoted(QString::fromUtf8(report.text)), uri,
                   report.line, report.column);
        if (file.failed)
            Result(kNotProcessed,
                   file.problems.isEmpty() ? JsonQuoted(file.status)
                                           : JsonName(file.problems.join(QLatin1Char(' '))),
                   uri, 0, 0);
        else if (record.outcome == FileOutcome::WouldChange)
            Result(kWouldChange, JsonQuoted(QStringLiteral("Tidying would change this file.")), uri,
                   0, 0);
    }

    void End(const RunTally& tally, const QString&, int exitStatus) override {
        // 0 and 1 are runs that did their work; 2 and 3 are not.
        QByteArray json = QByteArray("\n],\"invocations\":[{\"executionSuccessful\":") +
                          (exitStatus == 0 || exitStatus == 1 ? "true" : "false") +
                          ",\"exitCode\":" + QByteArray::number(exitStatus);
        if (tally.notProcessed > 0)
            json += ",\"properties\":{\"notProcessed\":" +
                    QByteArray::number(tally.notProcessed) + ",\"notProcessedAtLeast\":" +
                    (tally.notProcessedAtLeast ? "true" : "false") + '}';
        m_out.Write(QByteArrayView(json + "}]}]}\n"));
    }

private:
    // `text` is the message, quoted as JSON.
    void Result(int rule, const QByteArray& text, const QByteArray& uri, int line, int column) {
        QByteArray json = m_first ? "\n{" : ",\n{";
        m_first = false;
        json += "\"ruleId\":\"" + QByteArray(kRules[rule].id) +
                "\",\"ruleIndex\":" + QByteArray::number(rule) + ",\"level\":\"" +
                kRules[rule].level + "\",\"message\":{\"text\":" + text +
                "},\"locations\":[{\"physicalLocation\":{\"artifactLocation\":{\"uri\":" +
                JsonQuoted(QString::fromLatin1(uri)) + '}';
        // The library's document-wide reports have no place (line 0).
        if (line >= 1) {
            json += ",\"region\":{\"startLine\":" + QByteArray::number(line);
            if (column >= 1)
                json += ",\"startColumn\":" + QByteArray::number(column);
            json += '}';
        }
        json += "}}]}";
        m_out.Write(QByteArrayView(json));
    }

    ReportOutput& m_out;
    bool m_first = true;
};

} // namespace

std::unique_ptr<ReportWriter> MakeSarifReport(const ReportSettings& settings, ReportOutput& out) {
    return std::make_unique<SarifReport>(settings, out);
}

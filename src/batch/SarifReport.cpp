// The SARIF 2.1.0 report for code-scanning services: one run of the tool "Kelvane" with a rule
// per HTML Tidy message key ("MISSING_ENDTAG_FOR"), so that a service can tell one kind of
// message from another, plus rules for a file that could not be processed and a file that
// tidying would change. Each result has its file and, where the library gave one, its region;
// with --baseline, its baselineState (new or unchanged). Results are written as the run goes and
// the run's rules after them (JSON members have no order): only the rules met are listed, each
// at the most severe level it was met with.

#include "batch/Report.h"
#include "engine/TidyMessageKeys.h"
#include "platform/FileNames.h"

#include <QHash>
#include <vector>

namespace {

// Rules of reports without a message key (the program's own: a crashed helper), by level.
const char* const kLevelDescriptions[] = {"HTML Tidy information about the markup",
                                          "HTML Tidy warning",
                                          "HTML Tidy configuration problem",
                                          "HTML Tidy accessibility remark",
                                          "HTML Tidy error",
                                          "HTML Tidy: the document is badly broken",
                                          "HTML Tidy could not process the document",
                                          "HTML Tidy report of another kind"};

QByteArray SarifLevel(int level) {
    const QString severity = CompilerSeverity(level);
    return severity == QLatin1String("error")     ? "error"
           : severity == QLatin1String("warning") ? "warning"
                                                  : "note";
}

int Severity(const QByteArray& level) {
    return level == "error" ? 2 : level == "warning" ? 1 : 0;
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
    SarifReport(const ReportSettings& settings, ReportOutput& out)
        : m_baseline(settings.baseline), m_out(out) {}

    void Begin() override {
        m_out.Write(QByteArrayView(
            "{\"$schema\":\"https://json.schemastore.org/sarif-2.1.0.json\",\"version\":\"2.1.0\","
            "\"runs\":[{\"results\":["));
    }

    void File(const FileReport& file) override {
        const FileRecord& record = file.record;
        const QByteArray uri = Uri(record.path);
        for (qsizetype i = 0; i < record.reports.size(); ++i) {
            const TidyReport& report = record.reports.at(i);
            if (report.muted)
                continue;
            const QByteArray level = SarifLevel(report.level);
            const int rule = report.key.isEmpty()
                                 ? RuleIndex(RuleId(report),
                                             QString::fromLatin1(kLevelDescriptions[std::min(
                                                 7, std::max(0, report.level - TidyInfo))]),
                                             level)
                                 : RuleIndex(report.key, {}, level);
            Result(rule, level, JsonQuoted(QString::fromUtf8(report.text)), uri, report.line, report.column,
                   m_baseline ? (file.Known(i) ? "unchanged" : "new") : nullptr);
        }
        if (file.failed)
            Result(RuleIndex("kelvane-not-processed",
                             QStringLiteral("The file could not be processed"), "error"),
                   "error",
                   file.problems.isEmpty() ? JsonQuoted(file.status)
                                      : JsonName(file.problems.join(QLatin1Char(' '))),
                   uri, 0, 0, nullptr);
        else if (record.outcome == FileOutcome::WouldChange)
            Result(RuleIndex("kelvane-would-change",
                             QStringLiteral("Tidying would change the file"), "error"),
                   "error", JsonQuoted(QStringLiteral("Tidying would change this file.")), uri, 0, 0,
                   nullptr);
    }

    void End(const RunTally& tally, const QString&, int exitStatus) override {
        QByteArray json = "\n],\"tool\":{\"driver\":{\"name\":\"Kelvane\",\"version\":" +
                          JsonQuoted(QStringLiteral(KELVANE_VERSION)) + ",\"rules\":[";
        for (size_t i = 0; i < m_rules.size(); ++i) {
            const Rule& rule = m_rules[i];
            json += QByteArray(i ? ",\n" : "\n") +
                    "{\"id\":" + JsonQuoted(QString::fromLatin1(rule.id)) +
                    ",\"shortDescription\":{\"text\":" + JsonQuoted(rule.description) +
                    "},\"defaultConfiguration\":{\"level\":\"" + rule.level + "\"}}";
        }
        // 0 and 1 are runs that did their work; 2 and 3 are not.
        json += QByteArray("]}},\"invocations\":[{\"executionSuccessful\":") +
                (exitStatus == 0 || exitStatus == 1 ? "true" : "false") +
                ",\"exitCode\":" + QByteArray::number(exitStatus);
        if (tally.notProcessed > 0)
            json += ",\"properties\":{\"notProcessed\":" + QByteArray::number(tally.notProcessed) +
                    ",\"notProcessedAtLeast\":" + (tally.notProcessedAtLeast ? "true" : "false") +
                    '}';
        m_out.Write(QByteArrayView(json + "}]}]}\n"));
    }

private:
    struct Rule {
        QByteArray id;
        QString description;
        QByteArray level; // the most severe met
    };

    // The index of the rule `id`, added at its first use; a key's description comes from the
    // library's own text for it.
    int RuleIndex(const QByteArray& id, const QString& description, const QByteArray& level) {
        auto found = m_ruleIndex.constFind(id);
        if (found == m_ruleIndex.constEnd()) {
            m_rules.push_back(
                {id, description.isEmpty() ? MessageKeyDescription(id) : description, level});
            found = m_ruleIndex.insert(id, int(m_rules.size() - 1));
        }
        Rule& rule = m_rules[size_t(*found)];
        if (Severity(level) > Severity(rule.level))
            rule.level = level;
        return *found;
    }

    // `text` is the message, quoted as JSON.
    void Result(int rule, const QByteArray& level, const QByteArray& text, const QByteArray& uri,
                int line, int column, const char* baselineState) {
        QByteArray json = m_first ? "\n{" : ",\n{";
        m_first = false;
        json += "\"ruleId\":" + JsonQuoted(QString::fromLatin1(m_rules[size_t(rule)].id)) +
                ",\"ruleIndex\":" + QByteArray::number(rule) + ",\"level\":\"" + level +
                "\",\"message\":{\"text\":" + text +
                "},\"locations\":[{\"physicalLocation\":{\"artifactLocation\":{\"uri\":" +
                JsonQuoted(QString::fromLatin1(uri)) + '}';
        // The library's document-wide reports have no place (line 0).
        if (line >= 1) {
            json += ",\"region\":{\"startLine\":" + QByteArray::number(line);
            if (column >= 1)
                json += ",\"startColumn\":" + QByteArray::number(column);
            json += '}';
        }
        json += "}}]";
        if (baselineState)
            json += ",\"baselineState\":\"" + QByteArray(baselineState) + '"';
        m_out.Write(QByteArrayView(json + '}'));
    }

    const bool m_baseline;
    ReportOutput& m_out;
    bool m_first = true;
    std::vector<Rule> m_rules;
    QHash<QByteArray, int> m_ruleIndex;
};

} // namespace

std::unique_ptr<ReportWriter> MakeSarifReport(const ReportSettings& settings, ReportOutput& out) {
    return std::make_unique<SarifReport>(settings, out);
}

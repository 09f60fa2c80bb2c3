#include "batch/BatchArguments.h"

#include "fileops/FileMask.h"

#include <functional>

namespace {

constexpr int kMaxJobs = 64;

[[noreturn]] void Refuse(const QString& reason) {
    throw UsageError(reason);
}

// Every mask of `filter` must be well formed (a malformed one would end the run later).
void CheckMasks(const QString& filter) {
    for (const QString& mask : MaskList(filter))
        MatchesMask(QString(), mask); // throws for a malformed mask
}

int ParseJobs(const QString& text) {
    bool ok = false;
    const int jobs = text.toInt(&ok);
    if (!ok || jobs < 1 || jobs > kMaxJobs)
        Refuse(QStringLiteral("--jobs wants a whole number from 1 to %1, not '%2'")
                   .arg(kMaxJobs)
                   .arg(text));
    return jobs;
}

ReportFormat ParseFormat(const QString& text) {
    if (text == QLatin1String("text"))
        return ReportFormat::Text;
    if (text == QLatin1String("json"))
        return ReportFormat::Json;
    if (text == QLatin1String("sarif"))
        return ReportFormat::Sarif;
    Refuse(QStringLiteral("--format wants text, json or sarif, not '%1'").arg(text));
}

CacheStrategy ParseCacheStrategy(const QString& text) {
    if (text == QLatin1String("content"))
        return CacheStrategy::Content;
    if (text == QLatin1String("metadata"))
        return CacheStrategy::Metadata;
    Refuse(QStringLiteral("--cache-strategy wants content or metadata, not '%1'").arg(text));
}

std::optional<BatchCommand> ParseCommand(const QString& text) {
    if (text == QLatin1String("tidy"))
        return BatchCommand::Tidy;
    if (text == QLatin1String("validate"))
        return BatchCommand::Validate;
    if (text == QLatin1String("restore"))
        return BatchCommand::Restore;
    if (text == QLatin1String("clean"))
        return BatchCommand::Clean;
    return std::nullopt;
}

class Parser {
public:
    explicit Parser(const QStringList& arguments) : m_arguments(arguments) {}

    BatchArguments Parse() {
        bool optionsEnded = false;
        std::optional<BatchCommand> command;
        std::optional<QString> unknownCommand;
        for (m_next = 0; m_next < m_arguments.size();) {
            const QString argument = m_arguments.at(m_next++);
            if (!optionsEnded && argument == QLatin1String("--")) {
                optionsEnded = true;
            } else if (!optionsEnded && argument.startsWith(QLatin1String("--"))) {
                Long(argument.mid(2));
            } else if (!optionsEnded && argument.size() > 1 &&
                       argument.startsWith(QLatin1Char('-'))) {
                Short(argument.mid(1));
            } else if (!command && !unknownCommand) {
                command = ParseCommand(argument);
                if (!command)
                    unknownCommand = argument; // a path, if --print-options comes
            } else {
                m_result.paths.append(argument);
            }
        }
        if (m_result.help || m_result.version)
            return m_result;
        if (unknownCommand && m_result.printOptions) {
            m_result.paths.prepend(*unknownCommand);
        } else if (unknownCommand) {
            Refuse(QStringLiteral("unknown command '%1' (tidy, validate, restore or clean)")
                       .arg(*unknownCommand));
        }
        if (m_result.printOptions) {
            // Needs no command: the paths, if any, say whose project it is.
            if (command)
                m_result.command = *command;
            CheckOptionSources();
            return m_result;
        }
        if (!command)
            Refuse(QStringLiteral("no command given (tidy, validate, restore or clean)"));
        m_result.command = *command;
        Check();
        return m_result;
    }

private:
    // The value of a switch: what follows '=' or the switch's letter, else the next argument.
    QString Value(const QString& name, std::optional<QString> attached) {
        if (attached)
            return *attached;
        if (m_next >= m_arguments.size())
            Refuse(QStringLiteral("%1 needs a value").arg(name));
        return m_arguments.at(m_next++);
    }

    void Long(const QString& body) {
        const qsizetype equals = body.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? body : body.left(equals);
        const std::optional<QString> attached =
            equals < 0 ? std::nullopt : std::optional<QString>(body.mid(equals + 1));
        const QString shown = QStringLiteral("--") + name;
        const auto flag = [&](bool& target) {
            if (attached)
                Refuse(QStringLiteral("%1 takes no value").arg(shown));
            target = true;
        };
        if (name == QLatin1String("recursive"))
            flag(m_result.recursive);
        else if (name == QLatin1String("null"))
            flag(m_result.nullSeparated);
        else if (name == QLatin1String("check"))
            flag(m_result.check);
        else if (name == QLatin1String("diff"))
            flag(m_result.diff);
        else if (name == QLatin1String("force"))
            flag(m_result.force);
        else if (name == QLatin1String("quiet"))
            flag(m_result.quiet);
        else if (name == QLatin1String("cache"))
            flag(m_result.cache);
        else if (name == QLatin1String("no-cache")) {
            bool off = false;
            flag(off);
            m_result.cache = false;
        } else if (name == QLatin1String("cache-location"))
            SetOnce(m_result.cacheLocation, shown, Value(shown, attached));
        else if (name == QLatin1String("cache-strategy"))
            m_result.cacheStrategy = ParseCacheStrategy(Value(shown, attached));
        else if (name == QLatin1String("help"))
            flag(m_result.help);
        else if (name == QLatin1String("version"))
            flag(m_result.version);
        else if (name == QLatin1String("print-options"))
            flag(m_result.printOptions);
        else if (name == QLatin1String("mute"))
            m_result.mute.append(Value(shown, attached));
        else if (name == QLatin1String("tidy-config"))
            SetOnce(m_result.tidyConfig, shown, Value(shown, attached));
        else if (name == QLatin1String("baseline"))
            SetOnce(m_result.baseline, shown, Value(shown, attached));
        else if (name == QLatin1String("write-baseline"))
            SetOnce(m_result.writeBaseline, shown, Value(shown, attached));
        else if (name == QLatin1String("mask"))
            m_result.masks = Value(shown, attached);
        else if (name == QLatin1String("jobs"))
            m_result.jobs = ParseJobs(Value(shown, attached));
        else if (name == QLatin1String("files-from"))
            SetOnce(m_result.filesFrom, shown, Value(shown, attached));
        else if (name == QLatin1String("options"))
            SetOnce(m_result.optionsFile, shown, Value(shown, attached));
        else if (name == QLatin1String("format"))
            m_result.format = ParseFormat(Value(shown, attached));
        else
            Refuse(QStringLiteral("unknown switch '%1'").arg(shown));
    }

    // A cluster of one-letter switches ("-rq"); a letter that takes a value takes the rest of
    // the cluster, or the next argument.
    void Short(const QString& cluster) {
        for (qsizetype i = 0; i < cluster.size(); ++i) {
            const QChar letter = cluster.at(i);
            const QString shown = QStringLiteral("-") + letter;
            const std::optional<QString> rest =
                i + 1 < cluster.size() ? std::optional<QString>(cluster.mid(i + 1)) : std::nullopt;
            switch (letter.unicode()) {
            case 'r':
                m_result.recursive = true;
                break;
            case 'q':
                m_result.quiet = true;
                break;
            case '0':
                m_result.nullSeparated = true;
                break;
            case 'h':
                m_result.help = true;
                break;
            case 'm':
                m_result.masks = Value(shown, rest);
                return;
            case 'j':
                m_result.jobs = ParseJobs(Value(shown, rest));
                return;
            default:
                Refuse(QStringLiteral("unknown switch '%1'").arg(shown));
            }
        }
    }

    static void SetOnce(std::optional<QString>& target, const QString& name, QString value) {
        if (target)
            Refuse(QStringLiteral("%1 is given twice").arg(name));
        target = std::move(value);
    }

    void CheckOptionSources() const {
        const BatchArguments& r = m_result;
        if (r.optionsFile && r.tidyConfig)
            Refuse(QStringLiteral("--options and --tidy-config are two sources of the tidy "
                                  "options: give one"));
        if (r.command == BatchCommand::Restore || r.command == BatchCommand::Clean) {
            for (const auto& [given, name] :
                 {std::pair{r.cacheLocation.has_value(), "--cache-location"},
                  std::pair{r.cacheStrategy.has_value(), "--cache-strategy"}})
                if (given)
                    Refuse(QStringLiteral("%1 goes with tidy and validate only")
                               .arg(QLatin1String(name)));
        }
        if (!r.cache && (r.cacheLocation || r.cacheStrategy))
            Refuse(QStringLiteral("--no-cache leaves no cache for %1")
                       .arg(r.cacheLocation ? QStringLiteral("--cache-location")
                                            : QStringLiteral("--cache-strategy")));
        if (r.cacheLocation && r.cacheLocation->isEmpty())
            Refuse(QStringLiteral("--cache-location wants a folder"));
        if (r.masks) {
            try {
                CheckMasks(*r.masks);
            } catch (const KelvaneError& error) {
                Refuse(QStringLiteral("--mask: ") + error.message());
            }
        }
    }

    void Check() const {
        CheckOptionSources();
        const BatchArguments& r = m_result;
        const bool messages =
            r.command == BatchCommand::Tidy || r.command == BatchCommand::Validate;
        for (const auto& [given, name] : {std::pair{bool(r.baseline), "--baseline"},
                                          std::pair{bool(r.writeBaseline), "--write-baseline"}})
            if (given && !messages)
                Refuse(
                    QStringLiteral("%1 goes with tidy and validate only").arg(QLatin1String(name)));
        if (r.command != BatchCommand::Tidy) {
            for (const auto& [given, name] :
                 {std::pair{r.check, "--check"}, std::pair{r.diff, "--diff"}})
                if (given)
                    Refuse(QStringLiteral("%1 goes with tidy only").arg(QLatin1String(name)));
            if (r.force && r.command != BatchCommand::Restore)
                Refuse(QStringLiteral("--force goes with tidy and restore only"));
        }
        if (r.nullSeparated && !r.filesFrom)
            Refuse(QStringLiteral("-0 goes with --files-from"));
        if (r.paths.isEmpty() && !r.filesFrom)
            Refuse(QStringLiteral("no PATH given (or --files-from FILE)"));
    }

    const QStringList& m_arguments;
    qsizetype m_next = 0;
    BatchArguments m_result;
};

} // namespace

BatchArguments ParseBatchArguments(const QStringList& arguments) {
    return Parser(arguments).Parse();
}

QString CommandName(BatchCommand command) {
    switch (command) {
    case BatchCommand::Tidy:
        return QStringLiteral("tidy");
    case BatchCommand::Validate:
        return QStringLiteral("validate");
    case BatchCommand::Restore:
        return QStringLiteral("restore");
    case BatchCommand::Clean:
        return QStringLiteral("clean");
    }
    return {};
}

QString BatchUsageText() {
    return QStringLiteral(
        "Usage: kelvane-batch tidy|validate|restore|clean [options] PATH...\n"
        "Tidies HTML files in place with HTML Tidy, keeping a backup of each in a \"Kelvane\n"
        "Backup\" folder beside it; validates them; restores them from their backups; removes\n"
        "the backups. The tidy options come from the nearest .kelvane.ini above each PATH (up\n"
        "to the repository's root), else from the Kelvane window's settings; the paths of one\n"
        "run must share that file.\n"
        "\n"
        "  -r, --recursive          descend into folders (without it, a folder is an error)\n"
        "  -m, --mask MASKS         ';'-separated file masks for folders (default: the stored\n"
        "                           File Types Filter, else \"*.htm;*.html;*.asp;*.php\")\n"
        "  -j, --jobs N             helper processes (default: one per core, at most 8)\n"
        "      --files-from FILE    also the paths in FILE ('-': standard input), one a line\n"
        "  -0, --null               paths in FILE are separated by NUL bytes\n"
        "      --options FILE       tidy options from this settings file's [FormTidyProperties]\n"
        "                           (and its [FormKelvaneOptions] EditFileFilter.Text)\n"
        "      --tidy-config FILE   tidy options from HTML Tidy's own configuration file\n"
        "      --mute KEY[,KEY]     report no message of these HTML Tidy message keys (they\n"
        "                           still count, as in HTML Tidy)\n"
        "      --print-options      say which options file is used, print the options, stop\n"
        "      --baseline FILE      only messages not in this earlier JSON report count\n"
        "      --write-baseline FILE  also write this run's JSON report to FILE\n"
        "      --check              tidy: write nothing; list the files tidying would change\n"
        "      --diff               tidy: write nothing; print each change as a unified diff\n"
        "      --force              tidy: also files with very many messages; restore: also\n"
        "                           files changed since they were tidied (their text goes to\n"
        "                           the trash)\n"
        "      --format FORMAT      report on standard output: text, json or sarif\n"
        "      --cache, --no-cache  validate, tidy: reuse HTML Tidy's results for pages seen\n"
        "                           before with the same options (on by default)\n"
        "      --cache-location DIR keep them in DIR (default: $XDG_CACHE_HOME/kelvane)\n"
        "      --cache-strategy content|metadata\n"
        "                           content (default): every page is read and its bytes are\n"
        "                           the key; metadata: validate trusts a file's device, inode,\n"
        "                           size and times and skips reading it (faster, but blind to\n"
        "                           an edit that leaves all of them as they were)\n"
        "  -q, --quiet              no progress bar\n"
        "  -h, --help               this text\n"
        "      --version            the program's version\n"
        "\n"
        "Each message ends with HTML Tidy's message key: \"PATH:LINE:COLUMN: LEVEL: TEXT [KEY]\".\n"
        "\n"
        "Exit status: 0 all done and no message at Error level; 1 Error-level messages (with\n"
        "--baseline: new ones), or files that --check/--diff would change; 2 usage or option\n"
        "errors; 3 a file could not be processed, or restore left a file changed since it was\n"
        "tidied (the others were done). Ctrl+C finishes the file in hand and stops.\n");
}

#include "batch/BatchProgram.h"

#include "batch/Baseline.h"
#include "batch/BatchPrompts.h"
#include "batch/BatchReporter.h"
#include "batch/BatchSettings.h"
#include "batch/InterruptWatch.h"
#include "batch/ProjectOptions.h"
#include "batch/TerminalProgress.h"
#include "engine/TidyEngine.h"
#include "engine/TidyProcessPool.h"
#include "engine/TidyResultCache.h"
#include "fileops/FileMask.h"
#include "platform/ProgramFiles.h"
#include "support/Translation.h"

#include <cstring>

namespace {

// About a second of work for the helpers on ordinary pages; pages of several MB are tidied in
// their own step rather than ahead.
constexpr qsizetype kLookAheadEntries = 1024;
constexpr qint64 kLookAheadBytes = qint64(4) << 20;
// Validation keeps no tidied text, only reports: more pages fit ahead in the same memory.
constexpr qint64 kValidateLookAheadBytes = qint64(16) << 20;

// The validate run fills a page per file; the report is made from the run's records instead
// (they carry the library's reports with their levels), so only the page in hand is kept.
class PageInHand final : public ErrorPages {
public:
    int FindErrorPage(const QString&) const override { return -1; }
    int AddErrorPage(const QString& path) override {
        m_page = std::make_unique<TTidyErrors>(path);
        return 0;
    }
    TTidyErrors* Page(int) override { return m_page.get(); }
    void SelectPage(int) override {}
    void ClosePage(int) override { m_page.reset(); }
    void ShowErrorPane(bool) override {}
    void ShowRunSummary(const QString&, const QStringList&) override {}

private:
    std::unique_ptr<TTidyErrors> m_page;
};

class PromptsInstalled {
public:
    explicit PromptsInstalled(Prompts& prompts) { SetPrompts(&prompts); }
    ~PromptsInstalled() { SetPrompts(nullptr); }
    PromptsInstalled(const PromptsInstalled&) = delete;
    PromptsInstalled& operator=(const PromptsInstalled&) = delete;
};

// The masks for folders; a malformed stored filter is an option error like a malformed -m.
QStringList FolderMasks(const QString& filter, const BatchArguments& arguments) {
    const QStringList masks = MaskList(filter);
    try {
        for (const QString& mask : masks)
            MatchesMask(QString(), mask);
    } catch (const KelvaneError& error) {
        throw UsageError((arguments.masks ? QStringLiteral("--mask: ")
                                          : QStringLiteral("the File Types Filter: ")) +
                         error.message());
    }
    return masks;
}

// Hands each file's report to two writers: standard output's and the baseline file's.
class BothWriters final : public ReportWriter {
public:
    BothWriters(ReportWriter& first, ReportWriter& second) : m_first(first), m_second(second) {}
    void Begin() override {
        m_first.Begin();
        m_second.Begin();
    }
    void File(const FileReport& file) override {
        m_first.File(file);
        m_second.File(file);
    }
    void End(const RunTally& tally, const QString& summary, int exitStatus) override {
        m_first.End(tally, summary, exitStatus);
        m_second.End(tally, summary, exitStatus);
    }

private:
    ReportWriter& m_first;
    ReportWriter& m_second;
};

// What a run takes from its settings, once they are known to be usable.
struct RunSettings {
    QStringList masks;
    BatchOptionsSource source;
    std::optional<Baseline> baseline;
};

// The run itself, once the settings are known to be usable.
int Run(const BatchArguments& arguments, RunSettings& settings, ErrorOutput& err) {
    FlaggedEntries flags;
    ReportOutput out(stdout);
    ReportSettings reportSettings{arguments.command, arguments.check && !arguments.diff,
                                  arguments.diff};
    reportSettings.baseline = settings.baseline.has_value();
    const std::unique_ptr<ReportWriter> shown =
        MakeReportWriter(arguments.format, reportSettings, out, err);
    BaselineFile baselineFile;
    std::unique_ptr<ReportOutput> baselineOut;
    std::unique_ptr<ReportWriter> baselineWriter;
    std::unique_ptr<ReportWriter> both;
    if (arguments.writeBaseline) {
        try {
            baselineFile.Open(*arguments.writeBaseline);
        } catch (const UsageError& error) {
            err.Line(error.message());
            return 2;
        }
        baselineOut = std::make_unique<ReportOutput>(baselineFile.Stream());
        ReportSettings plain = reportSettings;
        plain.check = plain.diff = false; // a baseline lists messages, never a patch
        baselineWriter = MakeJsonReport(plain, *baselineOut);
        both = std::make_unique<BothWriters>(*shown, *baselineWriter);
    }
    ReportWriter& writer = both ? *both : *shown;
    BatchReporter reporter(arguments.command, arguments.WritesNothing(), writer, err, flags);
    if (settings.baseline)
        reporter.SetBaseline(&*settings.baseline);

    BatchPrompts prompts(err, arguments.force);
    const PromptsInstalled installed(prompts);

    TidyPoolSettings poolSettings = DefaultTidyPoolSettings();
    if (arguments.jobs > 0)
        poolSettings.helperCount = arguments.jobs;
    TidyProcessPool pool(poolSettings);
    const ScopedTidyRunner runner(pool);
    // Results of earlier runs; a cache that cannot be used costs a line, never the run.
    std::unique_ptr<TidyResultCache> cache;
    if (arguments.cache &&
        (arguments.command == BatchCommand::Tidy || arguments.command == BatchCommand::Validate))
        cache = TidyResultCache::Open(
            arguments.cacheLocation.value_or(QString()),
            [&](const QString& line) { err.Line(line); },
            arguments.cacheStrategy.value_or(CacheStrategy::Content));
    const ScopedTidyResultCache cacheInstalled(cache.get());

    FileProgressRun* progressRun = nullptr;
    InterruptWatch watch([&] {
        if (progressRun)
            progressRun->Cancel();
    });

    std::unique_ptr<PathList> list;
    if (arguments.filesFrom) {
        try {
            list = std::make_unique<PathList>(
                *arguments.filesFrom, arguments.nullSeparated,
                [&](const QString& text) { reporter.RunProblem(text); }, watch.WakeFd());
        } catch (const KelvaneError& error) {
            err.Line(error.message());
            return 2;
        }
    }
    // A file of another project than the run's would be tidied with options not its own.
    ProjectOptionsFinder projects;
    std::function<bool(const QString&, bool)> inProject;
    if (settings.source.sameProject)
        inProject = [&](const QString& path, bool knownFile) {
            QString problem;
            try {
                const QString project = projects.For(path, knownFile);
                if (project == settings.source.project)
                    return true;
                problem = QStringLiteral("%1: not processed: it lies in the project of %2, not "
                                         "in that of this run's options (%3); run kelvane-batch "
                                         "for that project on its own")
                              .arg(ShownPath(path),
                                   project.isEmpty() ? QStringLiteral("no options file")
                                                     : ShownPath(project),
                                   ShownPath(settings.source.path));
            } catch (const UsageError& error) {
                problem =
                    QStringLiteral("%1: not processed: %2").arg(ShownPath(path), error.message());
            }
            reporter.RunProblem(problem);
            return false;
        };
    BatchWorkItems items(arguments.paths, list.get(),
                         {arguments.command, arguments.recursive, settings.masks,
                          [] { return InterruptWatch::Signal() != 0; }, [&] { out.Flush(); },
                          inProject},
                         flags);

    TerminalProgressView::Hooks hooks;
    hooks.message = [&](const ProgressMessage& message) { reporter.RunLine(message); };
    hooks.listed = [&] { return std::pair<qint64, bool>{items.Listed(), items.Complete()}; };
    TerminalProgressView view(err, hooks);
    FileProgressRun progress(view);
    progress.SetKeepMessages(false); // the report has them; a long run must not pile them up
    progressRun = &progress;
    // A signal that came before the run started reaches it at its first file.
    view.SetBeforeItem([&] {
        if (InterruptWatch::Signal() != 0 && !progress.IsCancelled())
            progress.Cancel();
    });

    PageInHand pages;
    BatchEnvironment environment;
    environment.progress = &progress;
    environment.pages = &pages;
    environment.observer = &reporter;
    environment.unreadableFileEndsRun = false;
    // Nobody is asked: a page changed since it was tidied is restored only with --force.
    environment.replaceEditedPage = [force = arguments.force](const QString&) { return force; };
    // Memory must not grow with the list: the window's look-ahead of 8,192 entries holds that
    // many tidied pages with their reports, and a few very large messy pages hold hundreds of MB.
    environment.lookAhead = kLookAheadEntries;
    environment.lookAheadBytes =
        arguments.command == BatchCommand::Validate ? kValidateLookAheadBytes : kLookAheadBytes;
    BatchCommands commands(environment);
    if (arguments.WritesNothing())
        commands.SetTidyWriteMode(TidyWriteMode::Check);

    reporter.Begin();
    switch (arguments.command) {
    case BatchCommand::Tidy:
        commands.RunTidyBatch(items);
        break;
    case BatchCommand::Validate:
        commands.RunValidateBatch(items);
        break;
    case BatchCommand::Restore:
        commands.RunRestoreBatch(items);
        break;
    case BatchCommand::Clean:
        commands.RunRemoveBackupsBatch(items);
        break;
    }
    progressRun = nullptr;
    // The signal is taken once, so the report and the exit status tell the same story.
    const int signal = InterruptWatch::Signal();
    int status = reporter.Finish(commands.RunFailed(), signal);
    if (!out.Finish()) {
        err.Line(QStringLiteral("the report could not be written to standard output"));
        status = 3;
    }
    if (arguments.writeBaseline) {
        // Only a whole run makes a baseline: a stopped one would forget the files it missed.
        QString error;
        if (signal != 0 || commands.RunFailed()) {
            err.Line(QStringLiteral("--write-baseline %1: not written, as the run did not get "
                                    "through its list")
                         .arg(ShownPath(*arguments.writeBaseline)));
            if (status == 0 || status == 1)
                status = 3;
        } else if (!baselineOut->Finish() || !baselineFile.Commit(error)) {
            err.Line(QStringLiteral("--write-baseline %1: %2")
                         .arg(ShownPath(*arguments.writeBaseline),
                              error.isEmpty() ? QStringLiteral("could not be written") : error));
            status = 3;
        }
    }
    if (signal != 0) {
        err.Line(QStringLiteral("stopped by SIG%1: the files after the last one reported were "
                                "left as they were")
                     .arg(QString::fromLatin1(sigabbrev_np(signal))));
        status = 128 + signal;
    }
    return status;
}

} // namespace

int RunBatchProgram(const QStringList& argumentList) {
    BatchArguments arguments;
    try {
        arguments = ParseBatchArguments(argumentList);
    } catch (const UsageError& error) {
        ErrorOutput err(stderr, false);
        err.Line(error.message());
        err.Line(QStringLiteral("Try 'kelvane-batch --help'."));
        return 2;
    }
    if (arguments.help) {
        std::fputs(BatchUsageText().toUtf8().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 3;
    }
    if (arguments.version) {
        std::printf("kelvane-batch %s\n", KELVANE_VERSION);
        return std::fflush(stdout) == 0 ? 0 : 3;
    }

    ErrorOutput err(stderr, !arguments.quiet);
    try {
        // The backup folder's name is translated: the window's language file decides it here too.
        for (const QString& problem : LoadLanguageFile(platform::LanguageFileFolder()))
            err.Line(problem);
        RunSettings settings;
        try {
            settings.source = ChooseBatchOptions(arguments);
            const QString filter = RunFileFilter(arguments, settings.source);
            settings.masks = FolderMasks(filter, arguments);
            if (arguments.printOptions) {
                std::fputs(PrintedOptions(settings.source, filter).toUtf8().constData(), stdout);
                return std::fflush(stdout) == 0 ? 0 : 3;
            }
            if (arguments.baseline)
                settings.baseline = Baseline::Load(*arguments.baseline);
        } catch (const UsageError& error) {
            err.Line(error.message());
            return 2;
        }
        return Run(arguments, settings, err);
    } catch (const std::exception& error) {
        err.Line(ErrorMessage(error));
        return 3;
    }
}

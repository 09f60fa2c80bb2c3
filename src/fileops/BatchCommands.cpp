#include "fileops/BatchCommands.h"

#include "engine/TidyOptionMapping.h"
#include "fileops/TidyAhead.h"
#include "fileops/TidyRun.h"
#include "fileops/ValidateRun.h"
#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/Translation.h"

namespace {

// How far into a streamed list (whose length is not known) the options dialog's sample is
// looked for: millions of unreadable entries must not be held in memory for it.
constexpr qsizetype kStreamSampleSearchLimit = 4096;

// Notes the folders a selection is expanded from: what is found below them is reached from
// them without following links.
class RootsOfScans final : public FolderScanner {
public:
    RootsOfScans(FolderScanner& scanner, TreeRoots& roots) : m_scanner(scanner), m_roots(roots) {}
    bool ScanFolder(const QString& folder, const QString& filter, QStringList& target) override {
        m_roots.Add(folder);
        return m_scanner.ScanFolder(folder, filter, target);
    }

private:
    FolderScanner& m_scanner;
    TreeRoots& m_roots;
};

class BusyFlag {
public:
    explicit BusyFlag(bool& busy) : m_busy(busy) { m_busy = true; }
    ~BusyFlag() { m_busy = false; }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

private:
    bool& m_busy;
};

} // namespace

BatchCommands::BatchCommands(BatchEnvironment environment) : m_env(std::move(environment)) {}

QString ProcessingCaption(const QString& path) {
    return FillTemplate(Translate(QStringLiteral("Processing %s")),
                        {path.mid(path.lastIndexOf(QLatin1Char('/')) + 1)});
}

QString LinkLeavesTreeLine() {
    return QStringLiteral("%s: This symbolic link leads out of the folder named for the run, "
                          "and nothing outside that folder is followed. The file was left as "
                          "it is.");
}

bool AskYesNoAll(const QString& question, bool& remember) {
    const int answer = CurrentPrompts().Message(question, DialogKind::Error,
                                                Button::Yes | Button::No | Button::YesToAll);
    if (answer == mrYesToAll)
        remember = true;
    return answer != mrNo;
}

// --- Command frames ---

void BatchCommands::AsBusyCommand(const std::function<void()>& command) {
    if (m_busy)
        return;
    BusyFlag busy(m_busy);
    // Nothing may escape into the event loop that called the action.
    ReportRunError(command);
}

void BatchCommands::ReselectAfterRun() {
    if (m_env.reselectAfterRun)
        m_env.reselectAfterRun();
    m_reselectPaths.clear();
}

bool BatchCommands::Confirm(const QString& question) {
    return CurrentPrompts().Message(Translate(question), DialogKind::Warning,
                                    Button::Yes | Button::No) == mrYes;
}

namespace {

const QString kRestoreQuestion = QStringLiteral(
    "This will restore the selected files.\r\n\r\nAny changes you have made to the selected files "
    "after tidying them will be lost.\r\n\r\nDo you wish to continue?");
const QString kRemovalQuestion = QStringLiteral(
    "This will remove the Tidy backup files for the selection.\r\n\r\nIt will not be possible to "
    "restore these files.\r\n\r\nDo you want to continue?");

} // namespace

void BatchCommands::Command(const CommandFrame& frame) {
    AsBusyCommand([&] {
        if (!m_env.selection || !m_env.scanner)
            return;
        if (!frame.question.isEmpty() && !Confirm(frame.question))
            return; // nothing is gathered
        if (frame.saveSelection)
            GatherSelection(*m_env.selection, *m_env.scanner, m_reselectPaths, false);
        QStringList list;
        TreeRoots roots;
        RootsOfScans scanner(*m_env.scanner, roots);
        switch (frame.from) {
        case WorkListFrom::Selection:
            GatherSelection(*m_env.selection, scanner, list, false);
            break;
        case WorkListFrom::ExpandedSelection:
            GatherSelection(*m_env.selection, scanner, list, true);
            break;
        case WorkListFrom::TreeFolder:
            GatherTreeFolder(*m_env.selection, scanner, list);
            break;
        }
        ListWorkItems items(std::move(list), std::move(roots));
        frame.run(items); // each run returns at once for an empty list
        if (frame.reselect)
            ReselectAfterRun();
    });
}

void BatchCommands::Tidy() {
    Command({{},
             WorkListFrom::ExpandedSelection,
             true,
             [this](WorkItems& items) { RunTidyBatch(items); },
             false});
    // Also when another command was still running: its files are shown as they are now.
    ReselectAfterRun();
}

void BatchCommands::FolderTidy() {
    Command({{},
             WorkListFrom::TreeFolder,
             false,
             [this](WorkItems& items) { RunTidyBatch(items); },
             false});
}

void BatchCommands::Validate() {
    Command({{},
             WorkListFrom::Selection,
             false,
             [this](WorkItems& items) { RunValidateBatch(items); },
             false});
}

void BatchCommands::Restore() {
    Command({kRestoreQuestion, WorkListFrom::ExpandedSelection, true,
             [this](WorkItems& items) { RunRestoreBatch(items); }, true});
}

void BatchCommands::FolderRestore() {
    Command({kRestoreQuestion, WorkListFrom::TreeFolder, false,
             [this](WorkItems& items) { RunRestoreBatch(items); }, false});
}

void BatchCommands::RemoveBackups() {
    // ReselectPaths stays empty: the refreshed list selects nothing.
    Command({kRemovalQuestion, WorkListFrom::ExpandedSelection, false,
             [this](WorkItems& items) { RunRemoveBackupsBatch(items); }, true});
}

void BatchCommands::FolderRemoveBackups() {
    Command({kRemovalQuestion, WorkListFrom::TreeFolder, false,
             [this](WorkItems& items) { RunRemoveBackupsBatch(items); }, true});
}

void BatchCommands::ReviewChanges(const TidyRunSettings& settings) {
    Command({{},
             WorkListFrom::ExpandedSelection,
             false,
             [&](WorkItems& items) { RunTidyBatch(items, settings); },
             false});
}

void BatchCommands::TidyPaths(const QStringList& paths, const TreeRoots& roots,
                              const TidyRunSettings& settings) {
    AsBusyCommand([&] {
        if (m_env.selection && m_env.scanner)
            GatherSelection(*m_env.selection, *m_env.scanner, m_reselectPaths, false);
        ListWorkItems items(paths, roots);
        RunTidyBatch(items, settings);
        if (settings.mode == TidyWriteMode::Write) // the files' marks and details changed
            ReselectAfterRun();
        m_reselectPaths.clear();
    });
}

// --- Runs ---

void BatchCommands::ReportRunError(const std::function<void()>& run) {
    try {
        run();
    } catch (const SilentAbort&) {
        // A cancelled wait or dialog: nothing to say.
    } catch (const KelvaneError& error) {
        m_state.runFailed = true;
        ShowError(error.message());
    } catch (const std::exception& error) {
        m_state.runFailed = true;
        ShowError(QString::fromLocal8Bit(error.what()));
    }
}

bool BatchCommands::BeginLookAhead(TidyAhead& ahead) {
    m_state.runFailed = false;
    if (!m_env.progress)
        return false;
    ahead.SetMaxAhead(m_env.lookAhead, m_env.lookAheadBytes);
    return !ahead.IsEmpty();
}

void BatchCommands::RunTidyBatch(WorkItems& items) {
    TidyRunSettings settings;
    settings.mode = m_writeMode;
    RunTidyBatch(items, settings);
}

void BatchCommands::RunTidyBatch(WorkItems& items, const TidyRunSettings& settings) {
    TidyAhead ahead(items, settings.mode == TidyWriteMode::Write);
    if (!BeginLookAhead(ahead))
        return;
    ReportRunError([&] {
        if (settings.optionsDialog) {
            const QString sample =
                ahead.FindSample(items.Count() >= 0 ? items.Count() : kStreamSampleSearchLimit);
            if (!CurrentPrompts().EditTidyOptions(sample,
                                                  Translate(QStringLiteral("Tidy Options"),
                                                            QStringLiteral("TFormTidyProperties"))))
                return; // cancelled: no file is touched
        }
        // Option errors show here, before any file is touched.
        const ResolvedTidyOptions options = ResolveOptions(CurrentOptionSet());
        if (settings.starting &&
            !settings.starting(options, items.Roots() ? *items.Roots() : TreeRoots()))
            return;
        BatchEnvironment environment = m_env;
        if (settings.observer)
            environment.observer = settings.observer;
        if (settings.pages)
            environment.pages = settings.pages;
        if (!settings.caption.isEmpty())
            environment.tidyCaption = settings.caption;
        if (settings.vetoRewrite)
            environment.vetoRewrite = settings.vetoRewrite;
        if (settings.unreadableFileEndsRun)
            environment.unreadableFileEndsRun = *settings.unreadableFileEndsRun;
        m_state.tidyDespiteWarnings = !settings.askManyWarnings;
        m_state.continueWithoutAsking = false;
        m_state.successCount = 0;
        TidyRun run(m_state, environment, ahead, settings.mode);
        run.Execute(options);
    });
    m_state.tidyDespiteWarnings = false;
    m_state.continueWithoutAsking = false;
}

void BatchCommands::RunValidateBatch(WorkItems& items) {
    TidyAhead ahead(items);
    if (!BeginLookAhead(ahead))
        return;
    ReportRunError([&] {
        const ResolvedTidyOptions options = ResolveOptions(CurrentOptionSet());
        m_state.successCount = 0;
        ValidateRun run(m_state, m_env, ahead);
        run.Execute(options);
    });
}

void BatchCommands::RunBatch(WorkItems& items, const QString& caption, TNextItemEvent step,
                             TNotifyEvent finished) {
    m_state.runFailed = false;
    if (!m_env.progress)
        return;
    // To see whether the list is empty, and for its folders, in which restore and clean write.
    TidyAhead peekable(items, true);
    if (peekable.IsEmpty())
        return;
    m_runFiles = &peekable.Files();
    struct Forget {
        RunFiles*& files;
        ~Forget() { files = nullptr; }
    } forget{m_runFiles};
    m_state.successCount = 0;
    FileProgressRun& progress = *m_env.progress;
    progress.Caption = caption;
    progress.OnNextItem = std::move(step);
    progress.OnNameQuery = [](FileProgressRun&, const QString& path) {
        return ProcessingCaption(path);
    };
    progress.OnFinished = std::move(finished);
    ReportRunError([&] {
        try {
            progress.RunItems(peekable);
        } catch (...) {
            progress.ResetRun();
            throw;
        }
        progress.ResetRun();
    });
}

void BatchCommands::Observe(FileRecord record) {
    if (m_env.observer)
        m_env.observer->FileDone(record);
}

#include "fileops/TidyRun.h"

#include "engine/TidyBatch.h"
#include "fileops/BackupStore.h"
#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/Translation.h"

#include <sys/stat.h>

namespace {

// The many-warnings question comes above this many items of the message text.
constexpr int kManyWarnings = 300;
// How often a file that keeps changing while its question is open is tidied again.
constexpr int kMaxRetidy = 2;
// Outcomes waiting behind a slow rewrite at most; then the step waits for it (bounded memory
// when a disk stalls under a long list).
constexpr size_t kMaxPending = 4096;

QString Filled(const char* textTemplate, const QStringList& values) {
    return FillTemplate(Translate(QString::fromUtf8(textTemplate)), values);
}

// The system's reason why a file could not be opened, as the file-open error says it.
QString FileOpenError(const QString& path, int code) {
    try {
        RaiseFileOpenError(path, qt_error_string(code));
    } catch (const KelvaneError& error) {
        return error.message();
    }
}

const QString kReadOnlyLine = QStringLiteral("%s: File is read-only. This file cannot be tidied.");

// The file-creation error of a file whose tidied text could not be written.
[[noreturn]] void CannotWrite(const QString& path, const QString& reason) {
    RaiseFileCreateError(path, reason);
}

} // namespace

TidyRun::TidyRun(BatchRunState& state, const BatchEnvironment& environment, TidyAhead& items,
                 TidyWriteMode mode)
    : m_state(state), m_env(environment), m_items(items), m_mode(mode),
      m_rewrites(items.Files(), items.Shares().rewrites) {}

void TidyRun::Execute(const ResolvedTidyOptions& options) {
    FileProgressRun& progress = *m_env.progress;
    progress.Caption = Translate(m_env.tidyCaption.isEmpty() ? QStringLiteral("Tidying Files...")
                                                             : m_env.tidyCaption);
    progress.OnNextItem = [this](FileProgressRun& run, const QString& path) {
        return TidyFileStep(run, path);
    };
    progress.OnNameQuery = [](FileProgressRun&, const QString& path) {
        return ProcessingCaption(path);
    };
    progress.OnFinished = [this](FileProgressRun& run) { TidyFinished(run); };
    progress.OnCancelQuery = [this](FileProgressRun& run) { return ConfirmStopTidy(run); };

    // Backup copies and read-only files are not even opened (PageUse::Tidy). A file's backup
    // is tidied beside it: a file that is what its backup gives was tidied from it already.
    TidyAhead::Settings settings;
    settings.backups = true;
    settings.refuseForbidden = true;
    settings.use = PageUse::Tidy;
    // Short of descriptors: the rewrites in flight finish and let go of theirs.
    settings.releaseDescriptors = [this] { Settle(true); };
    // What a run writes is checked for the result cache, so that the next run needs no tidy.
    settings.checkOutput = m_mode == TidyWriteMode::Write;
    settings.stopped = [&progress] { return progress.IsCancelled(); };
    m_items.Start(options, CurrentTidyRunner(), std::move(settings));
    try {
        progress.RunItems(m_items);
    } catch (const SilentAbort&) {
        // A cancelled wait: what was handed over is finished, as after Cancel.
        m_items.Stop();
        Settle(true, false);
        progress.ResetRun();
        throw;
    } catch (...) {
        // The files already handed to the rewrite queue are finished; nothing after them.
        m_items.Stop();
        Settle(true, false);
        SayNotProcessed(progress, m_notRun + (m_stepDecided ? 0 : 1));
        progress.ResetRun();
        throw;
    }
    progress.ResetRun();
}

bool TidyRun::Decided(FileRecord record, FileOutcome outcome, const QString& errorTemplate) {
    const QString line =
        errorTemplate.isEmpty() ? QString() : FillTemplate(Translate(errorTemplate), {record.path});
    return DecidedWithLine(std::move(record), outcome, line);
}

bool TidyRun::DecidedWithLine(FileRecord record, FileOutcome outcome, const QString& line) {
    m_stepDecided = true;
    record.outcome = outcome;
    Pending pending;
    if (!line.isEmpty())
        pending.line = ProgressMessage{line, MessageMark::Error};
    pending.counts = outcome == FileOutcome::WouldChange || outcome == FileOutcome::Unchanged;
    pending.record = std::move(record);
    m_pending.push_back(std::move(pending));
    Settle(false);
    return true;
}

std::optional<PageFile> TidyRun::Prepare(const QString& path) {
    const auto decided = [&](FileOutcome outcome, const QString& errorTemplate = {}) {
        FileRecord record;
        record.path = path;
        Decided(std::move(record), outcome, errorTemplate);
        return std::nullopt;
    };
    const bool check = m_mode == TidyWriteMode::Check;
    OpenedPage opened = m_items.Open(path, LinkRule::FollowOwned);
    for (;;) {
        switch (opened.state) {
        case PageState::Opened:
            break;
        case PageState::Folder:
            return decided(FileOutcome::Folder);
        case PageState::Missing:
            return decided(FileOutcome::Vanished,
                           QStringLiteral("%s: The file no longer exists. It was moved or deleted "
                                          "while the run was under way."));
        case PageState::NotRegular:
            return decided(FileOutcome::Unreadable,
                           QStringLiteral("%s: This is not a regular file. It may be a pipe, a "
                                          "device or a socket, and cannot be tidied."));
        case PageState::LinkNotFollowed:
        case PageState::LinkRefused:
            return decided(FileOutcome::LinkRefused,
                           QStringLiteral("%s: This is another user's symbolic link to a file "
                                          "that is not his. Kelvane does not follow it."));
        case PageState::LinkLeavesTree:
            return decided(FileOutcome::LinkRefused, LinkLeavesTreeLine());
        case PageState::InBackupFolder:
            // Its backup would push the original out of reach. Passed over without a line of
            // the run: a folder's scan lists the copies in its backup folders too.
            return decided(FileOutcome::InBackupFolder);
        case PageState::ReadOnly:
            return decided(FileOutcome::ReadOnly, kReadOnlyLine);
        case PageState::Failed: {
            // One file that cannot be opened is a line; the run goes on with the next.
            FileRecord record;
            record.path = path;
            DecidedWithLine(std::move(record), FileOutcome::Unreadable,
                            FileOpenError(path, opened.error));
            return std::nullopt;
        }
        }
        PageFile& page = opened.page;
        if (page.ReadOnly()) // made read-only since it was looked at
            return decided(FileOutcome::ReadOnly, kReadOnlyLine);
        if (page.st.st_size > kMaxDocumentBytes)
            return decided(FileOutcome::Unreadable,
                           QStringLiteral("%s: File is too large to be tidied."));
        if (check)
            return std::move(page);
        // The same file earlier in the list (another name, a link) is rewritten first; then
        // the name may lead elsewhere.
        if (m_rewrites.WaitForFile(page.Key())) {
            opened = m_items.Open(path, LinkRule::FollowOwned);
            continue;
        }
        // Tidied a second time, its backup would take the once-tidied text.
        if (page.WrittenBy(m_items.Files()))
            return decided(FileOutcome::TidiedBefore);
        if (!page.LockAgainstOtherRuns())
            return decided(FileOutcome::InUse,
                           QStringLiteral("%s: Another Kelvane run is working on this file. It "
                                          "was left to that run."));
        return std::move(page);
    }
}

std::optional<TidiedDocument> TidyRun::Read(PageFile page) {
    const QString path = page.path;
    try {
        return m_items.Tidy(std::move(page));
    } catch (const FileReadError& error) {
        // A file that cannot be read ends the run (the window's way) unless the run goes on.
        if (m_env.unreadableFileEndsRun)
            throw;
        FileRecord record;
        record.path = path;
        DecidedWithLine(std::move(record), FileOutcome::Unreadable, error.message());
        return std::nullopt;
    }
}

bool TidyRun::TidyFileStep(FileProgressRun& run, const QString& path) {
    m_stepDecided = false;
    Settle(m_pending.size() >= kMaxPending || m_items.Shares().oneAtATime);
    FileRecord record;
    record.path = path;
    const bool check = m_mode == TidyWriteMode::Check;

    std::optional<TidiedDocument> document;
    for (int retidied = 0;; ++retidied) {
        document.reset(); // its hold on the file goes before the file is opened again
        std::optional<PageFile> page = Prepare(path);
        if (!page)
            return true;
        document = Read(std::move(*page));
        if (!document)
            return true;
        if (document->forbidden)
            return Decided(std::move(record), FileOutcome::Forbidden,
                           QStringLiteral("%s: File is forbidden and cannot be tidied. It may be "
                                          "a program or other binary file."));
        const TidyResult& result = document->result;
        if (result.status != TidyRunStatus::Completed)
            return CannotBeTidied(run, std::move(record), result);
        // Tidied from its backup already (an earlier or overlapping run): tidying it again
        // would put tidied text in the backup and the original out of reach.
        if (document->tidiedFromBackup) {
            ++m_alreadyTidied;
            record.reports = result.reports;
            return Decided(std::move(record), FileOutcome::AlreadyTidied);
        }
        if (!HasManyWarnings(result))
            break;
        Settle(true); // the lines so far are in the window while the question is open
        if (!AskYesNoAll(ManyWarningsQuestion(), m_state.tidyDespiteWarnings)) {
            record.reports = result.reports;
            return Decided(std::move(record), FileOutcome::Declined);
        }
        // The question took its time: what the user agreed to must still be the file.
        if (retidied == kMaxRetidy ||
            (document->page.Unchanged(&document->original) && document->page.StillNamed()))
            break;
    }

    record.reports = std::move(document->result.reports);
    if (check) {
        record.original = std::move(document->original);
        record.tidied = std::move(document->result.output);
        const FileOutcome outcome =
            record.original == record.tidied ? FileOutcome::Unchanged : FileOutcome::WouldChange;
        return Decided(std::move(record), outcome);
    }
    if (m_env.vetoRewrite) {
        if (const std::optional<QString> line =
                m_env.vetoRewrite(path, document->original, document->result.output))
            return Decided(std::move(record), FileOutcome::NotAsReviewed, *line);
    }
    m_stepDecided = true;
    Pending pending;
    pending.rewrite = m_rewrites.Submit(std::move(document->page), std::move(document->original),
                                        std::move(document->result.output));
    pending.record = std::move(record);
    m_pending.push_back(std::move(pending));
    return true;
}

QString ManyWarningsQuestion() {
    return Translate(QStringLiteral("Tidying this file has produced a large number of HTML "
                                    "warnings. Automatically tidying  this file may delete some "
                                    "valid content.\r\n\r\nDo you wish to tidy this file?"));
}

bool TidyRun::HasManyWarnings(const TidyResult& result) const {
    return !m_state.tidyDespiteWarnings &&
           CountMessageTokens(TidyMessageText(result.reports, MessageLines::Counted)) >
               kManyWarnings;
}

bool TidyRun::CannotBeTidied(FileProgressRun& run, FileRecord record, const TidyResult& result) {
    record.reports = result.reports;
    const QString path = record.path;
    Decided(std::move(record), FileOutcome::TidyFailed,
            QStringLiteral("%s: The file cannot be tidied. It may have too many HTML errors for "
                           "Kelvane to process."));
    Settle(true);
    const QString detail = Filled("File cannot be tidied.\r\n\r\n%s\r\n\r\nThis file may have "
                                  "too many HTML errors for Kelvane to process.",
                                  {path});
    // The last entry has nothing after it to ask about. A streamed list's end is not known.
    const qsizetype count = m_items.Count();
    if (count >= 0 && run.CurrentItem() + 1 == count) {
        CurrentPrompts().Message(detail, DialogKind::Error, Button::Ok);
        return true;
    }
    if (m_state.continueWithoutAsking)
        return true;
    return AskYesNoAll(Translate(QStringLiteral("Do you wish to continue tidying files?")) +
                           QStringLiteral("\r\n\r\n") + detail,
                       m_state.continueWithoutAsking);
}

bool TidyRun::ConfirmStopTidy(FileProgressRun&) {
    if (CurrentPrompts().Message(
            Translate(QStringLiteral("This will stop the tidy operation. Are you sure?")),
            DialogKind::Confirmation, Button::Yes | Button::No) != mrYes)
        return false;
    Pending pending;
    pending.line = ProgressMessage{Translate(QStringLiteral("Tidy cancelled")), MessageMark::Error};
    m_pending.push_back(std::move(pending));
    Settle(false);
    return true;
}

void TidyRun::TidyFinished(FileProgressRun& run) {
    m_items.Stop(); // what was tidied ahead of a cancel is dropped
    Settle(true);
    if (m_alreadyTidied > 0)
        run.AddNotice(Filled("%d files were already what tidying their backups gives. They were "
                             "passed over and their backups kept.",
                             {QString::number(m_alreadyTidied)}));
    m_state.tidyDespiteWarnings = false;
    m_state.continueWithoutAsking = false;
    const QString heading =
        Filled("Kelvane - Tidied %d files out of %d",
               {QString::number(m_state.successCount), QString::number(run.ItemCount())});
    if (m_env.pages)
        m_env.pages->ShowRunSummary(heading, run.MessageTexts());
}

void TidyRun::SayNotProcessed(FileProgressRun& run, qsizetype notRun) {
    // The entry in hand was stepped; those after it were never taken from the list.
    const TidyAhead::Rest rest = m_items.CountRest();
    const qint64 count = qint64(notRun) + rest.count;
    if (m_env.observer)
        m_env.observer->NotProcessed(count, !rest.complete);
    run.AddError(Filled(rest.complete ? "%d entries of the list were not processed, because the "
                                        "run ended at an error."
                                      : "At least %d entries of the list were not processed, "
                                        "because the run ended at an error.",
                        {QString::number(count)}));
    // Out of the whole list: what was taken, and what was never reached.
    const qsizetype listed = m_items.Count();
    const qint64 total = listed >= 0 ? qint64(listed) : qint64(run.ItemCount()) + rest.count;
    const QString heading = Filled("Kelvane - Tidied %d files out of %d",
                                   {QString::number(m_state.successCount), QString::number(total)});
    if (m_env.pages)
        m_env.pages->ShowRunSummary(heading, run.MessageTexts());
}

void TidyRun::Settle(bool wait, bool throwFailure) {
    while (!m_pending.empty()) {
        Pending& pending = m_pending.front();
        if (pending.rewrite) {
            if (!wait && !m_rewrites.IsDone(pending.rewrite))
                return;
            const RewriteOutcome outcome = m_rewrites.Wait(pending.rewrite);
            FileRecord& record = *pending.record;
            const auto error = [&](const QString& textTemplate) {
                pending.line = ProgressMessage{FillTemplate(Translate(textTemplate), {record.path}),
                                               MessageMark::Error};
            };
            switch (outcome.result) {
            case RewriteResult::Pending:
            case RewriteResult::Rewritten:
                record.outcome = FileOutcome::Tidied;
                pending.counts = true;
                break;
            case RewriteResult::BackupFailed:
                record.outcome = FileOutcome::BackupFailed;
                error(!outcome.refusal.isEmpty()
                          ? outcome.refusal
                          : QStringLiteral("%s: No backup of this file could be made, so it was "
                                           "not tidied. The backup folder may be read-only or "
                                           "the disk full."));
                break;
            case RewriteResult::Changed:
                record.outcome = FileOutcome::Changed;
                error(QStringLiteral(
                    "%s: The file changed while it was being tidied. It was left as it is."));
                break;
            case RewriteResult::WriteRefused:
                record.outcome = FileOutcome::WriteRefused;
                pending.line = ProgressMessage{
                    FillTemplate(Translate(QStringLiteral(
                                     "%s: The tidied text could not be written here (%s). The "
                                     "file and its backup were left as they were.")),
                                 {record.path, outcome.error}),
                    MessageMark::Error};
                break;
            case RewriteResult::WriteFailed: {
                record.outcome = FileOutcome::WriteFailed;
                if (m_env.observer)
                    m_env.observer->FileDone(record);
                const QString path = record.path; // the record goes with its entry
                m_pending.pop_front();
                if (throwFailure)
                    CannotWrite(path, outcome.error);
                continue;
            }
            case RewriteResult::NotRun:
                ++m_notRun; // the run ended before this file
                m_pending.pop_front();
                continue;
            }
        }
        Apply(pending);
        m_pending.pop_front();
    }
}

void TidyRun::Apply(Pending& pending) {
    if (pending.line)
        m_env.progress->AddMessage(pending.line->text, pending.line->mark);
    if (pending.counts)
        ++m_state.successCount;
    if (pending.record && m_env.observer)
        m_env.observer->FileDone(*pending.record);
}

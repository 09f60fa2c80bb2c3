#include "fileops/TidyRun.h"

#include "engine/TidyBatch.h"
#include "fileops/BackupStore.h"
#include "platform/FileFunctions.h"
#include "platform/FileNames.h"
#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/Translation.h"

#include <cstdlib>
#include <functional>
#include <string_view>
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

FileKey KeyOf(const FileIdentity& identity) {
    return {identity.device, identity.inode};
}

// The file a name leads to, links resolved, as a hash; 0 when it cannot be resolved.
quint64 ResolvedPathHash(const QString& path) {
    char* resolved = ::realpath(platform::EncodeFileName(path).constData(), nullptr);
    if (resolved == nullptr)
        return 0;
    const quint64 hash = std::hash<std::string_view>{}(std::string_view(resolved));
    ::free(resolved);
    return hash == 0 ? 1 : hash;
}

} // namespace

TidyRun::TidyRun(BatchRunState& state, const BatchEnvironment& environment, TidyAhead& items,
                 TidyWriteMode mode)
    : m_state(state), m_env(environment), m_items(items), m_mode(mode) {}

void TidyRun::Execute(const ResolvedTidyOptions& options) {
    FileProgressRun& progress = *m_env.progress;
    progress.Caption = Translate(QStringLiteral("Tidying Files..."));
    progress.OnNextItem = [this](FileProgressRun& run, const QString& path) {
        return TidyFileStep(run, path);
    };
    progress.OnNameQuery = [](FileProgressRun&, const QString& path) {
        return ProcessingCaption(path);
    };
    progress.OnFinished = [this](FileProgressRun& run) { TidyFinished(run); };
    progress.OnCancelQuery = [this](FileProgressRun& run) { return ConfirmStopTidy(run); };

    // Backup copies are never tidied ahead: the step passes over them.
    m_items.Start(options, CurrentTidyRunner(), [](const QString& path, const FileIdentity& id) {
        return (id.mode & S_IWUSR) && !IsInBackupFolder(path);
    });
    try {
        progress.RunItems(m_items);
    } catch (...) {
        // The files already handed to the rewrite queue are finished; nothing after them.
        m_items.Stop();
        Settle(true, false);
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

bool TidyRun::TidyFileStep(FileProgressRun& run, const QString& path) {
    Settle(m_pending.size() >= kMaxPending);
    FileRecord record;
    record.path = path;

    if (platform::FolderExists(path))
        return Decided(std::move(record), FileOutcome::Folder);
    // A backup copy is never tidied: its backup would push the original out of reach.
    if (IsInBackupFolder(path))
        return Decided(std::move(record), FileOutcome::InBackupFolder);
    const std::optional<FileIdentity> identity = IdentityOf(path);
    if (IsReadOnlyPath(path) || !identity)
        return Decided(std::move(record), FileOutcome::ReadOnly,
                       QStringLiteral("%s: File is read-only. This file cannot be tidied."));
    if (!identity->IsRegular())
        return Decided(std::move(record), FileOutcome::Unreadable,
                       QStringLiteral("%s: This is not a regular file. It may be a pipe, a "
                                      "device or a socket, and cannot be tidied."));
    if (identity->size > kMaxDocumentBytes)
        return Decided(std::move(record), FileOutcome::Unreadable,
                       QStringLiteral("%s: File is too large to be tidied."));
    if (IsForbiddenFile(path))
        return Decided(std::move(record), FileOutcome::Forbidden,
                       QStringLiteral("%s: File is forbidden and cannot be tidied. It may be a "
                                      "program or other binary file."));

    const bool check = m_mode == TidyWriteMode::Check;
    // Tidied a second time, the file's backup would take the once-tidied text and the original
    // would be gone.
    const quint64 resolved = check ? 0 : ResolvedPathHash(path);
    if (resolved != 0 && m_rewritten.contains(resolved))
        return Decided(std::move(record), FileOutcome::TidiedBefore);
    // The same file earlier in the list (a hard link) must be rewritten first.
    m_rewrites.WaitForFile(KeyOf(*identity));
    // A file that cannot be read ends the run (the window's way) unless the run goes on past it.
    std::optional<QString> unreadable;
    const auto read = [&](const std::function<TidiedDocument()>& fetch) {
        try {
            return fetch();
        } catch (const FileReadError& error) {
            if (m_env.unreadableFileEndsRun)
                throw;
            unreadable = error.message();
            return TidiedDocument();
        }
    };
    TidiedDocument document = read([&] { return m_items.Take(path, check); });
    for (int retidied = 0;; ++retidied) {
        if (unreadable)
            return DecidedWithLine(std::move(record), FileOutcome::Unreadable, *unreadable);
        if (document.result.status != TidyRunStatus::Completed)
            return CannotBeTidied(run, std::move(record), document.result);
        if (!HasManyWarnings(document.result))
            break;
        Settle(true); // the lines so far are in the window while the question is open
        if (!AskYesNoAll(ManyWarningsQuestion(), m_state.tidyDespiteWarnings)) {
            record.reports = std::move(document.result.reports);
            return Decided(std::move(record), FileOutcome::Declined);
        }
        // The question took its time: what the user agreed to must still be the file.
        if (retidied == kMaxRetidy || IdentityOf(path) == document.identity)
            break;
        document = read([&] { return m_items.TidyNow(path, check); });
    }

    record.reports = std::move(document.result.reports);
    if (check) {
        record.original = std::move(document.original);
        record.tidied = std::move(document.result.output);
        const FileOutcome outcome =
            record.original == record.tidied ? FileOutcome::Unchanged : FileOutcome::WouldChange;
        return Decided(std::move(record), outcome);
    }
    if (resolved != 0)
        m_rewritten.insert(resolved);
    Pending pending;
    pending.rewrite = m_rewrites.Submit(path, document.digest, std::move(document.result.output),
                                        KeyOf(*identity));
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
           CountMessageTokens(TidyMessageText(result.reports)) > kManyWarnings;
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
    m_state.tidyDespiteWarnings = false;
    m_state.continueWithoutAsking = false;
    const QString heading =
        Filled("Kelvane - Tidied %d files out of %d",
               {QString::number(m_state.successCount), QString::number(run.ItemCount())});
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
            const auto error = [&](const char* textTemplate) {
                pending.line =
                    ProgressMessage{Filled(textTemplate, {record.path}), MessageMark::Error};
            };
            switch (outcome.result) {
            case RewriteResult::Pending:
            case RewriteResult::Rewritten:
                record.outcome = FileOutcome::Tidied;
                pending.counts = true;
                break;
            case RewriteResult::BackupFailed:
                record.outcome = FileOutcome::BackupFailed;
                error("%s: No backup of this file could be made, so it was not tidied. The "
                      "backup folder may be read-only or the disk full.");
                break;
            case RewriteResult::Changed:
                record.outcome = FileOutcome::Changed;
                error("%s: The file changed while it was being tidied. It was left as it is.");
                break;
            case RewriteResult::WriteFailed: {
                record.outcome = FileOutcome::WriteFailed;
                if (m_env.observer)
                    m_env.observer->FileDone(record);
                m_pending.pop_front();
                if (throwFailure)
                    throw KelvaneError(outcome.error);
                continue;
            }
            case RewriteResult::NotRun:
                m_pending.pop_front(); // the run ended before this file
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

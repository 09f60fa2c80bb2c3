// The restore and backup-removal runs.

#include "fileops/BackupStore.h"
#include "fileops/BatchCommands.h"
#include "fileops/RunFiles.h"
#include "support/Translation.h"

namespace {

QString Filled(const char* textTemplate, const QString& path) {
    return FillTemplate(Translate(QString::fromUtf8(textTemplate)), {path});
}

} // namespace

void BatchCommands::RunRestoreBatch(WorkItems& items) {
    RunBatch(
        items, Translate(QStringLiteral("Restoring Files...")),
        [this](FileProgressRun& run, const QString& path) { return RestoreFileStep(run, path); },
        [this](FileProgressRun& run) { RestoreFinished(run); });
}

bool BatchCommands::RestoreFileStep(FileProgressRun& run, const QString& path) {
    FileRecord record;
    record.path = path;
    // Restoring a backup copy from a backup of it would bring back tidied text.
    if (IsInBackupFolder(path)) {
        record.outcome = FileOutcome::InBackupFolder;
        Observe(std::move(record));
        return true;
    }
    const BackupAction action = RestorePage(*m_runFiles, path);
    switch (action.result) {
    case rrSkipped:
        record.outcome = FileOutcome::Folder;
        break;
    case rrRestored:
        record.outcome = FileOutcome::Restored;
        ++m_state.successCount;
        break;
    case rrNoBackup:
        record.outcome = FileOutcome::NoBackup;
        run.AddNotice(Filled("%s: No backup exists. This file cannot be restored.", path));
        break;
    case rrFailed:
        record.outcome = FileOutcome::RestoreFailed;
        run.AddError(Filled("%s: The backup could not be restored. The file may be read-only or "
                            "in use.",
                            path));
        break;
    case rrRefused:
    case rrInUse:
        record.outcome =
            action.result == rrInUse ? FileOutcome::InUse : FileOutcome::RestoreFailed;
        run.AddError(FillTemplate(Translate(action.refusal), {path}));
        break;
    }
    Observe(std::move(record));
    return true;
}

void BatchCommands::RestoreFinished(FileProgressRun& run) {
    const QString heading =
        FillTemplate(Translate(QStringLiteral("Kelvane - Restored %d files out of %d")),
                     {QString::number(m_state.successCount), QString::number(run.ItemCount())});
    if (m_env.pages)
        m_env.pages->ShowRunSummary(heading, run.MessageTexts());
}

void BatchCommands::RunRemoveBackupsBatch(WorkItems& items) {
    RunBatch(
        items, Translate(QStringLiteral("Removing Backup files...")),
        [this](FileProgressRun& run, const QString& path) { return RemoveBackupStep(run, path); },
        [this](FileProgressRun& run) { RemoveBackupsFinished(run); });
}

bool BatchCommands::RemoveBackupStep(FileProgressRun& run, const QString& path) {
    FileRecord record;
    record.path = path;
    const BackupAction action = RemovePageBackup(*m_runFiles, path);
    if (action.result == rrRestored || action.result == rrNoBackup) {
        record.outcome = FileOutcome::BackupRemoved;
    } else if (action.result == rrRefused) {
        record.outcome = FileOutcome::RemoveFailed;
        run.AddError(FillTemplate(Translate(action.refusal), {path}));
    } else {
        // The selected file's path, not the backup's: that is what the user chose.
        record.outcome = FileOutcome::RemoveFailed;
        run.AddError(
            Filled("Cannot delete file \"%s\". This file may be read-only or in use.", path));
    }
    Observe(std::move(record));
    return true;
}

void BatchCommands::RemoveBackupsFinished(FileProgressRun& run) {
    // The heading is the empty interface text: the page starts with two empty lines.
    if (m_env.pages)
        m_env.pages->ShowRunSummary(Translate(QString()), run.MessageTexts());
}

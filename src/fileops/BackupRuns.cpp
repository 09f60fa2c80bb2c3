// The restore and backup-removal runs.

#include "fileops/BackupStore.h"
#include "fileops/BatchCommands.h"
#include "fileops/RunFiles.h"
#include "platform/FileNames.h"
#include "support/RememberedAnswers.h"
#include "support/Translation.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

QString Filled(const char* textTemplate, const QString& path) {
    return FillTemplate(Translate(QString::fromUtf8(textTemplate)), {path});
}

// A line of a BackupAction: its untranslated template with the path and its details.
QString ActionLine(const QString& textTemplate, const QString& path, const QStringList& details) {
    return FillTemplate(Translate(textTemplate), QStringList{path} + details);
}

// The entry `path` in `folder` (may be null) is a symbolic link itself.
bool IsLink(const platform::FolderRef& folder, const QString& path) {
    struct stat st {};
    const QByteArray name =
        platform::EncodeFileName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    return folder && !name.isEmpty() &&
           ::fstatat(folder->Fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISLNK(st.st_mode);
}

} // namespace

QString EditedPageQuestion() {
    return QStringLiteral("This file has been changed since it was tidied:\r\n\r\n%s\r\n\r\n"
                          "Restoring it replaces those changes by the backup. The changed text "
                          "is moved to the trash first.\r\n\r\nDo you want to restore it?");
}

bool BatchCommands::ReplaceEditedPage(const QString& path) const {
    if (m_env.replaceEditedPage)
        return m_env.replaceEditedPage(path);
    const QString question = Translate(EditedPageQuestion());
    return AskRemembered(question, DialogKind::Warning, Button::Yes | Button::No,
                         QStringLiteral("Don't ask again"),
                         FillTemplate(question, {path})) == mrYes;
}

void BatchCommands::RunRestoreBatch(WorkItems& items) {
    // One policy for the run: the tidy options for backups without a mark are resolved once.
    m_restorePolicy = {[this](const QString& path) { return ReplaceEditedPage(path); },
                       TidyWithCurrentOptions()};
    RunBatch(
        items, Translate(QStringLiteral("Restoring Files...")),
        [this](FileProgressRun& run, const QString& path) { return RestoreFileStep(run, path); },
        [this](FileProgressRun& run) { RestoreFinished(run); });
}

bool BatchCommands::RestoreFileStep(FileProgressRun& run, const QString& path) {
    FileRecord record;
    record.path = path;
    // Restoring a backup copy from a backup of it would bring back tidied text. Restore
    // follows no link: the folder that holds the entry decides.
    const platform::FolderRef folder = m_runFiles->FolderOf(path);
    if (folder && m_runFiles->IsBackupFolder(folder)) {
        record.outcome = FileOutcome::InBackupFolder;
        Observe(std::move(record));
        return true;
    }
    const BackupAction action = RestorePage(*m_runFiles, path, m_restorePolicy);
    switch (action.result) {
    case rrSkipped:
        record.outcome = FileOutcome::Folder;
        break;
    case rrRestored:
        record.outcome = FileOutcome::Restored;
        ++m_state.successCount;
        for (const QString& trashed : action.trashed)
            run.AddNotice(ActionLine(QStringLiteral("%s: This file had been changed after it was "
                                                    "tidied. That text was moved to the trash, "
                                                    "as %s."),
                                     path, {trashed}));
        if (!action.warning.isEmpty())
            run.AddError(ActionLine(action.warning, path, action.warningDetails));
        break;
    case rrEdited:
        record.outcome = FileOutcome::EditedKept;
        run.AddNotice(ActionLine(action.refusal, path, action.details));
        break;
    case rrNoBackup:
        if (IsLink(folder, path)) {
            record.outcome = FileOutcome::LinkPassedOver;
            run.AddNotice(Filled("%s: This is a symbolic link, which restore does not follow. "
                                 "The file it leads to is restored under its own name.",
                                 path));
            break;
        }
        record.outcome = FileOutcome::NoBackup;
        run.AddNotice(Filled("%s: No backup exists. This file cannot be restored.", path));
        break;
    case rrFailed:
        record.outcome = FileOutcome::RestoreFailed;
        run.AddError(!action.refusal.isEmpty()
                         ? ActionLine(action.refusal, path, action.details)
                         : Filled("%s: The backup could not be restored. The file may be "
                                  "read-only or in use.",
                                  path));
        break;
    case rrRefused:
    case rrInUse:
        record.outcome = action.result == rrInUse ? FileOutcome::InUse : FileOutcome::RestoreFailed;
        run.AddError(ActionLine(action.refusal, path, action.details));
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

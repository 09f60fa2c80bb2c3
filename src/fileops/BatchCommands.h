#pragma once
// The batch commands of the main window (tidy, validate, restore, remove backups, on the
// selection or on the tree's folder) and the runs behind them. Logic only: the user is reached
// through Prompts, the run is shown by a FileProgressRun's view, results go to ErrorPages, and
// a BatchObserver may follow each file (the headless program's reports).

#include "engine/TidyRequest.h"
#include "fileops/BackupStore.h"
#include "fileops/ErrorPages.h"
#include "fileops/FileProgressRun.h"
#include "fileops/ForbiddenFile.h"
#include "fileops/Selection.h"
#include "fileops/WorkItems.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class RunFiles;
class TidyAhead;

// What became of one entry of a run.
enum class FileOutcome {
    Folder,         // a folder entry: passed over, not counted
    InBackupFolder, // a file inside a backup folder: passed over (tidy and restore)
    Tidied,         // backed up and rewritten
    TidiedBefore,   // the same file came earlier in this run (a repeated name, a link): passed
                    // over, so that its backup keeps the original
    AlreadyTidied,  // the file is what tidying its backup gives: passed over, backup kept
    WouldChange,    // check run: tidying would change the file (nothing written)
    Unchanged,      // check run: tidying would leave the file as it is
    ReadOnly,       // not tidied: read-only
    Vanished,       // not processed: the file was moved or deleted while the run went on
    InUse,          // not processed: another run is working on the file
    LinkRefused,    // not processed: another user's link to a file that is not his
    Forbidden,      // not tidied: an executable program
    Declined,       // not tidied: No at the many-warnings question
    BackupFailed,   // not tidied: no backup could be made
    Changed,        // not tidied: the file changed while it was being tidied
    NotAsReviewed,  // not tidied: the file, or what tidying gives, is not what the user reviewed
    WriteFailed,    // not tidied: the tidied text could not be written (the run ends here)
    WriteRefused,   // not tidied: the system refused this file's tidied text (the run goes on)
    TidyFailed,     // the library could not process it (crash, time-out, limit)
    Unreadable,     // could not be read, or not a regular file (a pipe, device or socket)
    Clean,          // validate: no messages
    HasMessages,    // validate: messages
    Restored,       // restore
    NoBackup,       // restore: nothing to restore
    LinkPassedOver, // restore: a symbolic link without a backup of its own; links are never
                    // followed, and the file it leads to is restored under its own name
    RestoreFailed,  // restore: the backup could not be put back
    EditedKept,     // restore: changed after it was tidied, so left as it is with its backup
    BackupRemoved,  // remove backups: no backup is left
    RemoveFailed,   // remove backups: the backup resisted
};

struct FileRecord {
    QString path;
    FileOutcome outcome = FileOutcome::Folder;
    QList<TidyReport> reports; // the library's reports (tidy and validate)
    QByteArray original;       // check runs only: the file as read
    QByteArray tidied;         // check runs only: what tidying gives
};

// Follows a run file by file, in list order, on the run's thread. A file that is rewritten is
// reported once its backup and rewrite are done (the disk work of the tidy run goes on beside
// the next files' steps), at the latest before the run's finishing handler; every other
// outcome is reported inside the step of its file.
class BatchObserver {
public:
    virtual ~BatchObserver() = default;
    virtual void FileDone(const FileRecord& record) = 0;
    // The run ended at an error before the end of its list: `count` entries were not processed
    // (at least that many when `atLeast`: the rest of a stream was not waited for).
    virtual void NotProcessed(qint64 count, bool atLeast) {
        Q_UNUSED(count);
        Q_UNUSED(atLeast);
    }
};

enum class TidyWriteMode {
    Write, // back up and rewrite each file
    Check, // write nothing; the observer learns what would change
};

// Everything a batch command needs from around it. The main window supplies its own parts;
// the headless program supplies plain ones.
struct BatchEnvironment {
    const SelectionSource* selection = nullptr; // frames on the selection or the tree
    FolderScanner* scanner = nullptr;
    FileProgressRun* progress = nullptr;
    ErrorPages* pages = nullptr;
    // Refreshes the file list and selects ReselectPaths() again (the window); may be empty.
    std::function<void()> reselectAfterRun;
    BatchObserver* observer = nullptr;
    // A file that was opened but whose reading failed ends a tidy run (the window); otherwise
    // it is reported as Unreadable with the file-open error as its line, and the run goes on
    // (the headless program). A file that cannot even be opened is a line in both.
    bool unreadableFileEndsRun = true;
    // Entries of a tidy or validate run read ahead at most, and bytes of documents tidied ahead
    // at most; 0: the run's defaults (TidyAhead::SetMaxAhead).
    qsizetype lookAhead = 0;
    qint64 lookAheadBytes = 0;
    // Asked just before a tidy run writes a file, with the bytes it read and the tidied text:
    // a line template ("%s: ...", untranslated) keeps the file as it is (NotAsReviewed) and is
    // its line. Review Changes writes only what the user saw.
    std::function<std::optional<QString>(const QString& path, const QByteArray& original,
                                         const QByteArray& tidied)>
        vetoRewrite;
    // The tidy run's caption (untranslated); empty: "Tidying Files...".
    QString tidyCaption;
    // Restore: whether a page changed since it was tidied is replaced by its backup (its text
    // goes to the trash first). Empty: the user is asked, a confirmation that can be
    // remembered (the window); the headless program answers by its --force.
    std::function<bool(const QString& path)> replaceEditedPage;
};

// How a tidy run differs from the Tidy command's own (Review Changes and the runs after it).
struct TidyRunSettings {
    TidyWriteMode mode = TidyWriteMode::Write;
    bool optionsDialog = true;         // false: the stored options, which the user settled before
    bool askManyWarnings = true;       // false: as if Yes to All had been answered already
    BatchObserver* observer = nullptr; // null: the environment's
    ErrorPages* pages = nullptr;       // null: the environment's
    QString caption;                   // untranslated; empty: "Tidying Files..."
    decltype(BatchEnvironment::vetoRewrite) vetoRewrite;
    // Whether a file whose reading fails ends the run; none: as the environment says.
    std::optional<bool> unreadableFileEndsRun;
    // Told the options and the work list's folders once the options are settled, before the
    // first file; false: no run.
    std::function<bool(const ResolvedTidyOptions& options, const TreeRoots& roots)> starting;
};

// What a run keeps between its steps (the main window's fields of the same names).
struct BatchRunState {
    int successCount = 0;
    bool tidyDespiteWarnings = false;   // Yes to All at the many-warnings question
    bool continueWithoutAsking = false; // Yes to All at "Do you wish to continue tidying files?"
    bool runFailed = false;
};

class BatchCommands {
public:
    explicit BatchCommands(BatchEnvironment environment);

    // The command frames the main window's actions call. Each does nothing while Busy().
    void Tidy();                // actTidy
    void FolderTidy();          // actFolderTidy
    void Validate();            // actValidate
    void Restore();             // actRevert
    void FolderRestore();       // actFolderRevert
    void RemoveBackups();       // actDeleteBackup
    void FolderRemoveBackups(); // actFolderDeleteBackups
    // Review Changes: the work list gathered as for Tidy, then a tidy run with `settings`.
    void ReviewChanges(const TidyRunSettings& settings);
    // A tidy run with `settings` over `paths` (found below `roots`); the file list is then read
    // again with its selection kept.
    void TidyPaths(const QStringList& paths, const TreeRoots& roots,
                   const TidyRunSettings& settings);

    // The runs; each returns at once for an empty list.
    void RunTidyBatch(WorkItems& items);
    void RunTidyBatch(WorkItems& items, const TidyRunSettings& settings);
    void RunValidateBatch(WorkItems& items);
    void RunRestoreBatch(WorkItems& items);
    void RunRemoveBackupsBatch(WorkItems& items);

    bool Busy() const { return m_busy; }
    const BatchEnvironment& Environment() const { return m_env; }
    int SuccessCount() const { return m_state.successCount; }
    QStringList& ReselectPaths() { return m_reselectPaths; }

    // Check runs write nothing (the headless program's --check and --diff).
    void SetTidyWriteMode(TidyWriteMode mode) { m_writeMode = mode; }
    // Whether the run ended because of an error raised in a step (the file in hand stays as
    // it was or tidied with its backup).
    bool RunFailed() const { return m_state.runFailed; }

private:
    // Clears the last run's failure and sets the environment's look-ahead bounds; false when
    // there is no run (no progress view, or nothing in the list).
    bool BeginLookAhead(TidyAhead& ahead);
    enum class WorkListFrom { Selection, ExpandedSelection, TreeFolder };
    // What a command frame does around its run.
    struct CommandFrame {
        QString question;   // untranslated Yes/No warning asked first; empty: none
        WorkListFrom from;  // how the work list is gathered
        bool saveSelection; // ReselectPaths gets the selection, folders not expanded
        std::function<void(WorkItems&)> run;
        bool reselect; // ReselectAfterRun once the run is over
    };
    // The frame of every command: Busy, the question, the work list, the run.
    void Command(const CommandFrame& frame);
    // Runs `command` with Busy set (nothing when Busy already); an error that ends it is shown.
    void AsBusyCommand(const std::function<void()>& command);
    // Refreshes the file list, selects ReselectPaths again and forgets them.
    void ReselectAfterRun();
    // The destructive commands' question; true for Yes.
    static bool Confirm(const QString& question);
    // Runs the progress view over `items` with the run's handlers, then resets it. An error
    // that ends the run is shown and recorded in RunFailed().
    void RunBatch(WorkItems& items, const QString& caption, TNextItemEvent step,
                  TNotifyEvent finished);
    void ReportRunError(const std::function<void()>& run);

    bool RestoreFileStep(FileProgressRun& run, const QString& path);
    // The restore run's answer for a page changed since it was tidied.
    bool ReplaceEditedPage(const QString& path) const;
    void RestoreFinished(FileProgressRun& run);
    bool RemoveBackupStep(FileProgressRun& run, const QString& path);
    void RemoveBackupsFinished(FileProgressRun& run);
    void Observe(FileRecord record);

    BatchEnvironment m_env;
    RunFiles* m_runFiles = nullptr; // the folders of the restore or removal run in progress
    RestorePolicy m_restorePolicy;  // of the restore run in progress
    bool m_busy = false;
    BatchRunState m_state;
    QStringList m_reselectPaths;
    TidyWriteMode m_writeMode = TidyWriteMode::Write;
};

// "Processing %s" with the entry's file name; the name query of every run.
QString ProcessingCaption(const QString& path);
// The number of items of a comma- and blank-separated split of `text` (the many-warnings
// measure; the question comes above 300).
int CountMessageTokens(const QString& text);
// The many-warnings question of the tidy run, translated.
QString ManyWarningsQuestion();
// The restore run's question for a page changed since it was tidied (untranslated; %s is the
// page). Its remembered answer is kept under this text, whatever page it names.
QString EditedPageQuestion();
// The line ("%s: ...", untranslated) of a link below a folder named for the run that leads out
// of it (PageState::LinkLeavesTree).
QString LinkLeavesTreeLine();
// Three buttons, Yes (default), No (Escape) and Yes to All (sets `remember`); false only for No.
bool AskYesNoAll(const QString& question, bool& remember);

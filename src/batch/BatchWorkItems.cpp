#include "batch/BatchWorkItems.h"

#include "fileops/BackupStore.h"
#include "fileops/RunDescriptors.h"
#include "platform/FileNames.h"

#include <sys/stat.h>
#include "support/Translation.h"

std::optional<FlaggedEntry> FlaggedEntries::Take(qint64 index) {
    while (!m_entries.empty() && m_entries.front().index < index)
        m_entries.pop_front();
    if (m_entries.empty() || m_entries.front().index != index)
        return std::nullopt;
    FlaggedEntry entry = std::move(m_entries.front());
    m_entries.pop_front();
    return entry;
}

BatchWorkItems::BatchWorkItems(QStringList paths, PathList* list, Settings settings,
                               FlaggedEntries& flags)
    : m_paths(std::move(paths)), m_list(list), m_settings(std::move(settings)), m_flags(flags) {}

BatchWorkItems::~BatchWorkItems() = default;

std::optional<QString> BatchWorkItems::NextInput() {
    if (m_nextPath < m_paths.size())
        return m_paths.at(m_nextPath++);
    return m_list ? m_list->Next() : std::nullopt;
}

QString BatchWorkItems::Yield(QString path) {
    ++m_index;
    return path;
}

QString BatchWorkItems::Flag(QString path, const QString& status, const QString& problem,
                             const QString& reason, bool failed) {
    m_flags.Add({m_index, status, FillTemplate(Translate(problem), {path, reason}), failed});
    return Yield(std::move(path));
}

bool BatchWorkItems::Ready() {
    // A folder being walked or a name from the command line is at hand; only the list waits.
    if (m_walker || m_nextPath < m_paths.size() || m_list == nullptr)
        return true;
    return m_list->Ready();
}

std::optional<QString> BatchWorkItems::Next() {
    for (;;) {
        if (m_settings.stop && m_settings.stop()) {
            m_complete = true;
            return std::nullopt;
        }
        if (m_walker) {
            if (std::optional<FolderWalker::Found> found = m_walker->Next()) {
                if (found->skipped)
                    return Flag(std::move(found->path), QStringLiteral("backup-copy"),
                                QStringLiteral("%s: This is a backup folder: the backup copies "
                                               "in it are passed over."),
                                {}, false);
                if (found->error == 0 && m_settings.inProject &&
                    !m_settings.inProject(found->path, true))
                    continue;
                if (found->error == 0)
                    return Yield(std::move(found->path));
                if (IsDescriptorShortage(found->error))
                    m_exact = false;
                return Flag(std::move(found->path), QStringLiteral("unreadable-folder"),
                            QStringLiteral("%s: The folder cannot be read (%s)."),
                            qt_error_string(found->error));
            }
            m_walker.reset();
        }
        if (m_settings.beforeWait && !Ready())
            m_settings.beforeWait();
        std::optional<QString> path = NextInput();
        if (!path) {
            m_complete = true;
            return std::nullopt;
        }
        struct stat st {};
        const bool exists = ::stat(platform::EncodeFileName(*path).constData(), &st) == 0;
        const int statError = exists ? 0 : errno;
        if (exists && S_ISDIR(st.st_mode)) {
            if (!m_settings.recursive)
                return Flag(std::move(*path), QStringLiteral("folder"),
                            QStringLiteral("%s: This is a folder. Give -r to process the files "
                                           "in it."));
            // Backup copies are no pages of the site: their folders are not entered, however
            // the folder to start from is named.
            m_walker = std::make_unique<FolderWalker>(*path, m_settings.masks, IsBackupFolderName,
                                                      IsBackupFolderAt);
            m_roots.Add(*path);
            continue;
        }
        // Restore and clean act on a backup whose file is gone.
        const bool backupOnly = (m_settings.command == BatchCommand::Restore ||
                                 m_settings.command == BatchCommand::Clean) &&
                                HasBackup(*path);
        if (!exists && !backupOnly) {
            // A link loop or a name too long is no missing file: say what it is.
            if (statError != ENOENT && statError != ENOTDIR)
                return Flag(std::move(*path), QStringLiteral("unreadable"),
                            QStringLiteral("%s: The file cannot be opened (%s)."),
                            qt_error_string(statError));
            return Flag(std::move(*path), QStringLiteral("missing"),
                        QStringLiteral("%s: No such file or folder."));
        }
        if (m_settings.inProject && !m_settings.inProject(*path, false))
            continue;
        return Yield(std::move(*path));
    }
}

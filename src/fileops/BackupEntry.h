#pragma once
// How restore and backup removal find an entry and its backup, following nothing.

#include "fileops/BackupStore.h"
#include "fileops/RunFiles.h"

#include <optional>
#include <sys/stat.h>

struct EntryBackup {
    platform::FolderRef folder;
    QByteArray name;
    struct stat entry {};
    bool exists = false;
    platform::FolderRef backupFolder;
    struct stat backup {};
};

// Finds the backup of `path`; answers what to report instead when there is none to act on: the
// entry is a folder (rrSkipped), has no backup, or its backup folder is refused.
std::optional<BackupAction> FindBackup(RunFiles& files, const QString& path, EntryBackup& found);

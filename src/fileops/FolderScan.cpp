#include "fileops/FolderScan.h"

#include "fileops/FileMask.h"
#include "platform/FileFunctions.h"
#include "support/Errors.h"
#include "support/Prompts.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class DirCloser {
public:
    explicit DirCloser(DIR* dir) : m_dir(dir) {}
    ~DirCloser() {
        if (m_dir)
            ::closedir(m_dir);
    }
    DirCloser(const DirCloser&) = delete;
    DirCloser& operator=(const DirCloser&) = delete;

private:
    DIR* m_dir;
};

enum class EntryKind { Folder, File, Other };

// What an entry is, with links to files counted as files and links to folders as neither.
EntryKind KindOf(const QByteArray& path, unsigned char type) {
    if (type == DT_DIR)
        return EntryKind::Folder;
    if (type == DT_REG)
        return EntryKind::File;
    struct stat info {};
    if (type == DT_UNKNOWN) {
        if (::lstat(path.constData(), &info) != 0)
            return EntryKind::Other;
        if (S_ISDIR(info.st_mode))
            return EntryKind::Folder;
        if (S_ISREG(info.st_mode))
            return EntryKind::File;
        if (!S_ISLNK(info.st_mode))
            return EntryKind::Other;
    } else if (type != DT_LNK) {
        return EntryKind::Other;
    }
    return ::stat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) ? EntryKind::File
                                                                         : EntryKind::Other;
}

class NullObserver final : public ScanObserver {
public:
    void FolderEntered(const QString&) override {}
    void CountChanged(qsizetype) override {}
    bool KeepGoing() override { return true; }
};

} // namespace

bool ScanDirectory(const QString& folder, const QStringList& masks, QStringList& target,
                   ScanObserver& observer) {
    QString base = folder;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    observer.FolderEntered(base);

    const QByteArray nativeBase = platform::EncodeFileName(base);
    DIR* dir = ::opendir(nativeBase.constData());
    if (!dir)
        return true; // unreadable or vanished: contributes nothing
    DirCloser closer(dir);

    while (const dirent* entry = ::readdir(dir)) {
        if (!observer.KeepGoing())
            return false;
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        const QByteArray nativePath = nativeBase + name;
        switch (KindOf(nativePath, entry->d_type)) {
        case EntryKind::Folder:
            if (!ScanDirectory(platform::DecodeFileName(nativePath), masks, target, observer))
                return false;
            observer.FolderEntered(base);
            break;
        case EntryKind::File: {
            const QString fileName = platform::DecodeFileName(name);
            if (MatchesAnyMask(fileName, masks)) {
                target.append(base + fileName);
                observer.CountChanged(target.size());
            }
            break;
        }
        case EntryKind::Other:
            break;
        }
    }
    return true;
}

bool PlainFolderScanner::ScanFolder(const QString& folder, const QString& filter,
                                    QStringList& target) {
    if (!platform::FolderExists(folder))
        return false;
    NullObserver observer;
    try {
        ScanDirectory(folder, MaskList(filter), target, observer);
    } catch (const KelvaneError& error) {
        ShowError(error.message());
    }
    return true;
}

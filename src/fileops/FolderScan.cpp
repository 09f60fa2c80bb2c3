#include "fileops/FolderScan.h"

#include "fileops/FileMask.h"
#include "platform/FileFunctions.h"
#include "support/Errors.h"
#include "support/Prompts.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

enum class EntryKind { Folder, File, Other };

// What an entry of the folder `dirFd` is, with links to files counted as files and links to
// folders as neither.
EntryKind KindOf(int dirFd, const char* name, unsigned char type) {
    if (type == DT_DIR)
        return EntryKind::Folder;
    if (type == DT_REG)
        return EntryKind::File;
    struct stat info {};
    if (type == DT_UNKNOWN) {
        if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
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
    return ::fstatat(dirFd, name, &info, 0) == 0 && S_ISREG(info.st_mode) ? EntryKind::File
                                                                          : EntryKind::Other;
}

} // namespace

// The entries of one folder as the file system returns them, without "." and "..".
class FolderReader {
public:
    struct Entry {
        QByteArray name; // as the file system has it
        EntryKind kind;
    };

    // The folder the caller named, as the system resolves it.
    explicit FolderReader(const QString& folder) : m_base(folder) {
        if (!m_base.endsWith(QLatin1Char('/')))
            m_base += QLatin1Char('/');
        Open(::open(platform::EncodeFileName(m_base).constData(),
                    O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    // A sub-folder met while reading `parent`, opened from it and never through a link: a
    // folder swapped for a link meanwhile cannot lead the scan out of the tree.
    FolderReader(const FolderReader& parent, const QByteArray& name)
        : m_base(parent.m_base + platform::DecodeFileName(name) + QLatin1Char('/')) {
        Open(parent.m_dir ? ::openat(::dirfd(parent.m_dir), name.constData(),
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                          : -1);
    }
    ~FolderReader() {
        if (m_dir)
            ::closedir(m_dir);
    }
    FolderReader(const FolderReader&) = delete;
    FolderReader& operator=(const FolderReader&) = delete;

    // The folder with a trailing separator.
    const QString& Base() const { return m_base; }
    // 0 when the folder could be opened, else the reason.
    int OpenError() const { return m_error; }
    int Fd() const { return m_dir ? ::dirfd(m_dir) : -1; }

    std::optional<Entry> Next() {
        if (!m_dir)
            return std::nullopt;
        while (const dirent* entry = ::readdir(m_dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            return Entry{QByteArray(name), KindOf(::dirfd(m_dir), name, entry->d_type)};
        }
        return std::nullopt;
    }

private:
    void Open(int fd) {
        if (fd >= 0)
            m_dir = ::fdopendir(fd);
        m_error = m_dir ? 0 : errno;
        if (fd >= 0 && !m_dir)
            ::close(fd);
    }

    QString m_base;
    DIR* m_dir = nullptr;
    int m_error = 0;
};

namespace {

class NullObserver final : public ScanObserver {
public:
    void FolderEntered(const QString&) override {}
    void CountChanged(qsizetype) override {}
    bool KeepGoing() override { return true; }
};

} // namespace

namespace {

bool ScanReader(FolderReader& reader, const QStringList& masks, QStringList& target,
                ScanObserver& observer) {
    const QString& base = reader.Base();
    observer.FolderEntered(base);
    // A folder that cannot be read (or vanished) contributes nothing.
    while (std::optional<FolderReader::Entry> entry = reader.Next()) {
        if (!observer.KeepGoing())
            return false;
        switch (entry->kind) {
        case EntryKind::Folder: {
            FolderReader sub(reader, entry->name);
            if (!ScanReader(sub, masks, target, observer))
                return false;
            observer.FolderEntered(base);
            break;
        }
        case EntryKind::File: {
            const QString fileName = platform::DecodeFileName(entry->name);
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

} // namespace

bool ScanDirectory(const QString& folder, const QStringList& masks, QStringList& target,
                   ScanObserver& observer) {
    FolderReader reader(folder);
    return ScanReader(reader, masks, target, observer);
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

FolderWalker::FolderWalker(const QString& folder, QStringList masks, SkipFolder skipFolder,
                           const SkipTop& skipTop)
    : m_masks(std::move(masks)), m_skipFolder(std::move(skipFolder)) {
    auto reader = std::make_unique<FolderReader>(folder);
    m_topError = reader->OpenError();
    m_top = reader->Base();
    if (m_topError == 0 && skipTop && skipTop(reader->Fd(), folder))
        m_topSkipped = true;
    else if (m_topError == 0)
        m_levels.push_back(std::move(reader));
}

FolderWalker::~FolderWalker() = default;

std::optional<FolderWalker::Found> FolderWalker::Next() {
    if (m_topError != 0) {
        const int error = std::exchange(m_topError, 0);
        return Found{m_top, error};
    }
    if (std::exchange(m_topSkipped, false))
        return Found{m_top, 0, true};
    while (!m_levels.empty()) {
        FolderReader& reader = *m_levels.back();
        std::optional<FolderReader::Entry> entry = reader.Next();
        if (!entry) {
            m_levels.pop_back();
            continue;
        }
        const QString name = platform::DecodeFileName(entry->name);
        switch (entry->kind) {
        case EntryKind::Folder: {
            if (m_skipFolder && m_skipFolder(name))
                break;
            // Its matches come before the rest of this folder's entries.
            auto sub = std::make_unique<FolderReader>(reader, entry->name);
            if (sub->OpenError() != 0)
                return Found{sub->Base(), sub->OpenError()};
            m_levels.push_back(std::move(sub));
            break;
        }
        case EntryKind::File:
            if (MatchesAnyMask(name, m_masks))
                return Found{reader.Base() + name, 0};
            break;
        case EntryKind::Other:
            break;
        }
    }
    return std::nullopt;
}

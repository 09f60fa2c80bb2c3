#include "mainwindow/FolderListing.h"

#include "platform/FileNames.h"
#include "platform/UniqueFd.h"
#include "support/Translation.h"

#include <QElapsedTimer>
#include <QMimeDatabase>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kChunkEntries = 500;
constexpr int kChunkMs = 40;

QString TypeByName(const QString& name) {
    static const QMimeDatabase database;
    return database.mimeTypeForFile(name, QMimeDatabase::MatchExtension).comment();
}

// A worker living on the listing thread.
class ListingWorker : public QObject {
public:
    ListingWorker(FolderListing* owner, std::shared_ptr<std::atomic<quint64>> current)
        : m_owner(owner), m_current(std::move(current)) {}

    void Read(const QString& folder, bool showHidden, quint64 listing) {
        if (m_current->load() != listing)
            return; // a newer request is already waiting
        auto keepGoing = [this, listing] { return m_current->load() == listing; };
        auto chunk = [this, listing](QList<FolderEntry>& entries) {
            Q_EMIT m_owner->EntriesRead(listing, entries, false);
            entries.clear();
        };
        int error = 0;
        QList<FolderEntry> rest = ReadFolderEntries(folder, showHidden, keepGoing, chunk, &error);
        if (!keepGoing())
            return;
        if (error != 0)
            Q_EMIT m_owner->ReadFailed(listing, error);
        Q_EMIT m_owner->EntriesRead(listing, rest, true);
    }

private:
    FolderListing* m_owner;
    std::shared_ptr<std::atomic<quint64>> m_current;
};

} // namespace

bool NameOrder(const QString& a, const QString& b) {
    const int byName = QString::compare(a, b, Qt::CaseInsensitive);
    if (byName != 0)
        return byName < 0;
    return a < b;
}

bool ListingOrder(const FolderEntry& a, const FolderEntry& b) {
    if (a.folder != b.folder)
        return a.folder;
    return NameOrder(a.name, b.name);
}

QList<NamedEntry> ReadEntryNames(int dirFd, bool showHidden,
                                 const std::function<bool()>& keepGoing) {
    QList<NamedEntry> names;
    // The stream gets a descriptor of its own: closing it must leave the caller's open.
    const int streamFd = ::dup(dirFd);
    if (streamFd < 0)
        return names;
    DIR* dir = ::fdopendir(streamFd);
    if (dir == nullptr) {
        ::close(streamFd);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent* d = ::readdir(dir)) {
        const QByteArray bytes(d->d_name);
        if (bytes == "." || bytes == ".." || (!showHidden && bytes.startsWith('.')))
            continue;
        NamedEntry entry{bytes, d->d_type == DT_DIR};
        if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
            struct stat info {};
            entry.folder = ::fstatat(dirFd, d->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
        }
        names.append(std::move(entry));
        if (keepGoing && names.size() % 1024 == 0 && !keepGoing()) {
            names.clear();
            break;
        }
    }
    ::closedir(dir);
    return names;
}

namespace {

struct Name {
    QByteArray bytes;
    FolderEntry entry; // name and folder flag
};

// The names in the open folder `dirFd` with their folder flags, in listing order; nothing when
// `keepGoing` says stop.
std::optional<QList<Name>> ReadNames(int dirFd, bool showHidden,
                                     const std::function<bool()>& keepGoing) {
    QList<NamedEntry> read = ReadEntryNames(dirFd, showHidden, keepGoing);
    if (keepGoing && !keepGoing())
        return std::nullopt;
    QList<Name> names;
    names.reserve(read.size());
    for (NamedEntry& named : read) {
        Name name{std::move(named.bytes), {}};
        name.entry.name = platform::DecodeFileName(name.bytes);
        name.entry.folder = named.folder;
        names.append(std::move(name));
    }
    std::sort(names.begin(), names.end(),
              [](const Name& a, const Name& b) { return ListingOrder(a.entry, b.entry); });
    return names;
}

} // namespace

QList<FolderEntry> ReadFolderNames(const QString& folder, bool showHidden) {
    QList<FolderEntry> entries;
    const platform::UniqueFd dirFd(
        ::open(platform::EncodeFileName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() < 0)
        return entries;
    if (std::optional<QList<Name>> names = ReadNames(dirFd.get(), showHidden, {}))
        for (Name& name : *names)
            entries.append(std::move(name.entry));
    return entries;
}

QList<FolderEntry> ReadFolderEntries(const QString& folder, bool showHidden,
                                     const std::function<bool()>& keepGoing,
                                     const std::function<void(QList<FolderEntry>&)>& chunk,
                                     int* error) {
    QList<FolderEntry> entries;
    const platform::UniqueFd dirFd(
        ::open(platform::EncodeFileName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (error != nullptr)
        *error = dirFd.get() < 0 ? errno : 0;
    if (dirFd.get() < 0)
        return entries;
    // Names first (cheap), so the entries can be handed over in their final order.
    std::optional<QList<Name>> names = ReadNames(dirFd.get(), showHidden, keepGoing);
    if (!names)
        return entries;

    const QString folderType = Translate(QStringLiteral("Folder"));
    QElapsedTimer sinceChunk;
    sinceChunk.start();
    for (Name& name : *names) {
        struct stat info {};
        // A link is described by what it leads to; a broken one by itself.
        if (::fstatat(dirFd.get(), name.bytes.constData(), &info, 0) != 0)
            ::fstatat(dirFd.get(), name.bytes.constData(), &info, AT_SYMLINK_NOFOLLOW);
        FolderEntry& entry = name.entry;
        entry.folder = S_ISDIR(info.st_mode);
        entry.size = entry.folder ? 0 : qint64(info.st_size);
        entry.modified = QDateTime::fromSecsSinceEpoch(info.st_mtim.tv_sec);
        entry.type = entry.folder ? folderType : TypeByName(entry.name);
        entries.append(std::move(entry));
        if (chunk && (entries.size() >= kChunkEntries || sinceChunk.elapsed() >= kChunkMs)) {
            if (keepGoing && !keepGoing())
                break;
            chunk(entries);
            sinceChunk.restart();
        }
    }
    return entries;
}

FolderListing::FolderListing(QObject* parent)
    : QObject(parent), m_thread(new QThread(this)),
      m_current(std::make_shared<std::atomic<quint64>>(0)) {
    qRegisterMetaType<QList<FolderEntry>>();
    auto* worker = new ListingWorker(this, m_current);
    worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(this, &FolderListing::ListRequested, worker,
            [worker](const QString& folder, bool showHidden, quint64 id) {
                worker->Read(folder, showHidden, id);
            });
    m_thread->setObjectName(QStringLiteral("FolderListing"));
    m_thread->start();
}

FolderListing::~FolderListing() {
    m_current->fetch_add(1); // the read in progress stops at its next entry
    m_thread->quit();
    m_thread->wait();
}

quint64 FolderListing::List(const QString& folder, bool showHidden) {
    const quint64 listing = m_current->fetch_add(1) + 1;
    Q_EMIT ListRequested(folder, showHidden, listing);
    return listing;
}

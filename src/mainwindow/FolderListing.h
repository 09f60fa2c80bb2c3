#pragma once
// Reads the entries of one folder on a thread of its own and hands them over in chunks, sorted
// (folders first, then names without regard to case), so that a folder of many thousands of
// files shows its first rows at once and never holds up the interface. Names are decoded with
// platform::DecodeFileName, so a name that is not UTF-8 keeps its bytes.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class QThread;

struct FolderEntry {
    QString name;
    bool folder = false;
    qint64 size = 0;
    QDateTime modified;
    QString type; // the kind of file by its name ("HTML document"), "Folder" for folders
    bool operator==(const FolderEntry&) const = default;
};

// By name without regard to case (by name with case for a tie).
bool NameOrder(const QString& a, const QString& b);
// Folders first, then NameOrder.
bool ListingOrder(const FolderEntry& a, const FolderEntry& b);

// An entry of a folder as readdir gives it: its name's bytes and whether it is a folder (a link
// counts as what it leads to).
struct NamedEntry {
    QByteArray bytes;
    bool folder = false;
};
// The entries of the open folder `dirFd` except "." and ".." (and names beginning with "."
// unless `showHidden`), in the order the file system gives them. `keepGoing` is asked every
// 1024 entries; when it says stop, the answer is empty. `dirFd` stays open.
QList<NamedEntry> ReadEntryNames(int dirFd, bool showHidden,
                                 const std::function<bool()>& keepGoing = {});

// The whole folder at once (tests, and the worker's own steps); an unreadable folder is empty,
// and `error` (when given) then holds why (errno), else 0. `keepGoing` is asked between entries.
QList<FolderEntry> ReadFolderEntries(const QString& folder, bool showHidden,
                                     const std::function<bool()>& keepGoing = {},
                                     const std::function<void(QList<FolderEntry>&)>& chunk = {},
                                     int* error = nullptr);

// Only the names and folder flags, in the same order: what a quick look needs (suggestions
// while typing), without a look at each entry's details.
QList<FolderEntry> ReadFolderNames(const QString& folder, bool showHidden);

class FolderListing : public QObject {
    Q_OBJECT
public:
    explicit FolderListing(QObject* parent = nullptr);
    ~FolderListing() override;

    // Starts reading `folder`; chunks of an earlier read that have not arrived are dropped.
    // Answers the read's number, which its chunks carry.
    quint64 List(const QString& folder, bool showHidden);

Q_SIGNALS:
    // In folder order; `last` is set on the final chunk (which may be empty).
    void EntriesRead(quint64 listing, const QList<FolderEntry>& entries, bool last);
    // The folder could not be read (errno); its last, empty chunk follows.
    void ReadFailed(quint64 listing, int error);
    void ListRequested(const QString& folder, bool showHidden, quint64 listing);

private:
    QThread* m_thread;
    std::shared_ptr<std::atomic<quint64>> m_current;
};

#pragma once
// The result cache on disk: one SQLite database of the user's (results.sqlite in its folder),
// shared safely by runs at once (write-ahead log, one short transaction per batch of writes)
// and bounded in size (the entries used longest ago go first). It maps 16-byte keys to stored
// bytes and remembers, for the metadata strategy, which digest a file had at a given device,
// inode, size and times.
//
// Nothing read from it is trusted on its word: every stored value carries a checksum over its
// key and bytes, and a database that is damaged, cut short, not ours, or in a folder others
// could write is not used. Every problem is one line to the caller's reporter, and the run
// goes on without the cache (or without keeping its results); nothing here throws.

#include "support/KeyedDigest.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class ResultStore {
public:
    using Reporter = std::function<void(const QString& line)>;

    struct Settings {
        // The database is brought back below this size when a run that wrote to it ends.
        qint64 maxBytes = qint64(512) << 20;
        // Writes are committed every so many entries (and at the end of the run).
        int batchSize = 512;
        // How long a run waits for another run's write to end before it gives up its own.
        int busyMilliseconds = 5000;
        // The time of this run's uses, in seconds since the epoch; 0: the clock's.
        qint64 now = 0;
    };

    // The store in `folder` (made when missing, mode 0700); null, with a line to `report`,
    // when it cannot be used.
    static std::unique_ptr<ResultStore> Open(const QString& folder, Reporter report,
                                             Settings settings);
    static std::unique_ptr<ResultStore> Open(const QString& folder, Reporter report) {
        return Open(folder, std::move(report), Settings());
    }
    // Commits what is pending.
    ~ResultStore();
    ResultStore(const ResultStore&) = delete;
    ResultStore& operator=(const ResultStore&) = delete;

    // The database's file name in a cache folder.
    static QString FileName() { return QStringLiteral("results.sqlite"); }

    // The user's random seed for the keyed digests, made with the database.
    const QByteArray& Seed() const { return m_seed; }

    // The bytes stored under `key` (also those put and not yet committed).
    std::optional<QByteArray> Get(const KeyedDigest& key);
    // Stores `value` under `key`; an entry already there is replaced only with `replace`.
    void Put(const KeyedDigest& key, QByteArray value, bool replace = true);

    // The digest remembered for the file `st` describes, when its device, inode, size and
    // modification and status-change times are still those it was remembered with.
    std::optional<KeyedDigest> FileDigest(const struct stat& st);
    // Remembers `digest` for the file. A file changed within the last seconds is not
    // remembered: a write in the same tick of the file system's clock would not show in its
    // times.
    void PutFileDigest(const struct stat& st, const KeyedDigest& digest);

    // Commits what is pending, in one transaction.
    void Commit();

    // Counts of this store's use (benchmarks and tests).
    struct Counts {
        qint64 hits = 0;
        qint64 misses = 0;
        qint64 written = 0;
    };
    const Counts& Usage() const { return m_counts; }
    // The database's size in bytes (pages in use), or -1 when it cannot be told.
    qint64 SizeInUse();

private:
    struct Statements;
    struct Pending {
        QByteArray value;
        bool replace = true;
    };

    ResultStore(sqlite3* db, QString path, Reporter report, Settings settings);
    bool Prepare();
    bool LoadSeed();
    // A failed call: the store stops reading (and writing) with one line saying why.
    void Fail(const char* what, int code);
    // A failed write: this run's results are not kept, but reading goes on.
    void WriteFailed(int code);
    void Evict();
    bool Run(const char* sql);
    // Reads share one transaction (a few hundred at a time): each read of its own would take
    // and drop the database's locks.
    void BeginRead();
    void EndRead();
    static bool RecentlyChanged(const struct stat& st);

    sqlite3* m_db = nullptr;
    QString m_path;
    Reporter m_report;
    Settings m_settings;
    std::unique_ptr<Statements> m_statements;
    QByteArray m_seed;
    bool m_reading = true;
    bool m_writing = true;
    bool m_wrote = false;
    bool m_inRead = false;
    int m_readsInTransaction = 0;
    qint64 m_now = 0; // seconds, when opened
    QHash<QByteArray, Pending> m_pending;
    std::vector<QByteArray> m_touched; // read entries whose last use is to be moved on
    struct PendingFile {
        struct stat st {};
        KeyedDigest digest;
    };
    std::vector<PendingFile> m_pendingFiles;
    Counts m_counts;
};

#include "support/ResultStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <sqlite3.h>
#include <unistd.h>

namespace {

// "KLVC" in the database header: tells our databases from any other program's.
constexpr int kApplicationId = 0x4B4C5643;
// The tables' layout; another one of ours is emptied and made again.
constexpr int kSchemaVersion = 1;
// A last use older than this is moved on when the entry is read again; younger ones are not,
// so that a rerun on the same day writes nothing.
constexpr qint64 kTouchAfterSeconds = 24 * 60 * 60;
// A file whose times are this close to now may yet be written again within the same tick.
constexpr qint64 kRacySeconds = 2;
constexpr int kMaxEvictionRounds = 8;

QString SqliteReason(int code) {
    return QString::fromUtf8(sqlite3_errstr(code));
}

QString SystemReason(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// The folder, made when missing: it must be the user's own and closed to everyone else.
bool PrepareFolder(const QString& folder, QString& reason) {
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        if (errno != ENOENT) {
            reason = SystemReason(errno);
            return false;
        }
        const QString parent = QFileInfo(folder).absolutePath();
        QDir().mkpath(parent);
        if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
            reason = SystemReason(errno);
            return false;
        }
        if (::stat(path.constData(), &st) != 0) {
            reason = SystemReason(errno);
            return false;
        }
    }
    if (!S_ISDIR(st.st_mode)) {
        reason = QStringLiteral("it is not a folder");
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        reason = QStringLiteral("it belongs to another user");
        return false;
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        reason = QStringLiteral("other users may write to it");
        return false;
    }
    return true;
}

// What makes a file's state for the metadata strategy: size and both times.
QByteArray FileState(const struct stat& st) {
    QByteArray state(5 * 8, Qt::Uninitialized);
    char* at = state.data();
    for (const qint64 value :
         {qint64(st.st_size), qint64(st.st_mtim.tv_sec), qint64(st.st_mtim.tv_nsec),
          qint64(st.st_ctim.tv_sec), qint64(st.st_ctim.tv_nsec)}) {
        qToLittleEndian<qint64>(value, at);
        at += 8;
    }
    return state;
}

QByteArray Sealed(const QByteArray& key, const QByteArray& value) {
    QByteArray sealed(8, Qt::Uninitialized);
    qToLittleEndian<quint64>(Checksum64(key, value), sealed.data());
    return sealed + value;
}

class Statement {
public:
    Statement() = default;
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Prepare(sqlite3* db, const char* sql) {
        return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr) ==
               SQLITE_OK;
    }
    sqlite3_stmt* get() const { return m_stmt; }
    void Blob(int index, const QByteArray& bytes) {
        sqlite3_bind_blob(m_stmt, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    void Int(int index, qint64 value) { sqlite3_bind_int64(m_stmt, index, value); }
    // Steps once; the statement is reset by Done().
    int Step() { return sqlite3_step(m_stmt); }
    QByteArray ColumnBlob(int column) const {
        const void* data = sqlite3_column_blob(m_stmt, column);
        return QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(m_stmt, column));
    }
    qint64 ColumnInt(int column) const { return sqlite3_column_int64(m_stmt, column); }
    void Done() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// One integer from a query ("PRAGMA page_count"); false when it fails.
bool QueryInt(sqlite3* db, const char* sql, qint64& value, int* code = nullptr) {
    Statement statement;
    if (!statement.Prepare(db, sql)) {
        if (code)
            *code = sqlite3_extended_errcode(db);
        return false;
    }
    const int step = statement.Step();
    if (step != SQLITE_ROW) {
        if (code)
            *code = step == SQLITE_DONE ? SQLITE_CORRUPT : sqlite3_extended_errcode(db);
        return false;
    }
    value = statement.ColumnInt(0);
    return true;
}

const char* const kCreateTables =
    "CREATE TABLE meta(name TEXT PRIMARY KEY, value BLOB NOT NULL);"
    "CREATE TABLE results(key BLOB PRIMARY KEY, value BLOB NOT NULL, used INTEGER NOT NULL);"
    "CREATE INDEX results_by_use ON results(used);"
    "CREATE TABLE files(dev INTEGER NOT NULL, ino INTEGER NOT NULL, state BLOB NOT NULL,"
    " digest BLOB NOT NULL, used INTEGER NOT NULL, PRIMARY KEY(dev, ino));"
    "CREATE INDEX files_by_use ON files(used);";
const char* const kDropTables = "DROP TABLE IF EXISTS meta; DROP TABLE IF EXISTS results;"
                                "DROP TABLE IF EXISTS files;";

enum class Kind { Empty, Ours, OursOtherLayout, Foreign };

bool Examine(sqlite3* db, Kind& kind, int& code) {
    qint64 application = 0, layout = 0, tables = 0;
    if (!QueryInt(db, "PRAGMA application_id", application, &code) ||
        !QueryInt(db, "PRAGMA user_version", layout, &code) ||
        !QueryInt(db, "SELECT count(*) FROM sqlite_schema", tables, &code))
        return false;
    if (application == kApplicationId)
        kind = layout == kSchemaVersion ? Kind::Ours : Kind::OursOtherLayout;
    else if (application == 0 && tables == 0)
        kind = Kind::Empty;
    else
        kind = Kind::Foreign;
    return true;
}

} // namespace

struct ResultStore::Statements {
    Statement get, putReplace, putKeep, touch, getFile, putFile;
};

std::unique_ptr<ResultStore> ResultStore::Open(const QString& folder, Reporter report,
                                               Settings settings) {
    const auto say = [&](const QString& line) {
        if (report)
            report(line);
    };
    QString reason;
    if (!PrepareFolder(folder, reason)) {
        say(QStringLiteral("the result cache folder %1 cannot be used (%2); results are not "
                           "cached")
                .arg(folder, reason));
        return nullptr;
    }
    const QString path = QDir(folder).filePath(FileName());
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) == 0 && (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid())) {
        say(QStringLiteral("the result cache %1 is not a file of this user; it is not used")
                .arg(path));
        return nullptr;
    }
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(name.constData(), &db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE |
                                           SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX,
                                       nullptr);
    if (opened != SQLITE_OK) {
        say(QStringLiteral("the result cache %1 cannot be opened (%2); results are not cached")
                .arg(path, SqliteReason(opened)));
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, settings.busyMilliseconds);
    // The log is folded into the database when it has grown (a thousand pages), not at every
    // close: a rerun that wrote little then costs no flush to disk.
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    std::unique_ptr<ResultStore> store(new ResultStore(db, path, std::move(report), settings));
    if (!store->Prepare())
        return nullptr;
    return store;
}

ResultStore::ResultStore(sqlite3* db, QString path, Reporter report, Settings settings)
    : m_db(db), m_path(std::move(path)), m_report(std::move(report)), m_settings(settings),
      m_statements(std::make_unique<Statements>()),
      m_now(settings.now > 0 ? settings.now : qint64(std::time(nullptr))) {}

ResultStore::~ResultStore() {
    Commit();
    if (m_wrote && m_writing)
        Evict();
    m_statements.reset(); // finalized before the connection closes
    sqlite3_close(m_db);
}

bool ResultStore::Run(const char* sql) {
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void ResultStore::BeginRead() {
    if (!m_inRead)
        m_inRead = Run("BEGIN");
    if (++m_readsInTransaction >= 512) {
        // A reader holds back the folding of other runs' writes into the database.
        EndRead();
        m_inRead = Run("BEGIN");
    }
}

void ResultStore::EndRead() {
    if (m_inRead)
        Run("COMMIT");
    m_inRead = false;
    m_readsInTransaction = 0;
}

bool ResultStore::Prepare() {
    const auto refuse = [&](const QString& why) {
        if (m_report)
            m_report(QStringLiteral("the result cache %1 %2; it is not used (remove it to start "
                                    "a new one)")
                         .arg(m_path, why));
        return false;
    };
    // A database that is not one, or damaged, is left for the user to remove; one that cannot
    // be read or written now (a full disk, a read-only file) is just not used this time.
    const auto broken = [&](int code) {
        const int primary = code & 0xff;
        if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT)
            return refuse(
                QStringLiteral("is damaged or not a database (%1)").arg(SqliteReason(code)));
        if (m_report)
            m_report(QStringLiteral("the result cache %1 cannot be used (%2); results are not "
                                    "cached")
                         .arg(m_path, SqliteReason(code)));
        return false;
    };
    // Only the last writes may be lost to a power cut (the log keeps the database whole), and
    // commits then cost no flush to disk.
    Run("PRAGMA synchronous = NORMAL");
    Kind kind = Kind::Foreign;
    int code = SQLITE_OK;
    if (!Examine(m_db, kind, code))
        return broken(code);
    if (kind == Kind::Foreign)
        return refuse(QStringLiteral("belongs to another program"));
    if (kind != Kind::Ours) {
        // Set up in one transaction; another run may have done it meanwhile.
        if (kind == Kind::Empty)
            Run("PRAGMA auto_vacuum = INCREMENTAL");
        if (!Run("PRAGMA journal_mode = WAL") || !Run("BEGIN IMMEDIATE"))
            return broken(sqlite3_extended_errcode(m_db));
        if (!Examine(m_db, kind, code)) {
            Run("ROLLBACK");
            return broken(code);
        }
        bool made = kind == Kind::Ours;
        if (kind == Kind::Foreign) {
            Run("ROLLBACK");
            return refuse(QStringLiteral("belongs to another program"));
        }
        if (!made) {
            const QByteArray seed = KeyedHasher::NewSeed();
            const QByteArray setUp =
                QByteArray(kDropTables) + kCreateTables +
                "PRAGMA application_id = " + QByteArray::number(kApplicationId) +
                "; PRAGMA user_version = " + QByteArray::number(kSchemaVersion) + ";";
            Statement insert;
            made = !seed.isEmpty() && Run(setUp.constData()) &&
                   insert.Prepare(m_db, "INSERT INTO meta(name, value) VALUES('seed', ?1)");
            if (made) {
                insert.Blob(1, seed);
                made = insert.Step() == SQLITE_DONE;
            }
        }
        if (!made || !Run("COMMIT")) {
            const int failed = sqlite3_extended_errcode(m_db);
            Run("ROLLBACK");
            return broken(failed == SQLITE_OK ? SQLITE_CANTOPEN : failed);
        }
    } else if (!Run("PRAGMA journal_mode = WAL")) {
        return broken(sqlite3_extended_errcode(m_db));
    }
    Statements& s = *m_statements;
    const bool prepared =
        s.get.Prepare(m_db, "SELECT value, used FROM results WHERE key = ?1") &&
        s.putReplace.Prepare(m_db, "INSERT OR REPLACE INTO results(key, value, used) "
                                   "VALUES(?1, ?2, ?3)") &&
        s.putKeep.Prepare(m_db, "INSERT OR IGNORE INTO results(key, value, used) "
                                "VALUES(?1, ?2, ?3)") &&
        s.touch.Prepare(m_db, "UPDATE results SET used = ?2 WHERE key = ?1") &&
        s.getFile.Prepare(m_db, "SELECT state, digest, used FROM files WHERE dev = ?1 AND "
                                "ino = ?2") &&
        s.putFile.Prepare(m_db, "INSERT OR REPLACE INTO files(dev, ino, state, digest, used) "
                                "VALUES(?1, ?2, ?3, ?4, ?5)");
    if (!prepared)
        return broken(sqlite3_extended_errcode(m_db));
    return LoadSeed() || broken(SQLITE_CORRUPT);
}

bool ResultStore::LoadSeed() {
    Statement select;
    if (!select.Prepare(m_db, "SELECT value FROM meta WHERE name = 'seed'") ||
        select.Step() != SQLITE_ROW)
        return false;
    m_seed = select.ColumnBlob(0);
    return m_seed.size() == KeyedHasher::kSeedSize;
}

void ResultStore::Fail(const char* what, int code) {
    if (!m_reading)
        return;
    EndRead();
    m_reading = false;
    m_writing = false;
    m_pending.clear();
    m_touched.clear();
    m_pendingFiles.clear();
    if (m_report)
        m_report(QStringLiteral("the result cache %1 could not be %2 (%3); it is not used for the "
                                "rest of this run (remove it to start a new one)")
                     .arg(m_path, QString::fromLatin1(what), SqliteReason(code)));
}

void ResultStore::WriteFailed(int code) {
    m_pending.clear();
    m_touched.clear();
    m_pendingFiles.clear();
    if (!m_writing)
        return;
    m_writing = false;
    if (m_report)
        m_report(QStringLiteral("the result cache %1 could not be written (%2); the results of "
                                "this run are not kept")
                     .arg(m_path, SqliteReason(code)));
}

std::optional<QByteArray> ResultStore::Get(const KeyedDigest& key) {
    if (!m_reading)
        return std::nullopt;
    const QByteArray keyBytes = key.Bytes();
    if (const auto pending = m_pending.constFind(keyBytes); pending != m_pending.cend()) {
        ++m_counts.hits;
        return pending->value;
    }
    BeginRead();
    Statement& get = m_statements->get;
    get.Blob(1, keyBytes);
    const int step = get.Step();
    std::optional<QByteArray> value;
    if (step == SQLITE_ROW) {
        const QByteArray sealed = get.ColumnBlob(0);
        const qint64 used = get.ColumnInt(1);
        if (sealed.size() >= 8 && qFromLittleEndian<quint64>(sealed.constData()) ==
                                      Checksum64(keyBytes, QByteArrayView(sealed).sliced(8))) {
            value = sealed.sliced(8);
            if (used < m_now - kTouchAfterSeconds && m_writing)
                m_touched.push_back(keyBytes);
        }
        // A damaged entry is a miss; the run's own result replaces it.
    }
    get.Done();
    if (step != SQLITE_ROW && step != SQLITE_DONE) {
        Fail("read", step);
        return std::nullopt;
    }
    ++(value ? m_counts.hits : m_counts.misses);
    return value;
}

void ResultStore::Put(const KeyedDigest& key, QByteArray value, bool replace) {
    if (!m_writing)
        return;
    Pending& pending = m_pending[key.Bytes()];
    if (!pending.value.isEmpty() && !replace)
        return;
    pending.value = std::move(value);
    pending.replace = replace;
    if (m_pending.size() >= m_settings.batchSize)
        Commit();
}

std::optional<KeyedDigest> ResultStore::FileDigest(const struct stat& st) {
    if (!m_reading)
        return std::nullopt;
    BeginRead();
    Statement& get = m_statements->getFile;
    get.Int(1, qint64(st.st_dev));
    get.Int(2, qint64(st.st_ino));
    const int step = get.Step();
    std::optional<KeyedDigest> digest;
    qint64 used = 0;
    if (step == SQLITE_ROW && get.ColumnBlob(0) == FileState(st)) {
        KeyedDigest found;
        if (KeyedDigest::FromBytes(get.ColumnBlob(1), found))
            digest = found;
        used = get.ColumnInt(2);
    }
    get.Done();
    if (step != SQLITE_ROW && step != SQLITE_DONE) {
        Fail("read", step);
        return std::nullopt;
    }
    if (digest && used < m_now - kTouchAfterSeconds)
        PutFileDigest(st, *digest);
    return digest;
}

bool ResultStore::RecentlyChanged(const struct stat& st) {
    const qint64 now = qint64(std::time(nullptr));
    return st.st_mtim.tv_sec >= now - kRacySeconds || st.st_ctim.tv_sec >= now - kRacySeconds;
}

void ResultStore::PutFileDigest(const struct stat& st, const KeyedDigest& digest) {
    if (!m_writing || RecentlyChanged(st))
        return;
    m_pendingFiles.push_back({st, digest});
    if (qsizetype(m_pendingFiles.size()) >= m_settings.batchSize)
        Commit();
}

void ResultStore::Commit() {
    EndRead();
    if (!m_writing || (m_pending.isEmpty() && m_touched.empty() && m_pendingFiles.empty()))
        return;
    if (!Run("BEGIN IMMEDIATE")) {
        const int code = sqlite3_extended_errcode(m_db);
        if ((code & 0xff) == SQLITE_BUSY) {
            // Another run holds the database longer than we wait: our results go unkept.
            m_pending.clear();
            m_touched.clear();
            m_pendingFiles.clear();
            return;
        }
        WriteFailed(code);
        return;
    }
    Statements& s = *m_statements;
    int failed = SQLITE_OK;
    const auto step = [&](Statement& statement) {
        const int result = statement.Step();
        statement.Done();
        if (result != SQLITE_DONE && failed == SQLITE_OK)
            failed = result;
    };
    for (auto it = m_pending.cbegin(); it != m_pending.cend() && failed == SQLITE_OK; ++it) {
        Statement& put = it->replace ? s.putReplace : s.putKeep;
        put.Blob(1, it.key());
        put.Blob(2, Sealed(it.key(), it->value));
        put.Int(3, m_now);
        step(put);
    }
    for (const QByteArray& key : m_touched) {
        if (failed != SQLITE_OK)
            break;
        s.touch.Blob(1, key);
        s.touch.Int(2, m_now);
        step(s.touch);
    }
    for (const PendingFile& file : m_pendingFiles) {
        if (failed != SQLITE_OK)
            break;
        s.putFile.Int(1, qint64(file.st.st_dev));
        s.putFile.Int(2, qint64(file.st.st_ino));
        s.putFile.Blob(3, FileState(file.st));
        s.putFile.Blob(4, file.digest.Bytes());
        s.putFile.Int(5, m_now);
        step(s.putFile);
    }
    if (failed == SQLITE_OK && !Run("COMMIT"))
        failed = sqlite3_extended_errcode(m_db);
    if (failed != SQLITE_OK) {
        Run("ROLLBACK");
        WriteFailed(failed);
        return;
    }
    m_counts.written += m_pending.size();
    m_wrote = m_wrote || !m_pending.isEmpty() || !m_pendingFiles.empty();
    m_pending.clear();
    m_touched.clear();
    m_pendingFiles.clear();
}

qint64 ResultStore::SizeInUse() {
    qint64 pages = 0, free = 0, pageSize = 0;
    if (!QueryInt(m_db, "PRAGMA page_count", pages) ||
        !QueryInt(m_db, "PRAGMA freelist_count", free) ||
        !QueryInt(m_db, "PRAGMA page_size", pageSize))
        return -1;
    return (pages - free) * pageSize;
}

void ResultStore::Evict() {
    // The oldest quarter at a time, until the database is well below its bound.
    for (int round = 0; round < kMaxEvictionRounds; ++round) {
        const qint64 size = SizeInUse();
        if (size < 0 || size <= (round == 0 ? m_settings.maxBytes : m_settings.maxBytes * 3 / 4))
            break;
        if (!Run("BEGIN IMMEDIATE"))
            return;
        const bool done =
            Run("DELETE FROM results WHERE rowid IN (SELECT rowid FROM results ORDER BY used "
                "LIMIT max(1, (SELECT count(*) FROM results) / 4))") &&
            Run("DELETE FROM files WHERE rowid IN (SELECT rowid FROM files ORDER BY used "
                "LIMIT (SELECT count(*) FROM files) / 4)") &&
            Run("COMMIT");
        if (!done) {
            Run("ROLLBACK");
            return;
        }
        Run("PRAGMA incremental_vacuum");
    }
}

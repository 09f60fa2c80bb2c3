// The result cache's database: what it keeps across runs, what it refuses to trust (a damaged,
// cut-short or foreign database, a value whose bytes changed, a folder or file others control),
// its bound, and two writers at once.

#include "common/TestSupport.h"
#include "support/ResultStore.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

KeyedDigest Key(quint64 n) {
    return {n * 0x9E3779B97F4A7C15ull + 1, n};
}

QByteArray Value(quint64 n, qsizetype size = 40) {
    QByteArray value = QByteArray::number(n).leftJustified(size, '.');
    return value;
}

struct Opened {
    std::unique_ptr<ResultStore> store;
    QStringList lines;
};

Opened Open(const QString& folder, ResultStore::Settings settings = {}) {
    Opened opened;
    opened.store = ResultStore::Open(
        folder, [&opened](const QString& line) { opened.lines << line; }, settings);
    return opened;
}

QString Database(const QString& folder) {
    return QDir(folder).filePath(ResultStore::FileName());
}

// Folds the write-ahead log into the database file (which a store leaves to a later run).
void Checkpoint(const QString& folder) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(Database(folder)).constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
}

// A store in `folder` holding entries 0 .. count-1, all in the database file.
void Fill(const QString& folder, int count, qsizetype size = 40) {
    {
        Opened opened = Open(folder);
        ASSERT_TRUE(opened.store) << opened.lines.join('\n').toStdString();
        for (int i = 0; i < count; ++i)
            opened.store->Put(Key(quint64(i)), Value(quint64(i), size));
    }
    Checkpoint(folder);
}

struct stat OldFile(ino_t inode) {
    struct stat st {};
    st.st_dev = 42;
    st.st_ino = inode;
    st.st_size = 1000;
    st.st_mtim = {1600000000, 123};
    st.st_ctim = {1600000100, 456};
    return st;
}

} // namespace

TEST(ResultStore, KeepsEntriesSeedAndFileDigestsAcrossRuns) {
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("cache/kelvane"));
    QByteArray seed;
    {
        Opened opened = Open(folder);
        ASSERT_TRUE(opened.store);
        EXPECT_TRUE(opened.lines.isEmpty());
        seed = opened.store->Seed();
        EXPECT_EQ(seed.size(), KeyedHasher::kSeedSize);
        opened.store->Put(Key(1), "one");
        opened.store->Put(Key(2), "two");
        opened.store->Put(Key(2), "not kept", false);
        EXPECT_EQ(opened.store->Get(Key(2)), QByteArray("two")); // before the commit too
        opened.store->PutFileDigest(OldFile(7), Key(70));
        struct stat fresh = OldFile(8);
        fresh.st_mtim.tv_sec = time(nullptr);
        opened.store->PutFileDigest(fresh, Key(80)); // could change again within the tick
    }
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    Opened again = Open(folder);
    ASSERT_TRUE(again.store);
    EXPECT_EQ(again.store->Seed(), seed);
    EXPECT_EQ(again.store->Get(Key(1)), QByteArray("one"));
    EXPECT_EQ(again.store->Get(Key(2)), QByteArray("two"));
    again.store->Put(Key(2), "replaced");
    EXPECT_EQ(again.store->Get(Key(2)), QByteArray("replaced"));
    EXPECT_FALSE(again.store->Get(Key(3)));
    EXPECT_EQ(again.store->FileDigest(OldFile(7)), Key(70));
    EXPECT_FALSE(again.store->FileDigest(OldFile(8)));
    // Any of the file's state moved on: its content may have changed.
    for (const auto& change : std::vector<std::function<void(struct stat&)>>{
             [](struct stat& s) { s.st_size += 1; }, [](struct stat& s) { s.st_mtim.tv_nsec += 1; },
             [](struct stat& s) { s.st_ctim.tv_sec += 1; },
             [](struct stat& s) { s.st_dev += 1; }}) {
        struct stat changed = OldFile(7);
        change(changed);
        EXPECT_FALSE(again.store->FileDigest(changed));
    }
}

// Every case ends with a store that is refused, or one whose answers are all true; never a
// wrong value and never a crash, and a database of another program is left as it was.
TEST(ResultStore, NeverTrustsWhatItCannotVouchFor) {
    struct Case {
        const char* name;
        std::function<void(const QString& folder)> make;
        int opens;      // the store is still used (1), refused (0), either (-1)
        bool saysSo;    // a line says what is wrong
        bool untouched; // the database file keeps its bytes
    };
    const auto sqliteOfAnother = [](const QString& folder) {
        QDir().mkpath(folder);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(Database(folder)).constData(), &db), SQLITE_OK);
        sqlite3_exec(db, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine');", nullptr,
                     nullptr, nullptr);
        sqlite3_close(db);
    };
    const auto cutTo = [](qint64 size) {
        return [size](const QString& folder) {
            Fill(folder, 3000, 200);
            ASSERT_EQ(::truncate(QFile::encodeName(Database(folder)).constData(),
                                 size >= 0 ? size : QFileInfo(Database(folder)).size() / 2),
                      0);
        };
    };
    const std::vector<Case> cases = {
        {"garbage",
         [](const QString& folder) {
             QDir().mkpath(folder);
             QByteArray garbage(8192, Qt::Uninitialized);
             for (char& c : garbage)
                 c = char(QRandomGenerator::global()->generate());
             WriteAll(Database(folder), garbage);
         },
         0, true, true},
        {"text that is no database",
         [](const QString& folder) {
             QDir().mkpath(folder);
             WriteAll(Database(folder), QByteArray("SQLite format 3\0 but no more", 28));
         },
         0, true, true},
        {"another program's SQLite database", sqliteOfAnother, 0, true, true},
        {"cut to half its size", cutTo(-1), -1, true, false},
        {"cut to its first 100 bytes", cutTo(100), 0, true, false},
        {"its log cut short",
         [](const QString& folder) {
             Fill(folder, 10, 200);
             // Written by a run that was killed: the log holds the rest, cut mid-way.
             {
                 Opened opened = Open(folder);
                 ASSERT_TRUE(opened.store);
                 for (int i = 10; i < 3000; ++i)
                     opened.store->Put(Key(quint64(i)), Value(quint64(i), 200));
             }
             const QString log = Database(folder) + QStringLiteral("-wal");
             ASSERT_EQ(::truncate(QFile::encodeName(log).constData(), QFileInfo(log).size() / 2),
                       0);
         },
         1, false, false},
        {"a folder others may write to",
         [](const QString& folder) {
             Fill(folder, 10);
             QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
         },
         0, true, false},
        {"a database that is a symbolic link",
         [](const QString& folder) {
             Fill(folder + QStringLiteral("-real"), 10);
             QDir().mkpath(folder);
             QFile::link(Database(folder + QStringLiteral("-real")), Database(folder));
         },
         0, true, false},
        {"a database of another user",
         [](const QString& folder) {
             Fill(folder, 10);
             if (::geteuid() != 0)
                 GTEST_SKIP() << "only root can give the file to another user";
             ASSERT_EQ(::chown(QFile::encodeName(Database(folder)).constData(), 65534, 65534), 0);
         },
         0, true, false},
        {"an empty file",
         [](const QString& folder) {
             QDir().mkpath(folder);
             WriteAll(Database(folder), {});
         },
         1, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir home;
        const QString folder = home.filePath(QStringLiteral("kelvane"));
        c.make(folder);
        if (::testing::Test::IsSkipped())
            return;
        const QByteArray before =
            QFile(Database(folder)).exists() ? ReadAll(Database(folder)) : QByteArray();
        Opened opened = Open(folder);
        if (c.opens >= 0) {
            EXPECT_EQ(int(bool(opened.store)), c.opens);
        }
        if (opened.store) {
            for (int i = 0; i < 3000; ++i) {
                const std::optional<QByteArray> value = opened.store->Get(Key(quint64(i)));
                if (value) {
                    ASSERT_EQ(*value, Value(quint64(i), 200)) << "entry " << i;
                }
            }
            opened.store->Put(Key(99999), "after");
            opened.store.reset();
        }
        EXPECT_EQ(!opened.lines.isEmpty(), c.saysSo) << opened.lines.join('\n').toStdString();
        for (const QString& line : std::as_const(opened.lines))
            EXPECT_TRUE(line.startsWith(QLatin1String("the result cache"))) << line.toStdString();
        if (c.untouched) {
            EXPECT_EQ(ReadAll(Database(folder)), before);
        }
    }
}

TEST(ResultStore, AValueWhoseBytesChangedIsAMiss) {
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("kelvane"));
    {
        Opened opened = Open(folder);
        ASSERT_TRUE(opened.store);
        opened.store->Put(Key(1), QByteArray("a value of its own, sealed"));
        opened.store->Put(Key(2), QByteArray("another value, left alone"));
    }
    Checkpoint(folder);
    QByteArray file = ReadAll(Database(folder));
    const qsizetype at = file.indexOf("of its own");
    ASSERT_GE(at, 0);
    file[at] = 'O';
    WriteAll(Database(folder), file);

    Opened opened = Open(folder);
    ASSERT_TRUE(opened.store);
    EXPECT_FALSE(opened.store->Get(Key(1)));
    EXPECT_EQ(opened.store->Get(Key(2)), QByteArray("another value, left alone"));
}

TEST(ResultStore, StaysWithinItsBoundDroppingTheLeastRecentlyUsed) {
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("kelvane"));
    ResultStore::Settings settings;
    settings.maxBytes = 256 * 1024;
    const quint64 perRun = 60;
    const int runs = 12;
    for (int run = 0; run < runs; ++run) {
        settings.now = 1700000000 + qint64(run) * 2 * 24 * 3600;
        Opened opened = Open(folder, settings);
        ASSERT_TRUE(opened.store);
        if (run > 0) { // read again, so it is the most recently used
            EXPECT_TRUE(opened.store->Get(Key(0)));
        }
        for (quint64 i = 0; i < perRun; ++i) {
            const quint64 n = run == 0 && i == 0 ? 0 : quint64(run) * perRun + i + 1;
            opened.store->Put(Key(n), Value(n, 1024));
        }
    }
    Opened opened = Open(folder, settings);
    ASSERT_TRUE(opened.store);
    EXPECT_LE(opened.store->SizeInUse(), settings.maxBytes);
    EXPECT_LE(QFileInfo(Database(folder)).size(), settings.maxBytes * 5 / 4);
    EXPECT_TRUE(opened.store->Get(Key(0)));                              // used each run
    EXPECT_TRUE(opened.store->Get(Key(quint64(runs - 1) * perRun + 5))); // the last run's
    EXPECT_FALSE(opened.store->Get(Key(perRun + 5)));                    // an early run's
}

TEST(ResultStore, TwoRunsWriteAtOnce) {
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("kelvane"));
    ResultStore::Settings settings;
    settings.batchSize = 25;
    const auto writer = [&](quint64 first, QStringList& lines) {
        std::unique_ptr<ResultStore> store = ResultStore::Open(
            folder, [&](const QString& line) { lines << line; }, settings);
        if (!store)
            return;
        for (quint64 n = first; n < first + 2000; ++n) {
            store->Put(Key(n), Value(n));
            store->Get(Key(n ^ 1));
        }
    };
    QStringList first, second;
    std::thread a(writer, 0, std::ref(first));
    std::thread b(writer, 100000, std::ref(second));
    a.join();
    b.join();
    EXPECT_TRUE(first.isEmpty()) << first.join('\n').toStdString();
    EXPECT_TRUE(second.isEmpty()) << second.join('\n').toStdString();
    Opened opened = Open(folder);
    ASSERT_TRUE(opened.store);
    for (quint64 n : {quint64(0), quint64(1999), quint64(100000), quint64(101999)}) {
        EXPECT_EQ(opened.store->Get(Key(n)), Value(n)) << n;
    }
}

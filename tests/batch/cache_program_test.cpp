// kelvane-batch with its result cache, as users run it again and again: over a real public
// manual with its own old dates (fish's, which scripts/install-deps installs), given to another
// user, with edits between runs that keep each page's size and dates; every run must report
// and write exactly what the same run without the cache does. A cache that is damaged, another
// program's, unwritable or on a full disk costs a line, never a result; two runs share one.

#include "BatchProgramFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <sqlite3.h>
#include <sys/stat.h>

namespace {

const char kManual[] = "/usr/share/doc/fish";

// The report's files with the tree's name taken out of each path (the two trees differ only
// in it), its counts, summary and exit status.
QByteArray Comparable(QByteArray json, const QString& tree) {
    json.replace((tree + '/').toUtf8(), "TREE/"); // paths, also in diffs
    QJsonObject report = QJsonDocument::fromJson(json).object();
    QJsonObject kept;
    kept["files"] = report["files"];
    kept["counts"] = report["counts"];
    kept["summary"] = report["summary"];
    kept["exitStatus"] = report["exitStatus"];
    return QJsonDocument(kept).toJson();
}

// `touch -r`: the page's times as another file's.
void TouchLike(const QString& path, const QString& reference) {
    ASSERT_EQ(QProcess::execute("touch", {"-r", reference, path}), 0);
}

// Turns the page's first paragraph into an unknown element (other messages, another tidied
// text), keeping its size and (with `touch -r`) its dates.
void EditKeepingSizeAndDates(const QString& path, const QString& scratch) {
    QFile::remove(scratch);
    ASSERT_TRUE(QFile::copy(path, scratch));
    QByteArray bytes = ReadAll(path);
    qsizetype at = bytes.indexOf("<p>");
    if (at < 0)
        at = bytes.indexOf("<P>");
    ASSERT_GE(at, 0) << path.toStdString();
    bytes[at + 1] = 'x';
    WriteAll(path, bytes);
    TouchLike(path, scratch);
    ASSERT_EQ(QFileInfo(path).size(), bytes.size());
    ASSERT_EQ(QFileInfo(path).lastModified(), QFileInfo(scratch).lastModified());
    QFile::remove(scratch);
}

class CacheProgram : public BatchProgramTest {
protected:
    void SetUp() override {
        BatchProgramTest::SetUp();
        if (!QFileInfo(QString::fromLatin1(kManual) + "/index.html").exists())
            GTEST_SKIP() << kManual << " is missing (scripts/install-deps installs fish)";
        for (const char* tree : {"cached", "plain"}) {
            // cp -a keeps the manual's own dates.
            ASSERT_EQ(QProcess::execute("cp", {"-a", QString::fromLatin1(kManual), At(tree)}), 0);
            if (::geteuid() == 0) {
                ASSERT_EQ(QProcess::execute("chown", {"-R", "65534:65534", At(tree)}), 0);
            }
        }
    }

    // The command over both trees, with the cache and without it: the same report, the same
    // exit status and the same files.
    void Both(const QStringList& command, const QStringList& cacheSwitches = {}) {
        const BatchOutcome cached =
            Run(command + cacheSwitches + QStringList{"-r", "-q", "--format", "json", "cached"});
        const BatchOutcome plain =
            Run(command + QStringList{"--no-cache", "-r", "-q", "--format", "json", "plain"});
        ASSERT_FALSE(cached.crashed);
        EXPECT_EQ(cached.exitCode, plain.exitCode) << cached.err.constData();
        EXPECT_EQ(Comparable(cached.out, "cached").toStdString(),
                  Comparable(plain.out, "plain").toStdString());
        EXPECT_FALSE(cached.err.contains("result cache")) << cached.err.constData();
        EXPECT_EQ(Snapshot("cached"), Snapshot("plain"));
    }

    void EditBoth(const QString& page) {
        for (const char* tree : {"cached", "plain"})
            EditKeepingSizeAndDates(At(QLatin1String(tree) + "/" + page), At("scratch"));
    }
};

} // namespace

TEST_F(CacheProgram, EveryRunOverARealManualReportsAndWritesWhatARunWithoutTheCacheDoes) {
    {
        SCOPED_TRACE("validate, then again");
        Both({"validate"});
        Both({"validate"});
    }
    EXPECT_TRUE(QFileInfo::exists(home.filePath("XDG_CACHE_HOME/kelvane/results.sqlite")));
    {
        SCOPED_TRACE("edits that keep sizes and dates");
        EditBoth("index.html");
        EditBoth("cmds/echo.html");
        Both({"validate"});
        Both({"validate"}, {"--cache-strategy", "metadata"});
    }
    {
        SCOPED_TRACE("tidy, then again over the tidied manual");
        Both({"tidy", "--force"});
        Both({"tidy", "--force"});
        Both({"tidy", "--check"});
        Both({"validate"});
    }
    {
        SCOPED_TRACE("tidied pages edited, sizes and dates kept");
        EditBoth("faq.html");
        EditBoth("cmds/break.html");
        Both({"tidy", "--force", "--diff"});
        Both({"tidy", "--force"});
        Both({"tidy", "--force"});
        Both({"validate"}, {"--cache-strategy", "metadata"});
    }
}

TEST_F(CacheProgram, NoCacheWritesNoCacheAndTheLocationIsTheOneGiven) {
    const BatchOutcome off = Run({"validate", "--no-cache", "-r", "-q", "plain"});
    EXPECT_FALSE(off.crashed);
    EXPECT_FALSE(QFileInfo::exists(home.filePath("XDG_CACHE_HOME/kelvane")));
    const BatchOutcome elsewhere =
        Run({"validate", "--cache-location", At("my cache"), "-r", "-q", "plain"});
    EXPECT_EQ(elsewhere.exitCode, off.exitCode);
    EXPECT_EQ(elsewhere.out, off.out);
    EXPECT_TRUE(QFileInfo::exists(At("my cache/results.sqlite")));
    EXPECT_FALSE(QFileInfo::exists(home.filePath("XDG_CACHE_HOME/kelvane")));
    // Restore and clean have no use for it.
    Run({"clean", "-r", "-q", "plain"});
    EXPECT_FALSE(QFileInfo::exists(home.filePath("XDG_CACHE_HOME/kelvane")));
}

// Whatever state the cache is in, the run reports what it reports without one, says once what
// is wrong with the cache, and a database that is not ours keeps its bytes.
TEST_F(CacheProgram, ACacheThatCannotBeTrustedOrWrittenCostsALineNeverAResult) {
    const BatchOutcome reference =
        Run({"validate", "--no-cache", "-r", "-q", "--format", "json", "plain"});
    const QString location = At("cache");
    const QString database = location + "/results.sqlite";
    const auto fill = [&] {
        const BatchOutcome r =
            Run({"validate", "--cache-location", location, "-r", "-q", "cached"});
        ASSERT_FALSE(r.crashed);
        sqlite3* db = nullptr; // everything into the database file, as after a quiet day
        ASSERT_EQ(sqlite3_open(QFile::encodeName(database).constData(), &db), SQLITE_OK);
        sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    };
    struct Case {
        const char* name;
        std::function<void()> make;
        QStringList prefix; // how the run is started
        bool untouched;     // the database keeps its bytes
    };
    QStringList unprivileged;
    if (::geteuid() == 0 && !QStandardPaths::findExecutable("setpriv").isEmpty())
        unprivileged = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    // A small file system of its own, filled to the brim, where the system lets us make one.
    const bool tmpfs = ::geteuid() == 0 && QProcess::execute("unshare", {"-m", "true"}) == 0;
    const auto needTmpfs = [&] {
        if (!tmpfs)
            GTEST_SKIP() << "no file system of our own can be mounted here";
    };
    // The run in a mount namespace of its own, the cache on a file system of `kilobytes` with
    // `filled` bytes taken.
    const auto onTmpfs = [&](int kilobytes, int filled) {
        return QStringList{"unshare",
                           "-m",
                           "sh",
                           "-c",
                           QStringLiteral("mount -t tmpfs -o size=%1k,mode=0700 tmpfs \"$0\" && "
                                          "head -c %2 /dev/zero > \"$0/filler\" && exec \"$@\"")
                               .arg(kilobytes)
                               .arg(filled),
                           location};
    };
    const std::vector<Case> cases = {
        {"cut short",
         [&] {
             fill();
             ASSERT_EQ(::truncate(QFile::encodeName(database).constData(), 1000), 0);
         },
         {},
         false},
        {"garbage",
         [&] {
             QDir().mkpath(location);
             WriteAll(database, QByteArray(20000, '\x5a'));
         },
         {},
         true},
        {"another program's database",
         [&] {
             QDir().mkpath(location);
             sqlite3* db = nullptr;
             ASSERT_EQ(sqlite3_open(QFile::encodeName(database).constData(), &db), SQLITE_OK);
             sqlite3_exec(db,
                          "CREATE TABLE results(key, value, used); INSERT INTO results "
                          "VALUES(1, 2, 3);",
                          nullptr, nullptr, nullptr);
             sqlite3_close(db);
         },
         {},
         true},
        {"a location this user cannot write",
         [&] {
             if (::geteuid() == 0 && unprivileged.isEmpty())
                 GTEST_SKIP() << "root writes anywhere; no setpriv to run as another user";
             if (::geteuid() == 0) {
                 ASSERT_EQ(::chown(QFile::encodeName(location).constData(), 65534, 65534), 0);
             }
             ::chmod(QFile::encodeName(location).constData(), 0555);
         },
         unprivileged, false},
        {"a disk full from the start", needTmpfs, onTmpfs(96, 80000), false},
        {"a disk that fills during the run", needTmpfs, onTmpfs(200, 90000), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(location).removeRecursively();
        QDir().mkpath(location);
        c.make();
        if (IsSkipped())
            return;
        if (!c.prefix.isEmpty() && c.prefix.first() == "setpriv") {
            ::chmod(QFile::encodeName(home.path()).constData(), 0755);
            ::chmod(QFile::encodeName(work).constData(), 0755);
        }
        const QByteArray before = QFileInfo::exists(database) ? ReadAll(database) : QByteArray();
        for (int run = 0; run < 2; ++run) {
            const BatchOutcome r = Run(
                {"validate", "--cache-location", location, "-r", "-q", "--format", "json", "plain"},
                {}, {}, c.prefix);
            ASSERT_FALSE(r.crashed) << r.err.constData();
            EXPECT_EQ(r.exitCode, reference.exitCode) << r.err.constData();
            EXPECT_EQ(Comparable(r.out, "plain"), Comparable(reference.out, "plain"));
            EXPECT_TRUE(r.err.contains("kelvane-batch: the result cache")) << r.err.constData();
            EXPECT_EQ(r.err.count("result cache"), 1) << r.err.constData();
        }
        if (c.untouched) {
            EXPECT_EQ(ReadAll(database), before);
        }
        ::chmod(QFile::encodeName(location).constData(), 0755);
    }
}

TEST_F(CacheProgram, TwoRunsAtOnceShareOneCache) {
    const QString location = At("shared cache");
    const BatchOutcome reference =
        Run({"tidy", "--no-cache", "--force", "-r", "-q", "--format", "json", "plain"});
    ASSERT_EQ(QProcess::execute("cp", {"-a", At("cached"), At("second")}), 0);
    QProcess first, second;
    Start(first, {"tidy", "--cache-location", location, "--force", "-r", "-q", "--format", "json",
                  "cached"});
    Start(second, {"tidy", "--cache-location", location, "--force", "-r", "-q", "--format", "json",
                   "second"});
    ASSERT_TRUE(first.waitForFinished(60000));
    ASSERT_TRUE(second.waitForFinished(60000));
    for (QProcess* process : {&first, &second}) {
        const QString tree = process == &first ? "cached" : "second";
        EXPECT_EQ(process->exitCode(), reference.exitCode)
            << process->readAllStandardError().constData();
        EXPECT_EQ(Comparable(process->readAllStandardOutput(), tree),
                  Comparable(reference.out, "plain"));
        EXPECT_EQ(Snapshot(tree), Snapshot("plain"));
    }
    // What either kept serves the next run.
    const BatchOutcome again =
        Run({"validate", "--cache-location", location, "-r", "-q", "--format", "json", "second"});
    const BatchOutcome plain =
        Run({"validate", "--no-cache", "-r", "-q", "--format", "json", "plain"});
    EXPECT_EQ(Comparable(again.out, "second"), Comparable(plain.out, "plain"));
    EXPECT_TRUE(again.err.isEmpty()) << again.err.constData();
}

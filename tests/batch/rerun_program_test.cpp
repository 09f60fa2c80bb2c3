// kelvane-batch over a site as real sites are: files with their own old dates, runs repeated
// after an interruption, two runs at once, names that share a file. Whatever happens, every
// page ends up as it was or as the `tidy` program writes it, and every backup holds the
// original.

#include "BatchProgramFixture.h"
#include "platform/UniqueFd.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QThread>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

// Our default options as `tidy` configuration (what the settings file holds when empty).
const QStringList kTidyOptions = {"--show-errors",
                                  "1000000",
                                  "--show-warnings",
                                  "yes",
                                  "--force-output",
                                  "yes",
                                  "--break-before-br",
                                  "no",
                                  "--bare",
                                  "yes",
                                  "--clean",
                                  "yes",
                                  "--word-2000",
                                  "yes",
                                  "--indent",
                                  "no",
                                  "--uppercase-tags",
                                  "yes",
                                  "--uppercase-attributes",
                                  "yes",
                                  "--drop-empty-paras",
                                  "yes",
                                  "--fix-bad-comments",
                                  "no",
                                  "--fix-uri",
                                  "no",
                                  "--tidy-mark",
                                  "no",
                                  "--wrap",
                                  "0",
                                  "--tab-size",
                                  "1",
                                  "--input-encoding",
                                  "raw",
                                  "--output-encoding",
                                  "raw"};

// What `tidy` writes for `page`.
QByteArray TidyOracle(const QString& tidy, const QByteArray& page) {
    QProcess process;
    process.start(tidy, QStringList{"-q"} + kTidyOptions);
    process.write(page);
    process.closeWriteChannel();
    process.waitForFinished(30000);
    return process.readAllStandardOutput();
}

class RealSite : public BatchProgramTest {
protected:
    void SetUp() override {
        BatchProgramTest::SetUp();
        tidy = QStandardPaths::findExecutable(QStringLiteral("tidy"));
        if (tidy.isEmpty())
            GTEST_SKIP() << "the tidy program is not installed (scripts/install-deps does that)";
        // The example pages, many times over, under names with blanks and accents, every file
        // and folder dated hours back.
        QDirIterator it(ExamplesPath(QStringLiteral("site")), {"*.html", "*.htm"}, QDir::Files,
                        QDirIterator::Subdirectories);
        QList<QByteArray> pages;
        while (it.hasNext())
            pages << ReadAll(it.next());
        for (int i = 0; i < 240; ++i) {
            const QString name = QStringLiteral("site/part %1/page é %2.html").arg(i % 6).arg(i);
            QDir().mkpath(QFileInfo(At(name)).path());
            WriteAll(At(name), pages[i % pages.size()]);
            originals.insert(name.mid(5), pages[i % pages.size()]);
        }
        const timespec past[2] = {{std::time(nullptr) - 6 * 3600, 0},
                                  {std::time(nullptr) - 6 * 3600, 0}};
        QDirIterator all(At("site"), QDir::AllEntries | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
        while (all.hasNext())
            ::utimensat(AT_FDCWD, QFile::encodeName(all.next()).constData(), past, 0);
        for (auto [name, bytes] : originals.asKeyValueRange())
            if (!tidied.contains(bytes))
                tidied.insert(bytes, TidyOracle(tidy, bytes));
    }

    // Every page is as it was (with no backup, or one holding the original) or as `tidy`
    // writes it with a backup holding the original; no temporary is left, except, after a run
    // killed outright, one it had named and not yet renamed, which nobody holds (the next run
    // removes it). Answers how many were tidied.
    int ExpectEveryPageWhole(const char* context, bool killed = false) {
        int done = 0;
        const QMap<QString, QByteArray> now = Snapshot("site");
        for (auto [name, original] : originals.asKeyValueRange()) {
            const QString backup =
                QFileInfo(name).path() + "/Kelvane Backup/" + QFileInfo(name).fileName();
            const QByteArray page = now.value(name);
            if (page == tidied.value(original) && page != original) {
                ++done;
                EXPECT_EQ(now.value(backup), original) << context << ": " << name.toStdString();
            } else {
                EXPECT_EQ(page, original) << context << ": " << name.toStdString();
                EXPECT_TRUE(!now.contains(backup) || now.value(backup) == original)
                    << context << ": " << name.toStdString();
            }
        }
        for (const QString& name : now.keys()) {
            if (!name.endsWith(".tmp"))
                continue;
            const platform::UniqueFd left(::open(QFile::encodeName(At("site/" + name)).constData(),
                                                 O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
            EXPECT_TRUE(killed && left.get() >= 0 && ::flock(left.get(), LOCK_EX | LOCK_NB) == 0)
                << context << ": " << name.toStdString();
        }
        return done;
    }
    int Changing() const {
        int count = 0;
        for (const QByteArray& original : originals)
            count += tidied.value(original) != original;
        return count;
    }
    QMap<QString, int> Statuses(const QByteArray& json) const {
        QMap<QString, int> statuses;
        for (const QJsonValue& file : QJsonDocument::fromJson(json).object()["files"].toArray())
            ++statuses[file["status"].toString()];
        return statuses;
    }

    QString tidy;
    QMap<QString, QByteArray> originals; // by name below site/
    QMap<QByteArray, QByteArray> tidied; // by original
};

} // namespace

TEST_F(RealSite, OldPagesAreTidiedAsTidyDoesAndARunAgainKeepsEveryOriginal) {
    const QStringList tidyRun = {"tidy", "-r",       "-q",   "--force", "-j",
                                 "2",    "--format", "json", "site"};
    const BatchOutcome first = Run(tidyRun);
    EXPECT_LE(first.exitCode, 1) << first.err.constData(); // 1: pages with errors
    EXPECT_FALSE(first.err.contains("No backup")) << first.err.constData();
    EXPECT_EQ(ExpectEveryPageWhole("first run"), Changing());

    // Run again: nothing is tidied twice, no backup takes tidied text.
    const BatchOutcome again = Run(tidyRun);
    EXPECT_LE(again.exitCode, 1) << again.err.constData();
    EXPECT_EQ(Statuses(again.out).value("already-tidied"), Changing())
        << again.out.right(300).constData();
    EXPECT_EQ(ExpectEveryPageWhole("run again"), Changing());

    // Restore brings back every byte.
    const BatchOutcome restore = Run({"restore", "-r", "-q", "site"});
    EXPECT_EQ(restore.exitCode, 0) << restore.err.constData();
    EXPECT_EQ(ExpectEveryPageWhole("restored"), 0);
}

TEST_F(RealSite, RunsAtOnceOrCutShortNeverPutTidiedTextInABackup) {
    // Two runs over one tree at once, each with several helpers.
    QProcess one, two;
    Start(one, {"tidy", "-r", "-q", "--force", "-j", "2", "site"});
    Start(two, {"tidy", "-r", "-q", "--force", "-j", "2", "site/part 1", "site"});
    ASSERT_TRUE(one.waitForFinished(60000) && two.waitForFinished(60000));
    EXPECT_EQ(ExpectEveryPageWhole("two runs at once"), Changing());
    const QByteArray lines = one.readAllStandardError() + two.readAllStandardError();
    EXPECT_FALSE(lines.contains("No backup")) << lines.constData();

    // Killed at a random moment, then run again, as anyone would.
    EXPECT_EQ(Run({"restore", "-r", "-q", "site"}).exitCode, 0);
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    leakCheck = false;
    for (int round = 0; round < 3; ++round) {
        QProcess run;
        Start(run, {"tidy", "-r", "-q", "--force", "site"});
        QThread::msleep(random.bounded(400));
        run.kill();
        run.waitForFinished(10000);
        const QString context = QStringLiteral("seed %1, round %2").arg(seed).arg(round);
        ExpectEveryPageWhole(context.toUtf8().constData(), true);
    }
    leakCheck = true;
    // A leftover whose name no later writer takes over (a backup's) goes once it is 10 s old.
    QThread::sleep(11);
    const BatchOutcome rerun = Run({"tidy", "-r", "-q", "--force", "site"});
    EXPECT_LE(rerun.exitCode, 1) << rerun.err.constData();
    EXPECT_EQ(ExpectEveryPageWhole("after the kills"), Changing()) << "seed " << seed;
}

TEST_F(RealSite, NamesOfOneFileAreEachTidiedFromTheOriginalAndRestored) {
    const QString a = "site/part 0/page é 0.html";
    const QString b = "site/part 0/same file.html";
    ASSERT_EQ(::link(QFile::encodeName(At(a)).constData(), QFile::encodeName(At(b)).constData()),
              0);
    const QByteArray original = ReadAll(At(a));
    const BatchOutcome tidy = Run({"tidy", "-q", "--force", a, b});
    EXPECT_LE(tidy.exitCode, 1) << tidy.err.constData();
    for (const QString& name : {a, b}) {
        EXPECT_EQ(ReadAll(At(name)), tidied.value(original)) << name.toStdString();
        EXPECT_EQ(
            ReadAll(At(QFileInfo(name).path() + "/Kelvane Backup/" + QFileInfo(name).fileName())),
            original)
            << name.toStdString();
    }
    const BatchOutcome restore = Run({"restore", "-q", a, b});
    EXPECT_EQ(restore.exitCode, 0) << restore.err.constData();
    EXPECT_TRUE(restore.out.contains("Restored 2 files out of 2")) << restore.out.constData();
    EXPECT_EQ(ReadAll(At(a)), original);
    EXPECT_EQ(ReadAll(At(b)), original);
}

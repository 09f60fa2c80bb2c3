// What users rely on: at every instant of a tidy run each file is either untouched or tidied
// with its backup holding its previous bytes, also when the run is killed or the disk is full;
// a file that is not tidied keeps its backup folder as it was (its older backup, or none), once
// the next writing command has settled what a killed run left. Both tests run the real program
// road (batch_tidy_child: helpers, backups, rewrites) in a child process.

#include "common/TestSupport.h"
#include "engine/TidyLibraryRun.h"
#include "engine/TidyOptionMapping.h"
#include "fileops/BackupRecovery.h"
#include "fileops/BackupStore.h"
#include "platform/FolderHandle.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Pages of the example site under names with blanks and accents, spread over sub-folders.
QMap<QString, QByteArray> MakePages(int count) {
    QList<QByteArray> site;
    QDirIterator it(ExamplesPath(QStringLiteral("site")), {QStringLiteral("*.html")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        site << ReadAll(it.next());
    QMap<QString, QByteArray> pages;
    for (int i = 0; i < count; ++i)
        pages.insert(QStringLiteral("part %1/page é %2.html").arg(i % 7).arg(i),
                     site[i % site.size()]);
    return pages;
}

void WritePages(const QString& root, const QMap<QString, QByteArray>& pages) {
    for (auto it = pages.begin(); it != pages.end(); ++it) {
        QDir().mkpath(QFileInfo(root + it.key()).path());
        WriteAll(root + it.key(), it.value());
    }
}

// Every page is whole: as it was with its backup folder as it was (its older backup from
// `older`, or none), or tidied with a backup of what it was; no backup is the page itself under
// a second name. Answers how many were tidied.
int ExpectEveryPageWhole(const QString& root, const QMap<QString, QByteArray>& pages,
                         const QMap<QString, QByteArray>& tidied, const QString& context,
                         const QMap<QString, QByteArray>& older = {}) {
    int done = 0;
    for (auto it = pages.begin(); it != pages.end(); ++it) {
        const QString path = root + it.key();
        const QString where = context + QStringLiteral(": ") + it.key();
        if (!QFileInfo::exists(path)) {
            ADD_FAILURE() << "missing " << where.toStdString();
            continue;
        }
        const QByteArray now = ReadAll(path);
        const QString backup = BackupPathOf(path);
        const bool hasBackup = QFileInfo::exists(backup);
        if (now == it.value()) {
            EXPECT_EQ(hasBackup, older.contains(it.key())) << where.toStdString();
            if (hasBackup) {
                EXPECT_EQ(ReadAll(backup), older.value(it.key())) << where.toStdString();
            }
        } else if (now == tidied[it.key()]) {
            ++done;
            EXPECT_TRUE(hasBackup && ReadAll(backup) == it.value())
                << "no backup of the original: " << where.toStdString();
        } else {
            ADD_FAILURE() << "neither original nor tidied: " << where.toStdString();
        }
        struct stat page {
        }, copy{};
        if (::stat(QFile::encodeName(path).constData(), &page) == 0 &&
            ::stat(QFile::encodeName(backup).constData(), &copy) == 0) {
            EXPECT_NE(page.st_ino, copy.st_ino)
                << "the backup is the page: " << where.toStdString();
        }
    }
    return done;
}

// What the next writing command in each folder does with a killed run's leftovers, at once
// rather than after the stale age; then nothing hidden of ours is left.
void SettleLeftovers(const QString& root, const QString& context) {
    QDirIterator folders(root, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    QStringList all{root};
    while (folders.hasNext())
        all << folders.next();
    for (const QString& path : all) {
        if (IsBackupFolderName(QFileInfo(path).fileName()))
            continue;
        const platform::FolderRef folder = platform::FolderHandle::Open(path);
        ASSERT_TRUE(folder) << path.toStdString();
        platform::RemoveStaleTemporaries(folder->Fd(), 0);
        if (const platform::FolderRef backups = platform::FolderHandle::OpenChild(
                folder, QFile::encodeName(BackupFolderName().chopped(1)))) {
            RecoverBackupFolder(folder, backups, 0);
            platform::RemoveStaleTemporaries(backups->Fd(), 0);
        }
    }
    QDirIterator left(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (left.hasNext()) {
        const QString name = left.next();
        EXPECT_FALSE(QFileInfo(name).fileName().startsWith('.'))
            << context.toStdString() << ": left " << name.toStdString();
    }
}

QMap<QString, QByteArray> TidiedPages(const QMap<QString, QByteArray>& pages) {
    const ResolvedTidyOptions options = ResolveOptions(TidyOptionSet{});
    QMap<QString, QByteArray> tidied;
    for (auto it = pages.begin(); it != pages.end(); ++it)
        tidied.insert(it.key(), RunTidyLibrary({options, it.value()}).output);
    return tidied;
}

} // namespace

TEST(TidyRunSafety, KilledAtAnyMomentEveryFileIsWholeWithItsBackup) {
    const QMap<QString, QByteArray> pages = MakePages(300);
    const QMap<QString, QByteArray> tidied = TidiedPages(pages);
    const QString child = BinPath(QStringLiteral("batch_tidy_child"));

    // A whole run first: how long one takes, and that it tidies everything.
    QTemporaryDir first;
    const QString firstRoot = first.path() + QLatin1Char('/');
    WritePages(firstRoot, pages);
    QElapsedTimer timer;
    timer.start();
    QProcess whole;
    whole.start(child, {first.path()});
    ASSERT_TRUE(whole.waitForFinished(60000));
    const qint64 duration = std::max<qint64>(timer.elapsed(), 50);
    EXPECT_EQ(whole.exitCode(), 0) << whole.readAllStandardOutput().right(500).toStdString();
    EXPECT_EQ(ExpectEveryPageWhole(firstRoot, pages, tidied, QStringLiteral("whole run")),
              pages.size());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    WithoutLeakCheck(environment);
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    const int rounds = 12;
    int partial = 0;
    for (int round = 0; round < rounds; ++round) {
        QTemporaryDir dir;
        const QString root = dir.path() + QLatin1Char('/');
        WritePages(root, pages);
        // Every other round replaces older backups, which must come back where a page was not
        // tidied.
        QMap<QString, QByteArray> older;
        for (auto it = pages.begin(); it != pages.end() && round % 2 == 1; ++it) {
            older.insert(it.key(), "<p>older backup of " + it.key().toUtf8());
            QDir().mkpath(BackupFolderOf(root + it.key()));
            WriteAll(BackupPathOf(root + it.key()), older.value(it.key()));
        }
        const QString watched = BackupFolderOf(root + pages.firstKey());
        QDir().mkpath(watched);
        const auto changedAt = [&] {
            struct stat st {};
            ::stat(QFile::encodeName(watched).constData(), &st);
            return std::pair(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        };
        const auto untouched = changedAt();
        QProcess run;
        run.setProcessEnvironment(environment);
        run.start(child, {dir.path()});
        ASSERT_TRUE(run.waitForStarted());
        // Half the rounds at any moment; half once the first backups are being named, so that
        // some kills surely come in the middle of the writing.
        QElapsedTimer waited;
        waited.start();
        if (round % 4 >= 2) {
            while (changedAt() == untouched && waited.elapsed() < duration)
                QThread::usleep(500);
        }
        const int delay = int(random.bounded(quint32(round % 4 >= 2 ? duration / 2 : duration)));
        QThread::msleep(ulong(delay));
        run.kill(); // SIGKILL
        run.waitForFinished(10000);
        const QString context = QStringLiteral("seed %1, round %2, killed after %3 ms")
                                    .arg(seed)
                                    .arg(round)
                                    .arg(waited.elapsed());
        SettleLeftovers(root, context);
        const int done = ExpectEveryPageWhole(root, pages, tidied, context, older);
        if (done > 0 && done < pages.size())
            ++partial;
    }
    RecordProperty("rounds_killed_mid_run", partial);
    EXPECT_GT(partial, 0) << "no kill came in the middle of a run (seed " << seed << ")";
}

TEST(TidyRunSafety, AFullDiskLosesNoByteAndSaysSo) {
    if (QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
        GTEST_SKIP() << "unshare is not installed: no private file system can be mounted";
    const QMap<QString, QByteArray> pages = MakePages(60);
    const QMap<QString, QByteArray> tidied = TidiedPages(pages);
    QTemporaryDir source, mountPoint, out;
    WritePages(source.path() + QLatin1Char('/'), pages);
    QDir().mkpath(out.path() + QStringLiteral("/result"));

    // A small tmpfs in a mount namespace of its own (gone when the shell ends), filled up so
    // that only some of the backups and rewrites fit; its state is copied out for the checks.
    const QString script =
        QStringLiteral("mount -t tmpfs -o size=1m tmpfs \"$1\" || exit 77\n"
                       "cp -a \"$2/.\" \"$1/\" || exit 78\n"
                       "free=$(df --output=avail -B1 \"$1\" | tail -1)\n"
                       "head -c $((free - 160 * 1024)) /dev/zero > \"$1/filler\" 2>/dev/null\n"
                       "\"$4\" \"$1\" > \"$3/log\" 2>&1; echo $? > \"$3/status\"\n"
                       "rm \"$1/filler\"; cp -a \"$1/.\" \"$3/result/\"\n");
    QProcess shell;
    shell.start(QStringLiteral("unshare"),
                {QStringLiteral("-m"), QStringLiteral("--propagation"), QStringLiteral("private"),
                 QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh"),
                 mountPoint.path(), source.path(), out.path(),
                 BinPath(QStringLiteral("batch_tidy_child"))});
    ASSERT_TRUE(shell.waitForFinished(60000));
    if (shell.exitCode() == 77 || shell.exitCode() == 1)
        GTEST_SKIP() << "mounting a small file system is not permitted here: "
                     << shell.readAllStandardError().toStdString();
    ASSERT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();

    const QString log = QString::fromUtf8(ReadAll(out.path() + QStringLiteral("/log")));
    const QString root = out.path() + QStringLiteral("/result/");
    const int done = ExpectEveryPageWhole(root, pages, tidied, QStringLiteral("full disk"));
    EXPECT_GT(done, 0) << "the disk was meant to take some of the rewrites";
    EXPECT_LT(done, pages.size()) << "the disk was meant to fill up";
    EXPECT_EQ(ReadAll(out.path() + QStringLiteral("/status")).trimmed(), "1")
        << "a run that could not tidy everything says so";
    EXPECT_TRUE(log.contains(QStringLiteral("No backup of this file could be made")) ||
                log.contains(QStringLiteral("No space left on device")))
        << log.toStdString();
    // Nothing half-written is left behind under a page's name or in a backup folder.
    QDirIterator all(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (all.hasNext()) {
        const QString name = all.next().mid(root.size());
        EXPECT_FALSE(name.endsWith(QLatin1String(".tmp"))) << name.toStdString();
    }
}

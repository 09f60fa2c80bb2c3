// kelvane-batch tidy, restore and clean as a user runs them: the files it writes are those the
// window's run writes, every original is kept, nothing is written by --check and --diff, and an
// interrupt loses nothing.

#include "BatchProgramFixture.h"
#include "fileops/BackupStore.h"
#include "fileops/BatchDoubles.h"
#include "platform/FileFunctions.h"
#include "support/Preferences.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <csignal>
#include <fcntl.h>

namespace {

// The window's tidy run over `paths`, in this process, saying Yes to everything.
void WindowTidy(const QStringList& paths) {
    ScriptedPrompts prompts;
    prompts.optionsAnswers = {true};
    prompts.fallback = mrYesToAll;
    ScopedPrompts scoped(prompts);
    RecordingProgressView view;
    FileProgressRun progress(view);
    BatchEnvironment environment;
    environment.progress = &progress;
    BatchCommands commands(environment);
    ListWorkItems items(paths);
    commands.RunTidyBatch(items);
}

QByteArray LastLine(const QByteArray& text) {
    return text.trimmed().split('\n').last();
}

// Writes a file whose name is given as bytes.
void WriteNative(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    ::close(fd);
}

using TidyProgram = BatchProgramTest;

TEST_F(TidyProgram, TidiesATreeAsTheWindowsRunDoesAndKeepsTheOriginals) {
    for (const char* copy : {"site", "window"}) {
        CopySite(QString::fromLatin1(copy));
        QDir().mkpath(At(QString::fromLatin1(copy) + "/with blank"));
        WriteAll(At(QString::fromLatin1(copy) + "/with blank/page one.php"), "<p>one <b>two");
    }
    const QMap<QString, QByteArray> before = Snapshot("site");
    const QString masks = "*.html;*.php";

    const BatchOutcome batch = Run({"tidy", "-r", "-q", "--force", "-m", masks, "site"});
    EXPECT_EQ(batch.exitCode, 1) << batch.err.constData(); // broken.html has an error
    QStringList paths;
    PlainFolderScanner().ScanFolder(At("window"), masks, paths);
    WindowTidy(paths);

    const QMap<QString, QByteArray> after = Snapshot("site");
    EXPECT_EQ(after, Snapshot("window")); // the same tidied files, the same backups
    int tidied = 0;
    for (auto it = before.begin(); it != before.end(); ++it) {
        const QString backup = BackupPathOf(it.key());
        if (MatchesAnyMask(QFileInfo(it.key()).fileName(), MaskList(masks))) {
            ++tidied;
            EXPECT_EQ(after.value(backup), it.value()) << it.key().toStdString();
            EXPECT_NE(after.value(it.key()), it.value()) << it.key().toStdString();
        } else {
            EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString();
            EXPECT_FALSE(after.contains(backup)) << it.key().toStdString();
        }
    }
    EXPECT_EQ(LastLine(batch.out),
              QStringLiteral("Kelvane - Tidied %1 files out of %1").arg(tidied).toUtf8());
}

TEST_F(TidyProgram, CheckAndDiffWriteNothingAndTheDiffPatchesToTheTidiedFiles) {
    CopySite("site");
    CopySite("patched/site");
    const QMap<QString, QByteArray> before = Snapshot("site");

    const BatchOutcome check = Run({"tidy", "--check", "-r", "-q", "--force", "site"});
    EXPECT_EQ(check.exitCode, 1) << check.err.constData();
    EXPECT_TRUE(check.err.contains("would be changed by tidying")) << check.err.constData();
    const BatchOutcome diff = Run({"tidy", "--diff", "-r", "-q", "--force", "site"});
    EXPECT_EQ(diff.exitCode, 1) << diff.err.constData();
    EXPECT_EQ(Snapshot("site"), before);

    // --check lists exactly the files the diff changes.
    QByteArrayList listed = check.out.split('\n'), patched;
    listed.removeAll({});
    for (const QByteArray& line : diff.out.split('\n'))
        if (line.startsWith("+++ b/"))
            patched << line.mid(6);
    EXPECT_EQ(listed, patched);
    EXPECT_FALSE(listed.isEmpty());

    QProcess patch;
    patch.setWorkingDirectory(At("patched"));
    patch.start("patch", {"-s", "-p1"});
    patch.write(diff.out);
    patch.closeWriteChannel();
    ASSERT_TRUE(patch.waitForFinished(20000));
    EXPECT_EQ(patch.exitCode(), 0) << patch.readAll().constData();
    Run({"tidy", "-r", "-q", "--force", "site"});
    EXPECT_EQ(WithoutBackups(Snapshot("site")), Snapshot("patched/site"));
}

TEST_F(TidyProgram, RestoreBringsBackEveryByteAndCleanRemovesOnlyTheBackups) {
    CopySite("site");
    const QMap<QString, QByteArray> before = Snapshot("site");
    ASSERT_EQ(Run({"tidy", "-r", "-q", "--force", "site"}).exitCode, 1);

    BatchOutcome restore = Run({"restore", "-r", "-q", "site"});
    EXPECT_EQ(restore.exitCode, 0) << restore.err.constData();
    EXPECT_EQ(Snapshot("site"), before); // and no backup is left
    const qsizetype pages =
        std::count_if(before.keyBegin(), before.keyEnd(), [](const QString& key) {
            return MatchesAnyMask(QFileInfo(key).fileName(), MaskList(kDefaultFileFilter));
        });
    EXPECT_EQ(LastLine(restore.out),
              QStringLiteral("Kelvane - Restored %1 files out of %1").arg(pages).toUtf8());

    ASSERT_EQ(Run({"tidy", "-r", "-q", "--force", "site"}).exitCode, 1);
    const QMap<QString, QByteArray> tidied = WithoutBackups(Snapshot("site"));
    const BatchOutcome clean = Run({"clean", "-r", "-q", "site"});
    EXPECT_EQ(clean.exitCode, 0) << clean.err.constData();
    EXPECT_EQ(Snapshot("site"), tidied);
    EXPECT_TRUE(QDir(At("site/Kelvane Backup")).exists()); // folders stay, empty

    // Nothing left to restore is said, and is a file restore could not process.
    restore = Run({"restore", "-q", "site/about.html"});
    EXPECT_EQ(restore.exitCode, 3);
    EXPECT_TRUE(restore.err.contains("No backup exists")) << restore.err.constData();
}

TEST_F(TidyProgram, InterruptFinishesTheFileInHandAndLosesNothing) {
    const QByteArray page = ReadAll(ExamplesPath("site/about.html"));
    const int count = 1500;
    QDir().mkpath(At("big"));
    for (int i = 0; i < count; ++i)
        WriteAll(At(QStringLiteral("big/page %1.html").arg(i)), page);

    const BatchOutcome r =
        Run({"tidy", "-r", "-q", "--format", "json", "big"}, {}, [&](QProcess& process) {
            // Interrupted once the run has begun to write.
            for (int wait = 0; wait < 4000 && QDir(At("big/Kelvane Backup")).isEmpty(); ++wait)
                QThread::msleep(5);
            ::kill(pid_t(process.processId()), SIGINT);
        });
    // The shell sees an interrupted command.
    EXPECT_TRUE(r.crashed);
    EXPECT_EQ(r.exitCode, SIGINT);
    EXPECT_TRUE(r.err.contains("Tidy cancelled")) << r.err.constData();
    EXPECT_TRUE(r.out.contains("\"exitStatus\":130")) << "the report tells the same story";

    const QMap<QString, QByteArray> after = Snapshot("big");
    int tidied = 0;
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("page %1.html").arg(i);
        const QString backup = "Kelvane Backup/" + name;
        if (after.value(name) == page) {
            EXPECT_TRUE(!after.contains(backup) || after.value(backup) == page) << i;
        } else {
            ++tidied;
            EXPECT_EQ(after.value(backup), page) << i;
        }
    }
    EXPECT_GT(tidied, 0);
    EXPECT_LT(tidied, count) << "the interrupt came too late to stop anything";
}

TEST_F(TidyProgram, PathsFromStandardInputWithNulSeparatorsAndOddNames) {
    const QByteArray page = ReadAll(ExamplesPath("site/about.html"));
    const QByteArrayList names = {"a b.html", "new\nline.html", "tab\tname.htm", "caf\xe9.html",
                                  "sub dir/x y.php"};
    QDir().mkpath(At("sub dir"));
    QByteArray list;
    for (const QByteArray& name : names) {
        WriteNative(platform::EncodeFileName(At({})) + name, page);
        list += name + '\0';
    }

    const BatchOutcome validate =
        Run({"validate", "--format", "json", "--files-from", "-", "-0"}, list);
    EXPECT_EQ(validate.exitCode, 0) << validate.err.constData();
    const QJsonArray files = QJsonDocument::fromJson(validate.out).object()["files"].toArray();
    ASSERT_EQ(files.size(), names.size()) << validate.out.constData();
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QJsonObject file = files[i].toObject();
        EXPECT_EQ(file["status"].toString(), "has-messages");
        if (file.contains("pathBytes")) // the name that is not UTF-8 keeps its bytes
            EXPECT_EQ(QByteArray::fromBase64(file["pathBytes"].toString().toLatin1()), names[i]);
        else
            EXPECT_EQ(file["path"].toString().toUtf8(), names[i]);
    }

    const BatchOutcome tidy = Run({"tidy", "-q", "--files-from", "-", "-0"}, list);
    EXPECT_EQ(tidy.exitCode, 0) << tidy.err.constData();
    for (const QByteArray& name : names) {
        const QString path = platform::DecodeFileName(platform::EncodeFileName(At({})) + name);
        EXPECT_TRUE(platform::FileExists(BackupPathOf(path))) << name.constData();
        EXPECT_NE(ReadAll(path), page) << name.constData();
    }

    // One a line from a file.
    WriteAll(At("list.txt"), "a b.html\n\nsub dir/x y.php\n");
    const BatchOutcome lines = Run({"restore", "--files-from", "list.txt"});
    EXPECT_EQ(lines.exitCode, 0) << lines.err.constData();
    EXPECT_EQ(LastLine(lines.out), "Kelvane - Restored 2 files out of 2");
    EXPECT_EQ(ReadAll(At("a b.html")), page);

    // Qt cannot remove a name that is not UTF-8: the test does.
    const QByteArray folder = platform::EncodeFileName(At({}));
    ::unlink((folder + "caf\xe9.html").constData());
    ::unlink((folder + "Kelvane Backup/caf\xe9.html").constData());
}

TEST_F(TidyProgram, APageThatCrashesTheLibraryCostsThatPageOnly) {
    // A helper that dies on pages beginning with "crash" stands in for HTML Tidy's own crashes.
    const QString helper = appDir->filePath("kelvane-engine");
    const auto useHelper = [&](const QString& program) {
        QFile::remove(helper);
        ASSERT_TRUE(QFile::copy(program, helper));
    };
    useHelper(BinPath("engine_fault_helper"));
    WriteAll(At("a.html"), "<p>one");
    WriteAll(At("crash.html"), "crash <p>two");
    WriteAll(At("c.html"), "<p>three");
    const BatchOutcome r = Run({"tidy", "-q", "a.html", "crash.html", "c.html"});
    useHelper(BinPath("kelvane-engine"));
    EXPECT_EQ(r.exitCode, 3) << r.err.constData();
    EXPECT_TRUE(r.err.contains("crash.html: The file cannot be tidied")) << r.err.constData();
    EXPECT_EQ(ReadAll(At("crash.html")), "crash <p>two");
    EXPECT_FALSE(QFileInfo::exists(At("Kelvane Backup/crash.html")));
    EXPECT_EQ(ReadAll(At("Kelvane Backup/c.html")), "<p>three");
    EXPECT_TRUE(r.out.contains("Kelvane - Tidied 2 files out of 3")) << r.out.constData();

    // Without a helper nothing can be tidied: said once, and nothing is touched.
    QFile::rename(helper, helper + ".away");
    const BatchOutcome none = Run({"validate", "-q", "a.html"});
    QFile::rename(helper + ".away", helper);
    EXPECT_EQ(none.exitCode, 3);
    EXPECT_TRUE(none.err.contains("kelvane-engine")) << none.err.constData();
}

} // namespace

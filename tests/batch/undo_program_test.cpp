// kelvane-batch as a user runs it when a rewrite cannot be done: a full disk or a refusal for
// one file leaves that file and its backup folder exactly as they were (never the page under a
// second name as its "backup"), a refusal for one file is a line and the run goes on, and what a
// killed run leaves is removed only when it is provably ours and only by a command that writes.

#include "BatchProgramFixture.h"
#include "platform/TemporaryNames.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QThread>
#include <sys/stat.h>

namespace {

struct FileState {
    QByteArray bytes;
    ino_t inode = 0;
    nlink_t links = 0;
    bool operator==(const FileState&) const = default;
};

// Every entry of a folder (hidden ones too, not below it): its bytes, inode and links.
QMap<QString, FileState> EntriesOf(const QString& folder) {
    QMap<QString, FileState> entries;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        struct stat st {};
        ::lstat(QFile::encodeName(folder + "/" + name).constData(), &st);
        entries.insert(name, {ReadAll(folder + "/" + name), st.st_ino, st.st_nlink});
    }
    return entries;
}

QMap<QString, int> Statuses(const QByteArray& json) {
    QMap<QString, int> statuses;
    for (const QJsonValue& file : QJsonDocument::fromJson(json).object()["files"].toArray())
        ++statuses[file["status"].toString()];
    return statuses;
}

// Sets or clears the immutable attribute; false where the file system or the user cannot.
bool Immutable(const QString& path, bool on) {
    QProcess chattr;
    chattr.start(QStringLiteral("chattr"), {on ? "+i" : "-i", path});
    return chattr.waitForFinished(10000) && chattr.exitStatus() == QProcess::NormalExit &&
           chattr.exitCode() == 0;
}

using UndoProgram = BatchProgramTest;

} // namespace

// A page of 50 KB on a 128 KB file system that two of them fill: the tidied text cannot be
// written. The page keeps its one name, and its backup folder holds what it held.
TEST_F(UndoProgram, AFullDiskLeavesThePageAndItsBackupFolderAsTheyWere) {
    if (QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
        GTEST_SKIP() << "unshare is not installed: no private file system can be mounted";
    QByteArray page = "<html><head><title>t</title></head><body>\n";
    while (page.size() < 50 * 1024)
        page += "<p>A paragraph that HTML Tidy leaves as it is.\n";
    page += "</body></html>\n";
    ASSERT_TRUE(QDir().mkpath(At("source/Kelvane Backup")));
    WriteAll(At("source/older.html"), page);
    WriteAll(At("source/Kelvane Backup/older.html"), "<p>the backup of an earlier run");
    WriteAll(At("source/first.html"), page);
    ASSERT_TRUE(QDir().mkpath(At("fs")));
    ASSERT_TRUE(QDir().mkpath(At("result")));
    // Run in a mount namespace of its own with a small tmpfs at fs/ (gone when the shell ends);
    // its state is copied out for the checks, with each name's inode and link count.
    const QString script = QStringLiteral(
        "mount -t tmpfs -o size=128k tmpfs fs || exit 77\n"
        "cp -a source/. fs/ || exit 78\n"
        "for page in older first; do\n"
        "  stat -c '%i %h' fs/$page.html > result/$page.before\n"
        "  \"$@\" fs/$page.html > /dev/null 2> result/$page.err; echo $? > result/$page.status\n"
        "  stat -c '%i %h' fs/$page.html > result/$page.after\n"
        "done\n"
        "cp -a fs/. result/\n");
    const BatchOutcome run =
        Run({"tidy", "-q"}, {}, {},
            {"unshare", "-m", "--propagation", "private", "sh", "-c", script, "sh"});
    if (run.exitCode == 77 || run.exitCode == 1)
        GTEST_SKIP() << "mounting a small file system is not permitted here: "
                     << run.err.constData();
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    for (const char* name : {"older", "first"}) {
        const QString base = At("result/") + QLatin1String(name);
        EXPECT_EQ(ReadAll(base + ".status").trimmed(), "3") << name;
        EXPECT_TRUE(ReadAll(base + ".err").contains("No space left on device"))
            << ReadAll(base + ".err").constData();
        EXPECT_EQ(ReadAll(base + ".after"), ReadAll(base + ".before")) << name << ": one name";
        EXPECT_EQ(ReadAll(base + ".html"), page) << name;
    }
    EXPECT_EQ(EntriesOf(At("result/Kelvane Backup")).keys(), QStringList{"older.html"});
    EXPECT_EQ(ReadAll(At("result/Kelvane Backup/older.html")), "<p>the backup of an earlier run");
    EXPECT_EQ(EntriesOf(At("result")).keys().filter(QLatin1String(".tmp")), QStringList());
}

// A folder that takes no new file and a page that may not be replaced (both immutable): a
// line for each, both left as they were with their backup folders, and every other page tidied.
TEST_F(UndoProgram, ARefusalForOneFileIsALineForItAndTheRunGoesOn) {
    const QStringList others = {"site/a.html", "site/z.html", "site/zz/last.html"};
    for (const QString& name : others) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(At(name)).path()));
        WriteAll(At(name), "<p>" + name.toUtf8() + " <b>unclosed");
    }
    ASSERT_TRUE(QDir().mkpath(At("site/locked/Kelvane Backup")));
    WriteAll(At("site/locked/page.html"), "<p>in a folder that takes no new file");
    WriteAll(At("site/locked/Kelvane Backup/page.html"), "<p>its older backup");
    WriteAll(At("site/fixed.html"), "<p>a page that may not be replaced");
    const auto lockedBefore = EntriesOf(At("site/locked"));
    const auto lockedBackups = EntriesOf(At("site/locked/Kelvane Backup"));
    if (!Immutable(At("site/fixed.html"), true) || !Immutable(At("site/locked"), true)) {
        Immutable(At("site/fixed.html"), false);
        GTEST_SKIP() << "the immutable attribute cannot be set here (file system or rights)";
    }
    struct Unlock {
        QString page, folder;
        ~Unlock() {
            Immutable(page, false);
            Immutable(folder, false);
        }
    } unlock{At("site/fixed.html"), At("site/locked")};

    const BatchOutcome run = Run({"tidy", "-r", "-q", "--format", "json", "site"});
    EXPECT_EQ(run.exitCode, 3) << run.err.constData();
    const QMap<QString, int> statuses = Statuses(run.out);
    EXPECT_EQ(statuses.value("write-refused"), 2) << run.out.constData();
    EXPECT_EQ(statuses.value("tidied"), others.size()) << run.out.constData();
    EXPECT_FALSE(run.err.contains("not processed")) << run.err.constData();
    for (const char* name : {"site/fixed.html", "site/locked/page.html"})
        EXPECT_TRUE(run.err.contains(QByteArray(name) + ": The tidied text could not be written "
                                                        "here (Operation not permitted)."))
            << run.err.constData();
    EXPECT_EQ(EntriesOf(At("site/locked")), lockedBefore);
    EXPECT_EQ(EntriesOf(At("site/locked/Kelvane Backup")), lockedBackups);
    EXPECT_EQ(ReadAll(At("site/fixed.html")), "<p>a page that may not be replaced");
    EXPECT_FALSE(QFileInfo::exists(At("site/Kelvane Backup/fixed.html")));
    for (const QString& name : others) {
        EXPECT_NE(ReadAll(At(name)), "<p>" + name.toUtf8() + " <b>unclosed") << name.toStdString();
        EXPECT_EQ(
            ReadAll(At(QFileInfo(name).path() + "/Kelvane Backup/" + QFileInfo(name).fileName())),
            "<p>" + name.toUtf8() + " <b>unclosed")
            << name.toStdString();
    }
}

// Leftovers that a killed run of ours left (provably ours: their names carry our key's MAC),
// files merely named alike, and a name another user's key made: only a command that writes
// removes anything, and only ours.
TEST_F(UndoProgram, OnlyProvablyOurLeftoversGoAndOnlyWhenACommandWrites) {
    CopySite("site");
    ASSERT_TRUE(QDir().mkpath(At("site/Kelvane Backup")));
    struct stat site {
    }, backups{};
    ASSERT_EQ(::stat(QFile::encodeName(At("site")).constData(), &site), 0);
    ASSERT_EQ(::stat(QFile::encodeName(At("site/Kelvane Backup")).constData(), &backups), 0);
    // Another user's key makes names of the same form.
    QTemporaryDir otherState;
    QByteArray foreign;
    {
        const ScopedEnv env("XDG_STATE_HOME", otherState.path());
        platform::ReloadTemporaryKeyForTests();
        foreign = platform::MakeTemporaryName(site, platform::TemporaryKind::Page, "index.html");
    }
    // The program's key (it is made here first, as the program would make it).
    const ScopedEnv env("XDG_STATE_HOME", home.filePath(QStringLiteral("XDG_STATE_HOME")));
    platform::ReloadTemporaryKeyForTests();
    const QStringList ours = {
        "site/" + QString::fromLatin1(platform::MakeTemporaryName(
                      site, platform::TemporaryKind::Page, "index.html")),
        "site/Kelvane Backup/" + QString::fromLatin1(platform::MakeTemporaryName(
                                     backups, platform::TemporaryKind::Backup)),
    };
    const QStringList alike = {
        "site/.draft.kelvane-7.tmp", "site/Kelvane Backup/.kelvane-backup-2024.tmp",
        "site/.index.html.kelvane-0.tmp", "site/" + QString::fromLatin1(foreign)};
    for (const QString& name : ours + alike)
        WriteAll(At(name), "left behind");
    platform::ReloadTemporaryKeyForTests();
    // Older than the age at which an unlocked temporary counts as left behind.
    QThread::sleep(11);

    const QMap<QString, QByteArray> before = Snapshot("site");
    for (const QStringList& command :
         {QStringList{"validate", "-r", "-q", "site"},
          QStringList{"validate", "-r", "-q", "--format", "json", "site"},
          QStringList{"tidy", "--check", "--force", "-r", "-q", "site"},
          QStringList{"tidy", "--diff", "--force", "-r", "-q", "site"}}) {
        const BatchOutcome run = Run(command);
        EXPECT_LE(run.exitCode, 1) << command.join(' ').toStdString() << run.err.constData();
        EXPECT_EQ(Snapshot("site"), before) << command.join(' ').toStdString();
    }

    const BatchOutcome tidy = Run({"tidy", "-r", "-q", "--force", "site"});
    EXPECT_LE(tidy.exitCode, 1) << tidy.err.constData();
    for (const QString& name : ours)
        EXPECT_FALSE(QFileInfo::exists(At(name))) << name.toStdString();
    for (const QString& name : alike)
        EXPECT_EQ(ReadAll(At(name)), "left behind") << name.toStdString();
}

// kelvane-batch restore as a user runs it on a real tree: a page edited after tidying is left
// alone unless --force, and then its text goes to the trash; access lists and extended
// attributes survive tidying, backups and restoring.

#include "BatchProgramFixture.h"
#include "common/AttributeTools.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace {

constexpr char kMark[] = "user.kelvane.tidied";

bool HasMark(const QString& path) {
    return ::getxattr(QFile::encodeName(path).constData(), kMark, nullptr, 0) >= 0;
}

QJsonObject EntryFor(const QByteArray& report, const QString& path) {
    for (const QJsonValue& file : QJsonDocument::fromJson(report).object()["files"].toArray())
        if (file["path"].toString() == path)
            return file.toObject();
    return {};
}

class RestoreProgram : public BatchProgramTest {
protected:
    QString Trash() const { return home.filePath("XDG_DATA_HOME/Trash"); }
    QStringList Trashed() const {
        return QDir(Trash() + "/files").entryList(QDir::Files, QDir::Name);
    }
    // A file system of its own at `relative` (root only); false when it cannot be had.
    bool Mount(const QString& relative, const char* type) {
        if (::geteuid() != 0)
            return false;
        const QByteArray path = QFile::encodeName(At(relative));
        QDir().mkpath(At(relative));
        if (::mount("none", path.constData(), type, 0, nullptr) != 0)
            return false;
        mounts.append(path);
        return true;
    }
    void TearDown() override {
        for (const QByteArray& path : mounts)
            ::umount2(path.constData(), MNT_DETACH);
    }
    QList<QByteArray> mounts;
};

} // namespace

TEST_F(RestoreProgram, AnEditedPageIsLeftAloneWithoutForceAndItsTextTrashedWithIt) {
    CopySite("site");
    const QMap<QString, QByteArray> original = WithoutBackups(Snapshot("site"));
    ASSERT_LE(Run({"tidy", "-r", "-q", "--force", "site"}).exitCode, 1);
    const QByteArray tidied = ReadAll(At("site/about.html"));
    ASSERT_NE(tidied, original["about.html"]);
    const QByteArray edited = tidied + "<p>written by hand after tidying</p>\n";
    WriteAll(At("site/about.html"), edited);

    const BatchOutcome kept = Run({"restore", "-r", "-q", "--format", "json", "site"});
    EXPECT_EQ(kept.exitCode, 3) << kept.err.constData();
    EXPECT_EQ(ReadAll(At("site/about.html")), edited);
    EXPECT_EQ(ReadAll(At("site/Kelvane Backup/about.html")), original["about.html"]);
    const QJsonObject entry = EntryFor(kept.out, "site/about.html");
    EXPECT_EQ(entry["status"].toString(), "edited-after-tidy") << kept.out.constData();
    EXPECT_TRUE(entry["failed"].toBool());
    EXPECT_TRUE(kept.err.contains("site/about.html: Give --force to restore it"))
        << kept.err.constData();
    QMap<QString, QByteArray> others = WithoutBackups(Snapshot("site"));
    others.remove("about.html");
    QMap<QString, QByteArray> expected = original;
    expected.remove("about.html");
    EXPECT_EQ(others, expected) << "every other page is restored";
    EXPECT_TRUE(Trashed().isEmpty());

    const BatchOutcome forced = Run({"restore", "-q", "--force", "site/about.html"});
    EXPECT_EQ(forced.exitCode, 0) << forced.err.constData();
    EXPECT_EQ(ReadAll(At("site/about.html")), original["about.html"]);
    EXPECT_EQ(Trashed(), QStringList{"about.html"});
    EXPECT_EQ(ReadAll(Trash() + "/files/about.html"), edited);
    EXPECT_TRUE(ReadAll(Trash() + "/info/about.html.trashinfo")
                    .contains("Path=" + QFile::encodeName(At("site/about.html")) + "\n"));
    EXPECT_TRUE(forced.err.contains("That text was moved to the trash, as " +
                                    QFile::encodeName(Trash()) + "/files/about.html."))
        << forced.err.constData();
}

TEST_F(RestoreProgram, TheBackupsMarkKnowsTheTidiedTextWhateverTheOptionsAreNow) {
    CopySite("site");
    WriteAll(At("lower.ini"), "[FormTidyProperties]\ncbUppercaseTags.Checked=0\n");
    ASSERT_LE(Run({"tidy", "-r", "-q", "--force", "--options", "lower.ini", "site"}).exitCode, 1);
    EXPECT_TRUE(HasMark(At("site/Kelvane Backup/index.html")));
    EXPECT_FALSE(HasMark(At("site/index.html"))) << "the mark is the backup's, not the page's";

    // Restored with other options (the stored ones): still known to be as tidied.
    const BatchOutcome restore = Run({"restore", "-r", "-q", "site"});
    EXPECT_EQ(restore.exitCode, 0) << restore.err.constData();
    EXPECT_TRUE(Trashed().isEmpty());
    EXPECT_FALSE(HasMark(At("site/index.html"))) << "a restored page keeps no mark of ours";

    // Backups without a mark (an earlier version made them): what tidying them with the current
    // options gives is as tidied; anything else cannot be told apart from an edit.
    ASSERT_LE(Run({"tidy", "-q", "--force", "site/index.html"}).exitCode, 1);
    ASSERT_LE(Run({"tidy", "-q", "--force", "--options", "lower.ini", "site/about.html"}).exitCode,
              1);
    for (const char* page : {"site/Kelvane Backup/index.html", "site/Kelvane Backup/about.html"})
        ASSERT_EQ(::removexattr(QFile::encodeName(At(page)).constData(), kMark), 0) << page;
    const BatchOutcome old = Run({"restore", "-q", "site/index.html", "site/about.html"});
    EXPECT_EQ(old.exitCode, 3) << old.err.constData();
    EXPECT_FALSE(QFileInfo::exists(At("site/Kelvane Backup/index.html"))) << "restored";
    EXPECT_TRUE(old.err.contains("site/about.html: This file was changed after it was tidied"))
        << old.err.constData();
}

TEST_F(RestoreProgram, AccessListsAndAttributesSurviveTidyingBackupsAndRestore) {
    SKIP_WITHOUT_ATTRIBUTE_TOOLS();
    // a.html's backup is the file itself under a second name; b.html has another name, so its
    // backup is a copy.
    for (const char* page : {"a.html", "b.html"}) {
        WriteAll(At(page), "<p>a page with an access list");
        ::chmod(QFile::encodeName(At(page)).constData(), 0644);
        SetAcl(At(page), "u:nobody:rw,g::r");
        SetAttribute(At(page), "user.origin", "https://example.org/");
    }
    ASSERT_EQ(::link(QFile::encodeName(At("b.html")).constData(),
                     QFile::encodeName(At("b-too.html")).constData()),
              0);
    const QByteArray acl = AclOf(At("a.html"));
    ASSERT_TRUE(acl.contains("mask::rw-") && acl.contains("group::r--")) << acl.constData();
    const QByteArray attributes = UserAttributesOf(At("a.html"));

    ASSERT_LE(Run({"tidy", "-q", "a.html", "b.html"}).exitCode, 1);
    for (const char* file :
         {"a.html", "b.html", "Kelvane Backup/a.html", "Kelvane Backup/b.html"}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(AclOf(At(file)), acl) << "the group did not gain write access";
        EXPECT_EQ(UserAttributesOf(At(file)), attributes);
    }
    EXPECT_NE(ReadAll(At("a.html")), "<p>a page with an access list") << "tidied";
    if (::geteuid() == 0 && !QStandardPaths::findExecutable("setpriv").isEmpty()) {
        // The named user may still write the page, as the list says.
        QProcess check;
        check.setWorkingDirectory(work);
        ::chmod(QFile::encodeName(home.path()).constData(), 0755);
        ::chmod(QFile::encodeName(work).constData(), 0755);
        check.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "test", "-w",
                                At("a.html")});
        ASSERT_TRUE(check.waitForFinished(10000));
        EXPECT_EQ(check.exitCode(), 0) << "nobody lost his write access to the tidied page";
    }

    ASSERT_EQ(Run({"restore", "-q", "a.html", "b.html"}).exitCode, 0);
    for (const char* file : {"a.html", "b.html"}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(ReadAll(At(file)), "<p>a page with an access list");
        EXPECT_EQ(AclOf(At(file)), acl);
        EXPECT_EQ(UserAttributesOf(At(file)), attributes);
        EXPECT_FALSE(HasMark(At(file)));
    }
}

TEST_F(RestoreProgram, ABackupFolderOnAnotherFileSystemKeepsTheListOrTheFileIsNotTidied) {
    SKIP_WITHOUT_ATTRIBUTE_TOOLS();
    // On a file system without attributes (ramfs) no backup can keep an access list.
    QDir().mkpath(At("plain"));
    QDir().mkpath(At("listed"));
    WriteAll(At("plain/a.html"), "<p>plain");
    WriteAll(At("plain/listed.html"), "<p>listed");
    SetAcl(At("plain/listed.html"), "u:nobody:rw,g::r");
    if (!Mount("plain/Kelvane Backup", "ramfs"))
        GTEST_SKIP() << "needs root and ramfs to put a backup folder on another file system";
    const BatchOutcome tidy = Run({"tidy", "-q", "plain/a.html", "plain/listed.html"});
    EXPECT_EQ(tidy.exitCode, 3) << tidy.err.constData();
    EXPECT_TRUE(tidy.err.contains("plain/listed.html: A copy of this file could not keep its "
                                  "access list or extended attributes"))
        << tidy.err.constData();
    EXPECT_EQ(ReadAll(At("plain/listed.html")), "<p>listed");
    EXPECT_FALSE(QFileInfo::exists(At("plain/Kelvane Backup/listed.html")));
    EXPECT_NE(ReadAll(At("plain/a.html")), "<p>plain") << "a page without a list is tidied";
    EXPECT_FALSE(HasMark(At("plain/Kelvane Backup/a.html"))) << "no mark can be kept there";

    // Without a mark, restore tells the page as tidied by tidying its backup; the copy back
    // across file systems is whole.
    const BatchOutcome restore = Run({"restore", "-q", "plain/a.html"});
    EXPECT_EQ(restore.exitCode, 0) << restore.err.constData();
    EXPECT_EQ(ReadAll(At("plain/a.html")), "<p>plain");
    EXPECT_TRUE(Trashed().isEmpty());

    // Where the other file system keeps lists (tmpfs), the copy back restores the list.
    WriteAll(At("listed/b.html"), "<p>b");
    SetAcl(At("listed/b.html"), "u:nobody:rw,g::r");
    const QByteArray acl = AclOf(At("listed/b.html"));
    if (!Mount("listed/Kelvane Backup", "tmpfs"))
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    ASSERT_LE(Run({"tidy", "-q", "listed/b.html"}).exitCode, 1);
    EXPECT_EQ(AclOf(At("listed/Kelvane Backup/b.html")), acl);
    ASSERT_EQ(Run({"restore", "-q", "listed/b.html"}).exitCode, 0);
    EXPECT_EQ(ReadAll(At("listed/b.html")), "<p>b");
    EXPECT_EQ(AclOf(At("listed/b.html")), acl);
}

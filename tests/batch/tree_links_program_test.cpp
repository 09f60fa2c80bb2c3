// kelvane-batch run by root over a tree that another user can write: whatever that user plants
// (links to root's files, a backup folder that leads elsewhere, another user's folder), nothing
// outside the tree is read, replaced, created, moved or deleted. And the tree's owner can undo
// what root did for him.

#include "BatchProgramFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <sys/stat.h>

namespace {

constexpr uid_t kAttacker = 65534; // nobody
constexpr gid_t kAttackerGroup = 65534;

struct Owned {
    uid_t uid;
    mode_t mode;
};

Owned OwnerOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {uid_t(-1), 0};
    return {st.st_uid, st.st_mode & 07777};
}

class TreeLinks : public BatchProgramTest {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root: the attacks are those of another user against root";
        BatchProgramTest::SetUp();
        // The unprivileged user reaches the work folder, but writes only in his own tree.
        ::chmod(QFile::encodeName(home.path()).constData(), 0755);
        ::chmod(QFile::encodeName(work).constData(), 0755);
        WriteAll(At("secret.txt"), "root secret");
        ::chmod(QFile::encodeName(At("secret.txt")).constData(), 0600);
        ASSERT_TRUE(QDir().mkpath(At("victim")));
        ::chmod(QFile::encodeName(At("victim")).constData(), 0700);
        WriteAll(At("victim/private.html"), "victim's page");
    }

    // A folder of the attacker's with a page of his.
    void AttackerTree(const QString& folder) {
        ASSERT_TRUE(QDir().mkpath(At(folder)));
        WriteAll(At(folder + "/own.html"), "<p>the attacker's own page");
        GiveAway(folder);
        GiveAway(folder + "/own.html");
    }
    void GiveAway(const QString& relative) {
        ASSERT_EQ(::lchown(QFile::encodeName(At(relative)).constData(), kAttacker, kAttackerGroup),
                  0);
    }
    void PlantLink(const QString& target, const QString& relative) {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                            QFile::encodeName(At(relative)).constData()),
                  0);
        GiveAway(relative);
    }
    // Root's files outside the attacker's tree are as they were.
    void ExpectOutsideUntouched(const char* context) {
        EXPECT_EQ(ReadAll(At("secret.txt")), "root secret") << context;
        EXPECT_EQ(OwnerOf(At("secret.txt")).uid, 0u) << context;
        EXPECT_EQ(OwnerOf(At("secret.txt")).mode, 0600u) << context;
        EXPECT_EQ(QDir(At("victim")).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"private.html"})
            << context;
        EXPECT_EQ(ReadAll(At("victim/private.html")), "victim's page") << context;
        EXPECT_FALSE(QFileInfo::exists(At("created.txt"))) << context;
    }
    // No file under `folder` holds root's secret (the planted links themselves aside).
    void ExpectNoCopyOfTheSecret(const QString& folder) {
        QDirIterator it(At(folder), QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            EXPECT_FALSE(ReadAll(path).contains("root secret")) << path.toStdString();
        }
    }
};

} // namespace

TEST_F(TreeLinks, APlantedLinkToRootsFileIsNeitherTidiedNorReadNorRestoredThrough) {
    AttackerTree("site");
    PlantLink(At("secret.txt"), "site/page.html");

    const BatchOutcome tidy = Run({"tidy", "-r", "-q", "--format", "json", "site"});
    EXPECT_EQ(tidy.exitCode, 3) << tidy.err.constData();
    EXPECT_TRUE(tidy.err.contains("symbolic link")) << tidy.err.constData();
    const QJsonArray files = QJsonDocument::fromJson(tidy.out).object()["files"].toArray();
    QStringList statuses;
    for (const QJsonValue& file : files)
        statuses << QFileInfo(file["path"].toString()).fileName() + "=" +
                        file["status"].toString();
    statuses.sort();
    EXPECT_EQ(statuses, (QStringList{"own.html=tidied", "page.html=link-refused"}));
    ExpectOutsideUntouched("tidy");
    ExpectNoCopyOfTheSecret("site");

    const BatchOutcome diff = Run({"tidy", "--diff", "-r", "-q", "site"});
    EXPECT_FALSE(diff.out.contains("root secret") || diff.err.contains("root secret"));
    const BatchOutcome validate = Run({"validate", "-r", "-q", "site"});
    EXPECT_FALSE(validate.out.contains("root secret") || validate.err.contains("root secret"));

    // The attacker's text as the link's "backup": restore would carry it onto root's file.
    WriteAll(At("site/Kelvane Backup/page.html"), "attacker's text");
    const BatchOutcome restore = Run({"restore", "-r", "-q", "site"});
    EXPECT_EQ(restore.exitCode, 3);
    EXPECT_TRUE(QFileInfo(At("site/page.html")).isSymLink());
    ExpectOutsideUntouched("restore");

    // A link to nothing, named on a list: restore would create what it names.
    PlantLink(At("created.txt"), "site/ghost.html");
    WriteAll(At("site/Kelvane Backup/ghost.html"), "attacker's text");
    WriteAll(At("list"), At("site/ghost.html").toUtf8() + "\n");
    const BatchOutcome listed = Run({"restore", "-q", "--files-from", "list"});
    EXPECT_EQ(listed.exitCode, 3) << listed.err.constData();
    ExpectOutsideUntouched("restore of a dangling link");
}

TEST_F(TreeLinks, ABackupFolderThatLeadsElsewhereOrIsAnotherUsersIsNeverUsed) {
    AttackerTree("site");
    PlantLink(At("victim"), "site/Kelvane Backup");
    const QMap<QString, QByteArray> before = Snapshot("site");

    for (const char* command : {"tidy", "restore", "clean"}) {
        const BatchOutcome run = Run({QString::fromLatin1(command), "-r", "-q", "site"});
        EXPECT_EQ(run.exitCode, 3) << command << ": " << run.err.constData();
        EXPECT_TRUE(run.err.contains("backup folder")) << command << ": " << run.err.constData();
        ExpectOutsideUntouched(command);
        EXPECT_EQ(Snapshot("site"), before) << command;
    }

    // A real folder, but of a third user: he could read or swap what root puts there.
    AttackerTree("other");
    ASSERT_TRUE(QDir().mkpath(At("other/Kelvane Backup")));
    ASSERT_EQ(::chown(QFile::encodeName(At("other/Kelvane Backup")).constData(), 65533, 65533),
              0);
    const BatchOutcome run = Run({"tidy", "-r", "-q", "other"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(run.err.contains("belongs to another user")) << run.err.constData();
    EXPECT_EQ(ReadAll(At("other/own.html")), "<p>the attacker's own page");
    EXPECT_TRUE(QDir(At("other/Kelvane Backup")).isEmpty());
}

TEST_F(TreeLinks, TheOwnersOwnLinksWorkAndHeUndoesWhatRootTidiedForHim) {
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        GTEST_SKIP() << "setpriv is not installed: nothing can run as the tree's owner";
    // The owner's tree, with a link of his own to one of his pages.
    AttackerTree("site");
    PlantLink("own.html", "site/alias.html");
    const BatchOutcome tidy = Run({"tidy", "-r", "-q", "--format", "json", "site"});
    EXPECT_EQ(tidy.exitCode, 0) << tidy.err.constData();
    EXPECT_NE(ReadAll(At("site/own.html")), "<p>the attacker's own page");
    EXPECT_EQ(ReadAll(At("site/Kelvane Backup/own.html")), "<p>the attacker's own page");
    EXPECT_TRUE(QFileInfo(At("site/alias.html")).isSymLink());
    EXPECT_EQ(OwnerOf(At("site/Kelvane Backup")).uid, kAttacker) << "the tree owner's folder";
    EXPECT_EQ(OwnerOf(At("site/own.html")).uid, kAttacker);

    const QStringList asOwner = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    const BatchOutcome restore = Run({"restore", "-r", "-q", "site"}, {}, {}, asOwner);
    EXPECT_EQ(restore.exitCode, 0) << restore.err.constData();
    EXPECT_EQ(ReadAll(At("site/own.html")), "<p>the attacker's own page");
    const BatchOutcome clean = Run({"clean", "-r", "-q", "site"}, {}, {}, asOwner);
    EXPECT_EQ(clean.exitCode, 0) << clean.err.constData();
    EXPECT_TRUE(QDir(At("site/Kelvane Backup")).isEmpty());
}

TEST_F(TreeLinks, BelowANamedFolderNoLinkLeadsTheRunOutOfItAndLinksWithinItWork) {
    AttackerTree("site");
    // The attacker's own file in a folder of root's, beside a file of root's that a write
    // there would take over as a leftover temporary.
    ASSERT_TRUE(QDir().mkpath(At("outside")));
    WriteAll(At("outside/his.html"), "<p>his own page");
    GiveAway("outside/his.html");
    WriteAll(At("outside/.his.html.kelvane-0.tmp"), "root's file");
    PlantLink(At("outside/his.html"), "site/his.html");
    PlantLink("../outside/his.html", "site/rel.html");
    // Links that stay in the tree, one with a folder on the way and one absolute.
    ASSERT_TRUE(QDir().mkpath(At("site/sub")));
    GiveAway("site/sub");
    WriteAll(At("site/two.txt"), "<p>two");
    GiveAway("site/two.txt");
    WriteAll(At("site/three.txt"), "<p>three");
    GiveAway("site/three.txt");
    PlantLink("../two.txt", "site/sub/up.html");
    PlantLink(At("site/three.txt"), "site/abs.html");
    const QStringList outside =
        QDir(At("outside")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    const auto statuses = [](const QByteArray& json) {
        QMap<QString, QString> found;
        for (const QJsonValue& file : QJsonDocument::fromJson(json).object()["files"].toArray())
            found.insert(QFileInfo(file["path"].toString()).fileName(), file["status"].toString());
        return found;
    };
    const BatchOutcome tidy = Run({"tidy", "-r", "-q", "--format", "json", "site"});
    EXPECT_EQ(tidy.exitCode, 3) << tidy.err.constData();
    EXPECT_EQ(statuses(tidy.out), (QMap<QString, QString>{{"abs.html", "tidied"},
                                                          {"his.html", "link-refused"},
                                                          {"own.html", "tidied"},
                                                          {"rel.html", "link-refused"},
                                                          {"up.html", "tidied"}}))
        << tidy.out.constData();
    EXPECT_TRUE(tidy.err.contains("his.html: This symbolic link leads out of the folder"))
        << tidy.err.constData();
    EXPECT_EQ(ReadAll(At("outside/his.html")), "<p>his own page");
    EXPECT_EQ(ReadAll(At("outside/.his.html.kelvane-0.tmp")), "root's file");
    EXPECT_EQ(QDir(At("outside")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              outside)
        << "nothing made or removed outside the tree";
    EXPECT_EQ(ReadAll(At("site/Kelvane Backup/two.txt")), "<p>two");
    EXPECT_EQ(ReadAll(At("site/Kelvane Backup/three.txt")), "<p>three");
    EXPECT_NE(ReadAll(At("site/two.txt")), "<p>two");
    ExpectOutsideUntouched("tidy");

    // Reading keeps to the tree as writing does.
    const BatchOutcome validate = Run({"validate", "-r", "-q", "--format", "json", "site"});
    EXPECT_EQ(validate.exitCode, 3) << validate.err.constData();
    EXPECT_EQ(statuses(validate.out).value("his.html"), "link-refused");
    EXPECT_TRUE(statuses(validate.out).value("up.html") == "clean" ||
                statuses(validate.out).value("up.html") == "has-messages")
        << validate.out.constData();
    EXPECT_TRUE(validate.err.contains("rel.html: This symbolic link leads out of the folder"))
        << validate.err.constData();
}

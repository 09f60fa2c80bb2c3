// What a run killed in the middle of a rewrite leaves in a backup folder, as the next writing
// command settles it: the older backup comes back where the page was not replaced, and the
// new one stays where it was.

#include "common/TestSupport.h"
#include "fileops/BackupRecovery.h"
#include "platform/FolderHandle.h"
#include "platform/TemporaryNames.h"
#include "platform/UniqueFd.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using platform::TemporaryKind;

struct Tree {
    QTemporaryDir dir;
    QString root = dir.path() + QLatin1Char('/');
    QString page = root + "p.html";
    QString backups = root + "Kelvane Backup/";
    QString backup = backups + "p.html";

    Tree() { QDir().mkpath(backups); }
    // A hidden name of ours in the backup folder, bound to p.html (or `bound`).
    QString Hidden(TemporaryKind kind, const QByteArray& bound = "p.html") const {
        struct stat st {};
        ::stat(QFile::encodeName(backups).constData(), &st);
        return backups + QString::fromLatin1(platform::MakeTemporaryName(st, kind, bound));
    }
    int Settle(int age = 0) const {
        const platform::FolderRef folder = platform::FolderHandle::Open(root);
        const platform::FolderRef backupFolder = platform::FolderHandle::Open(backups);
        return RecoverBackupFolder(folder, backupFolder, age);
    }
};

void Link(const QString& from, const QString& to) {
    ASSERT_EQ(::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()), 0);
}

ino_t InodeOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_ino;
}

QStringList Hidden(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
}

} // namespace

TEST(BackupRecovery, TheOlderBackupComesBackWhereThePageWasNotReplaced) {
    const struct Case {
        const char* name;
        std::function<void(Tree&)> left; // what the killed run left (the page holds "<p>page")
        QByteArray backup;               // the backup afterwards; empty: none
        bool settled;                    // anything was done
    } cases[] = {
        {"killed before the exchange: the new backup's second name",
         [](Tree& t) {
             WriteAll(t.backup, "older");
             Link(t.page, t.Hidden(TemporaryKind::Aside));
         },
         "older", true},
        {"killed after the exchange, the page not replaced",
         [](Tree& t) {
             Link(t.page, t.backup);
             WriteAll(t.Hidden(TemporaryKind::Aside), "older");
         },
         "older", true},
        {"... with a copied backup",
         [](Tree& t) {
             WriteAll(t.backup, "<p>page");
             WriteAll(t.Hidden(TemporaryKind::Aside), "older");
         },
         "older", true},
        {"killed after the page was replaced",
         [](Tree& t) {
             WriteAll(t.backup, "<p>original");
             WriteAll(t.Hidden(TemporaryKind::Aside), "older");
         },
         "<p>original", true},
        {"the new backup removed since",
         [](Tree& t) { WriteAll(t.Hidden(TemporaryKind::Aside), "older"); }, "older", true},
        {"no older backup, the page not replaced",
         [](Tree& t) {
             WriteAll(t.Hidden(TemporaryKind::Vacant), "");
             Link(t.page, t.backup);
         },
         "", true},
        {"no older backup, the page replaced",
         [](Tree& t) {
             WriteAll(t.Hidden(TemporaryKind::Vacant), "");
             WriteAll(t.backup, "<p>original");
         },
         "<p>original", true},
        {"no older backup, killed before the backup was named",
         [](Tree& t) { WriteAll(t.Hidden(TemporaryKind::Vacant), ""); }, "", true},
        // Not ours to settle: a name our key did not make, or one bound to another page.
        {"a name no key of ours made",
         [](Tree& t) {
             Link(t.page, t.backup);
             WriteAll(t.backups + ".kelvane-aside-0123456789abcdef0123456789abcdef01234567.tmp",
                      "someone's");
         },
         "<p>page", false},
        {"a name bound to another page",
         [](Tree& t) {
             Link(t.page, t.backup);
             WriteAll(t.Hidden(TemporaryKind::Aside, "q.html"), "older");
         },
         "<p>page", false},
    };
    for (const Case& c : cases) {
        Tree tree;
        WriteAll(tree.page, "<p>page");
        const ino_t page = InodeOf(tree.page);
        c.left(tree);
        EXPECT_EQ(tree.Settle(10), 0) << c.name << ": too young to judge";
        EXPECT_EQ(tree.Settle() > 0, c.settled) << c.name;
        EXPECT_EQ(ReadAll(tree.page), "<p>page") << c.name;
        EXPECT_EQ(InodeOf(tree.page), page) << c.name;
        EXPECT_EQ(QFileInfo::exists(tree.backup), !c.backup.isEmpty()) << c.name;
        if (!c.backup.isEmpty()) {
            EXPECT_EQ(ReadAll(tree.backup), c.backup) << c.name;
            if (c.settled) {
                EXPECT_NE(InodeOf(tree.backup), page) << c.name << ": the backup is the page";
                EXPECT_EQ(Hidden(tree.backups), QStringList()) << c.name;
            }
        }
    }
}

TEST(BackupRecovery, APageThatALiveRunHoldsIsLeftToThatRun) {
    Tree tree;
    WriteAll(tree.page, "<p>page");
    Link(tree.page, tree.backup);
    WriteAll(tree.Hidden(TemporaryKind::Aside), "older");
    const platform::UniqueFd run(::open(QFile::encodeName(tree.page).constData(), O_RDONLY));
    ASSERT_EQ(::flock(run.get(), LOCK_EX), 0);
    EXPECT_EQ(tree.Settle(), 0);
    EXPECT_EQ(InodeOf(tree.backup), InodeOf(tree.page));
    EXPECT_EQ(Hidden(tree.backups).size(), 1);
}

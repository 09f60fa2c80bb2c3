// Files under construction: placed whole or not at all, and removed after a killed writer only
// when no live writer can still be making them.

#include "common/TestSupport.h"
#include "platform/FolderHandle.h"
#include "platform/TemporaryFile.h"
#include "platform/UniqueFd.h"

#include <QDir>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

using namespace platform;

namespace {

class TemporaryFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString root = dir.path() + QLatin1Char('/');
    FolderRef folder = FolderHandle::Open(dir.path());

    QStringList Names() const {
        QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        names.sort();
        return names;
    }
    TemporaryFile::NameMaker Named(const QByteArray& base) const {
        return [base](int attempt) { return PageTemporaryName(base, attempt); };
    }
};

} // namespace

TEST_F(TemporaryFiles, APlacedFileAppearsWholeUnderItsNameAndADiscardedOneLeavesNothing) {
    ASSERT_TRUE(folder);
    WriteAll(root + "page.html", "old");
    {
        TemporaryFile file;
        ASSERT_TRUE(file.Create(folder->Fd(), Named("page.html"), 0600));
        ASSERT_EQ(::write(file.Fd(), "new", 3), 3);
        EXPECT_EQ(Names(), QStringList{"page.html"}) << "no name while it is written";
        EXPECT_FALSE(file.Place("page.html", false)) << "taken, and not to be replaced";
        EXPECT_EQ(errno, EEXIST);
        EXPECT_TRUE(file.Place("page.html", true));
    }
    EXPECT_EQ(ReadAll(root + "page.html"), "new");
    {
        TemporaryFile file;
        ASSERT_TRUE(file.Create(folder->Fd(), Named("page.html"), 0600));
        ASSERT_EQ(::write(file.Fd(), "dropped", 7), 7);
    }
    EXPECT_EQ(Names(), QStringList{"page.html"});
    EXPECT_EQ(ReadAll(root + "page.html"), "new");

    // Replacing a link replaces the link itself; what it names is never written.
    WriteAll(root + "outside", "keep");
    ASSERT_EQ(::symlink("outside", QFile::encodeName(root + "link").constData()), 0);
    TemporaryFile file;
    ASSERT_TRUE(file.Create(folder->Fd(), Named("link"), 0600));
    ASSERT_EQ(::write(file.Fd(), "x", 1), 1);
    ASSERT_TRUE(file.Place("link", true));
    EXPECT_EQ(ReadAll(root + "outside"), "keep");
    EXPECT_FALSE(QFileInfo(root + "link").isSymLink());
}

TEST_F(TemporaryFiles, ALinkedTemporaryIsTheFileItselfUnderASecondName) {
    WriteAll(root + "page.html", "original");
    const UniqueFd page(::open(QFile::encodeName(root + "page.html").constData(), O_RDONLY));
    ASSERT_TRUE(QDir().mkpath(root + "backup"));
    const FolderRef backups = FolderHandle::Open(root + "backup");
    TemporaryFile link;
    ASSERT_TRUE(link.CreateLink(backups->Fd(), page.get(), BackupTemporaryName));
    ASSERT_TRUE(link.Place("page.html", false));
    struct stat a {}, b {};
    ASSERT_EQ(::stat(QFile::encodeName(root + "page.html").constData(), &a), 0);
    ASSERT_EQ(::stat(QFile::encodeName(root + "backup/page.html").constData(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(QDir(root + "backup").entryList(QDir::Files | QDir::Hidden),
              QStringList{"page.html"});
}

TEST_F(TemporaryFiles, OnlyTemporariesNoLiveWriterHoldsAreRemovedAsStale) {
    const struct Case {
        const char* name;
        bool locked;   // a live writer holds it
        bool regular;  // else a symbolic link to a file outside
        bool removed;
    } cases[] = {
        {".page.html.kelvane-0.tmp", false, true, true},
        {".kelvane-backup-0123456789abcdef.tmp", false, true, true},
        {".page.html.kelvane-1.tmp", true, true, false},
        {".kelvane-backup-fedcba9876543210.tmp", true, true, false},
        {".page.html.kelvane-2.tmp", false, false, false},
        {".keep.tmp", false, true, false},
        {"page.html.kelvane-0.tmp", false, true, false},
        {".page.html.kelvane-x.tmp", false, true, false},
    };
    WriteAll(root + "outside", "keep");
    std::vector<UniqueFd> writers;
    for (const Case& c : cases) {
        const QString path = root + QLatin1String(c.name);
        if (c.regular) {
            WriteAll(path, "partial");
        } else {
            ASSERT_EQ(::symlink(QFile::encodeName(root + "outside").constData(),
                                QFile::encodeName(path).constData()),
                      0);
        }
        if (c.locked) {
            writers.emplace_back(::open(QFile::encodeName(path).constData(), O_RDONLY));
            ASSERT_EQ(::flock(writers.back().get(), LOCK_EX), 0);
        }
    }
    // Just made: too young to judge, whoever holds them.
    EXPECT_EQ(RemoveStaleTemporaries(folder->Fd()), 0);
    EXPECT_EQ(RemoveStaleTemporaries(folder->Fd(), 0), 2);
    for (const Case& c : cases)
        EXPECT_EQ(QFileInfo(root + QLatin1String(c.name)).exists() ||
                      QFileInfo(root + QLatin1String(c.name)).isSymLink(),
                  !c.removed)
            << c.name;
    EXPECT_EQ(ReadAll(root + "outside"), "keep");
}

TEST_F(TemporaryFiles, FoldersBeneathARootAreNeverReachedThroughALink) {
    ASSERT_TRUE(QDir().mkpath(root + "site/sub"));
    ASSERT_TRUE(QDir().mkpath(root + "elsewhere"));
    ASSERT_EQ(::symlink(QFile::encodeName(root + "elsewhere").constData(),
                        QFile::encodeName(root + "site/link").constData()),
              0);
    const FolderRef site = FolderHandle::Open(root + "site");
    ASSERT_TRUE(site);
    int error = 0;
    EXPECT_TRUE(FolderHandle::OpenBeneath(site, QStringLiteral("sub"), &error));
    EXPECT_FALSE(FolderHandle::OpenBeneath(site, QStringLiteral("link"), &error));
    EXPECT_EQ(error, ELOOP);
    EXPECT_FALSE(FolderHandle::OpenBeneath(site, QStringLiteral("sub/../../elsewhere"), &error));
    EXPECT_FALSE(FolderHandle::OpenChild(site, "link", &error));
    const FolderRef same = FolderHandle::OpenBeneath(site, QString(), &error);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->Stat().st_ino, site->Stat().st_ino);
}

// A writer killed between naming its temporary and renaming it leaves the name behind, unlocked;
// the next writer of that page takes the name over at once, while one a live writer holds stays.
TEST_F(TemporaryFiles, ALeftoverUnderAPagesTemporaryNameGoesWhenTheNextWriterNeedsIt) {
    ASSERT_TRUE(folder);
    WriteAll(root + "page.html", "old");
    WriteAll(root + ".page.html.kelvane-0.tmp", "killed writer's");
    {
        TemporaryFile file;
        ASSERT_TRUE(file.Create(folder->Fd(), Named("page.html"), 0600));
        ASSERT_EQ(::write(file.Fd(), "new", 3), 3);
        ASSERT_TRUE(file.Place("page.html", true));
    }
    EXPECT_EQ(Names(), QStringList{"page.html"});
    EXPECT_EQ(ReadAll(root + "page.html"), "new");

    WriteAll(root + ".page.html.kelvane-0.tmp", "live writer's");
    const UniqueFd held(::open(QFile::encodeName(root + ".page.html.kelvane-0.tmp").constData(),
                               O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::flock(held.get(), LOCK_EX | LOCK_NB), 0);
    TemporaryFile file;
    ASSERT_TRUE(file.Create(folder->Fd(), Named("page.html"), 0600));
    ASSERT_EQ(::write(file.Fd(), "newer", 5), 5);
    ASSERT_TRUE(file.Place("page.html", true));
    EXPECT_EQ(ReadAll(root + ".page.html.kelvane-0.tmp"), "live writer's");
    EXPECT_EQ(ReadAll(root + "page.html"), "newer");
}

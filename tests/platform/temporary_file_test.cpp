// Files under construction: placed whole or not at all, and removed after a killed writer only
// when no live writer can still be making them.

#include "common/TestSupport.h"
#include "platform/FolderHandle.h"
#include "platform/TemporaryFile.h"
#include "platform/TemporaryNames.h"
#include "platform/UniqueFd.h"

#include <QDir>
#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
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
        return PageTemporaryNames(folder->Fd(), base);
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
    ASSERT_TRUE(link.CreateLink(backups->Fd(), page.get(), BackupTemporaryNames(backups->Fd())));
    ASSERT_TRUE(link.Place("page.html", false));
    struct stat a {
    }, b{};
    ASSERT_EQ(::stat(QFile::encodeName(root + "page.html").constData(), &a), 0);
    ASSERT_EQ(::stat(QFile::encodeName(root + "backup/page.html").constData(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(QDir(root + "backup").entryList(QDir::Files | QDir::Hidden),
              QStringList{"page.html"});
}

// Only a name provably ours, made in this folder, that names a regular file no live writer
// holds, goes; whatever else is named alike is someone's file.
TEST_F(TemporaryFiles, OnlyProvablyOurStaleTemporariesAreRemoved) {
    ASSERT_TRUE(folder);
    QTemporaryDir otherDir;
    const FolderRef other = FolderHandle::Open(otherDir.path());
    const struct stat& here = folder->Stat();
    const struct Case {
        QByteArray name;
        bool locked;  // a live writer holds it
        bool regular; // else a symbolic link to a file outside
        bool removed;
    } cases[] = {
        {MakeTemporaryName(here, TemporaryKind::Page, "page.html"), false, true, true},
        {MakeTemporaryName(here, TemporaryKind::Backup), false, true, true},
        {MakeTemporaryName(here, TemporaryKind::Page, "page.html"), true, true, false},
        {MakeTemporaryName(here, TemporaryKind::Backup), true, true, false},
        {MakeTemporaryName(here, TemporaryKind::Page, "page.html"), false, false, false},
        // The older state of a backup: left to the backup folder's recovery.
        {MakeTemporaryName(here, TemporaryKind::Aside, "page.html"), false, true, false},
        {MakeTemporaryName(here, TemporaryKind::Vacant, "page.html"), false, true, false},
        // Ours, but made for another folder and planted here.
        {MakeTemporaryName(other->Stat(), TemporaryKind::Page, "page.html"), false, true, false},
        // Our form with a MAC nobody made.
        {".page.html.kelvane-0123456789abcdef0123456789abcdef01234567.tmp", false, true, false},
        // The user's files, and an earlier version's names, which nothing proves ours.
        {".draft.kelvane-7.tmp", false, true, false},
        {".page.html.kelvane-0.tmp", false, true, false},
        {".kelvane-backup-2024.tmp", false, true, false},
        {".kelvane-backup-0123456789abcdef.tmp", false, true, false},
        {".keep.tmp", false, true, false},
    };
    WriteAll(root + "outside", "keep");
    std::vector<UniqueFd> writers;
    for (const Case& c : cases) {
        const QString path = root + QString::fromLatin1(c.name);
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
    for (const Case& c : cases) {
        const QFileInfo info(root + QString::fromLatin1(c.name));
        EXPECT_EQ(info.exists() || info.isSymLink(), !c.removed) << c.name.constData();
    }
    EXPECT_EQ(ReadAll(root + "outside"), "keep");
}

// The key is the user's alone; without a usable one every write still works, and nothing can
// be proven ours, so nothing is removed.
TEST_F(TemporaryFiles, NamesAreProvenOnlyWithTheUsersOwnKey) {
    ASSERT_TRUE(folder);
    const QByteArray ours = MakeTemporaryName(folder->Stat(), TemporaryKind::Page, "page.html");
    ASSERT_TRUE(IsOurTemporaryName(folder->Stat(), ours));
    const QString keyFile = QDir::tempPath() + "/state/kelvane/temporary-names.key";
    const struct stat key = [&] {
        struct stat st {};
        EXPECT_EQ(::stat(QFile::encodeName(keyFile).constData(), &st), 0);
        return st;
    }();
    EXPECT_EQ(key.st_mode & 0777, 0600u);
    EXPECT_EQ(key.st_size, 32);

    const struct Case {
        const char* what;
        std::function<void(const QString& state)> make;
        bool usable;
    } cases[] = {
        {"a key of its own", [](const QString&) {}, true},
        {"readable by others",
         [](const QString& state) {
             WriteAll(state + "/kelvane/temporary-names.key", QByteArray(32, 'k'));
             ::chmod(QFile::encodeName(state + "/kelvane/temporary-names.key").constData(), 0644);
         },
         false},
        {"of the wrong size",
         [](const QString& state) {
             WriteAll(state + "/kelvane/temporary-names.key", "short");
             ::chmod(QFile::encodeName(state + "/kelvane/temporary-names.key").constData(), 0600);
         },
         false},
        {"a link to the user's key",
         [&](const QString& state) {
             ASSERT_TRUE(QFile::link(keyFile, state + "/kelvane/temporary-names.key"));
         },
         false},
        {"in a folder others may write",
         [](const QString& state) {
             ::chmod(QFile::encodeName(state + "/kelvane").constData(), 0777);
         },
         false},
    };
    for (const Case& c : cases) {
        QTemporaryDir state;
        ASSERT_TRUE(QDir().mkpath(state.path() + "/kelvane"));
        ::chmod(QFile::encodeName(state.path() + "/kelvane").constData(), 0700);
        c.make(state.path());
        const ScopedEnv env("XDG_STATE_HOME", state.path());
        ReloadTemporaryKeyForTests();
        EXPECT_EQ(HaveTemporaryKey(), c.usable) << c.what;
        // Another key does not prove the first one's names.
        EXPECT_FALSE(IsOurTemporaryName(folder->Stat(), ours)) << c.what;
        WriteAll(root + QString::fromLatin1(ours), "left behind");
        EXPECT_EQ(RemoveStaleTemporaries(folder->Fd(), 0), 0) << c.what;
        {
            TemporaryFile file;
            ASSERT_TRUE(file.Create(folder->Fd(), Named("page.html"), 0600)) << c.what;
            ASSERT_EQ(::write(file.Fd(), "new", 3), 3);
            ASSERT_TRUE(file.Place("page.html", true)) << c.what;
        }
        EXPECT_EQ(ReadAll(root + "page.html"), "new") << c.what;
    }
    ReloadTemporaryKeyForTests();
    EXPECT_TRUE(IsOurTemporaryName(folder->Stat(), ours));
    EXPECT_EQ(RemoveStaleTemporaries(folder->Fd(), 0), 1);
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

// A name a writer needs that is taken is someone's file, whether or not anybody holds it: the
// writer takes another name and leaves that file alone.
TEST_F(TemporaryFiles, AWriterNeverTakesOverAFileUnderANameItWants) {
    ASSERT_TRUE(folder);
    WriteAll(root + "page.html", "old");
    const QByteArray taken = MakeTemporaryName(folder->Stat(), TemporaryKind::Page, "page.html");
    WriteAll(root + QString::fromLatin1(taken), "someone's");
    WriteAll(root + ".page.html.kelvane-0.tmp", "the user's");
    int asked = 0;
    TemporaryFile file;
    ASSERT_TRUE(file.Create(
        folder->Fd(),
        [&](int attempt) {
            ++asked;
            return attempt == 0 ? taken : Named("page.html")(attempt);
        },
        0600));
    ASSERT_EQ(::write(file.Fd(), "new", 3), 3);
    ASSERT_TRUE(file.Place("page.html", true));
    EXPECT_GE(asked, 1);
    EXPECT_EQ(ReadAll(root + "page.html"), "new");
    EXPECT_EQ(ReadAll(root + QString::fromLatin1(taken)), "someone's");
    EXPECT_EQ(ReadAll(root + ".page.html.kelvane-0.tmp"), "the user's");
}

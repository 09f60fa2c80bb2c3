#include "common/TestSupport.h"
#include "fileops/BackupStore.h"
#include "support/Translation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class BackupStore : public ::testing::Test {
protected:
    void SetUp() override {
        ClearTranslations();
        ASSERT_TRUE(dir.isValid());
        root = dir.path() + QLatin1Char('/');
    }
    void TearDown() override { ClearTranslations(); }

    QString file(const QString& name, const QByteArray& content) {
        const QString path = root + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteAll(path, content);
        return path;
    }
    QStringList entries(const QString& folder) const {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir;
    QString root;
};

// Writes a language file into its own folder and loads it.
void LoadLanguage(const QTemporaryDir& folder, const QByteArray& content) {
    LoadLanguageText(folder.path(), content);
}

} // namespace

TEST_F(BackupStore, PathsLieInAFolderBesideTheFile) {
    EXPECT_EQ(BackupFolderName(), "Kelvane Backup/");
    EXPECT_EQ(BackupFolderOf("/site/index.htm"), "/site/Kelvane Backup/");
    EXPECT_EQ(BackupPathOf("/site/index.htm"), "/site/Kelvane Backup/index.htm");
    // A file in the root of the file system.
    EXPECT_EQ(BackupFolderOf("/index.htm"), "/Kelvane Backup/");
    EXPECT_EQ(BackupPathOf("/index.htm"), "/Kelvane Backup/index.htm");
    // Backup folders get no special treatment: they nest.
    EXPECT_EQ(BackupPathOf("/site/Kelvane Backup/index.htm"),
              "/site/Kelvane Backup/Kelvane Backup/index.htm");
    EXPECT_EQ(BackupPathOf("/site/Kelvane Backup"), "/site/Kelvane Backup/Kelvane Backup");
}

TEST_F(BackupStore, MakeBackupCopiesExactBytesAndCreatesTheFolders) {
    const QByteArray bytes("<p>caf\xe9\0\r\n</p>", 15);
    const QString page = file("site/index.htm", bytes);
    EXPECT_FALSE(HasBackup(page));

    const QString backup = MakeBackup(page);
    EXPECT_EQ(backup, root + "site/Kelvane Backup/index.htm");
    EXPECT_EQ(ReadAll(backup), bytes);
    EXPECT_TRUE(HasBackup(page));
    EXPECT_EQ(ReadAll(page), bytes) << "the file itself is untouched";
    EXPECT_EQ(entries(root + "site/Kelvane Backup"), QStringList{"index.htm"});
}

TEST_F(BackupStore, TidyingTwiceKeepsOnlyTheContentBeforeTheLatestTidy) {
    const QString page = file("index.htm", "original");
    ASSERT_FALSE(MakeBackup(page).isEmpty());
    WriteAll(page, "tidied once");
    ASSERT_FALSE(MakeBackup(page).isEmpty());
    WriteAll(page, "tidied twice");
    EXPECT_EQ(ReadAll(BackupPathOf(page)), "tidied once");
    EXPECT_EQ(entries(BackupFolderOf(page)), QStringList{"index.htm"}) << "no temporary left";
}

TEST_F(BackupStore, ReadOnlyOldBackupMakesTheBackupFailAndStaysAsItWas) {
    const QString page = file("index.htm", "first");
    ASSERT_FALSE(MakeBackup(page).isEmpty());
    SetReadOnly(BackupPathOf(page), true);
    WriteAll(page, "second");

    EXPECT_TRUE(MakeBackup(page).isEmpty());
    EXPECT_EQ(ReadAll(BackupPathOf(page)), "first");
    EXPECT_EQ(entries(BackupFolderOf(page)), QStringList{"index.htm"}) << "no temporary left";
}

TEST_F(BackupStore, FailedBackupLeavesNothingBehind) {
    EXPECT_TRUE(MakeBackup(root + "missing.htm").isEmpty());
    EXPECT_FALSE(HasBackup(root + "missing.htm"));
    EXPECT_TRUE(entries(root + "Kelvane Backup").isEmpty());

    // A folder standing where the backup should go.
    const QString page = file("index.htm", "x");
    QDir().mkpath(BackupPathOf(page));
    EXPECT_TRUE(MakeBackup(page).isEmpty());
    EXPECT_EQ(entries(BackupFolderOf(page)), QStringList{"index.htm"});

    // A file standing where the backup folder should go.
    const QString other = file("b/page.htm", "y");
    WriteAll(root + "b/Kelvane Backup", "not a folder");
    EXPECT_TRUE(MakeBackup(other).isEmpty());
    EXPECT_EQ(ReadAll(root + "b/Kelvane Backup"), "not a folder");
}

TEST_F(BackupStore, BackupOfAFileInABackupFolderNests) {
    const QString page = file("site/Kelvane Backup/index.htm", "inner");
    const QString backup = MakeBackup(page);
    EXPECT_EQ(backup, root + "site/Kelvane Backup/Kelvane Backup/index.htm");
    EXPECT_EQ(ReadAll(backup), "inner");
}

TEST_F(BackupStore, RestoreMovesTheBackupBackOverTheFile) {
    const QString page = file("index.htm", "original");
    ASSERT_FALSE(MakeBackup(page).isEmpty());
    WriteAll(page, "tidied");

    EXPECT_EQ(RestoreFromBackup(page), rrRestored);
    EXPECT_EQ(ReadAll(page), "original");
    EXPECT_FALSE(HasBackup(page));
    EXPECT_TRUE(QDir(BackupFolderOf(page)).exists()) << "backup folders are never removed";
    EXPECT_EQ(RestoreFromBackup(page), rrNoBackup);
}

TEST_F(BackupStore, RestoreOfAVanishedFileStillBringsItBack) {
    const QString page = file("index.htm", "original");
    ASSERT_FALSE(MakeBackup(page).isEmpty());
    QFile::remove(page);
    EXPECT_EQ(RestoreFromBackup(page), rrRestored);
    EXPECT_EQ(ReadAll(page), "original");
}

TEST_F(BackupStore, RestoreOfAReadOnlyFileFailsAndKeepsBoth) {
    const QString page = file("index.htm", "original");
    ASSERT_FALSE(MakeBackup(page).isEmpty());
    WriteAll(page, "tidied");
    SetReadOnly(page, true);

    EXPECT_EQ(RestoreFromBackup(page), rrFailed);
    EXPECT_EQ(ReadAll(page), "tidied");
    EXPECT_EQ(ReadAll(BackupPathOf(page)), "original");
}

TEST_F(BackupStore, FolderPathsAreSkippedAndHaveNothingToRemove) {
    QDir().mkpath(root + "sub/Kelvane Backup");
    EXPECT_EQ(RestoreFromBackup(root + "sub"), rrSkipped);
    EXPECT_TRUE(RemoveBackup(root + "sub"));
    EXPECT_TRUE(QDir(root + "sub/Kelvane Backup").exists());
}

TEST_F(BackupStore, RemoveBackupDeletesOnlyTheBackup) {
    const QString page = file("index.htm", "original");
    EXPECT_TRUE(RemoveBackup(page)) << "nothing to remove";
    ASSERT_FALSE(MakeBackup(page).isEmpty());

    SetReadOnly(BackupPathOf(page), true);
    EXPECT_FALSE(RemoveBackup(page));
    EXPECT_TRUE(HasBackup(page));

    SetReadOnly(BackupPathOf(page), false);
    EXPECT_TRUE(RemoveBackup(page));
    EXPECT_FALSE(HasBackup(page));
    EXPECT_EQ(ReadAll(page), "original");
}

TEST_F(BackupStore, ReadOnlyPathIncludesPathsThatCannotBeRead) {
    const QString page = file("index.htm", "x");
    EXPECT_FALSE(IsReadOnlyPath(page));
    SetReadOnly(page, true);
    EXPECT_TRUE(IsReadOnlyPath(page));
    EXPECT_TRUE(IsReadOnlyPath(root + "gone.htm"));
}

TEST_F(BackupStore, SelectionTests) {
    const QString writable = file("a.htm", "a");
    const QString readOnly = file("b.htm", "b");
    SetReadOnly(readOnly, true);
    const QString folder = root + "sub";
    QDir().mkpath(folder);
    SetReadOnly(folder, true); // a folder is always worth tidying into
    const QString missing = root + "gone.htm";

    EXPECT_FALSE(CanTidySelection({}));
    EXPECT_FALSE(CanTidySelection({readOnly, missing}));
    EXPECT_TRUE(CanTidySelection({readOnly, writable}));
    EXPECT_TRUE(CanTidySelection({folder}));

    EXPECT_FALSE(CanRestoreSelection({}));
    EXPECT_FALSE(CanRestoreSelection({writable, readOnly, missing}));
    EXPECT_TRUE(CanRestoreSelection({folder}));
    ASSERT_FALSE(MakeBackup(readOnly).isEmpty()) << "a read-only file can still be copied";
    EXPECT_TRUE(CanRestoreSelection({writable, readOnly}));
    // The backup folder beside a file says nothing about the file; a vanished file's backup
    // can still be restored.
    EXPECT_FALSE(CanRestoreSelection({writable, missing}));
    WriteAll(BackupPathOf(missing), "kept");
    EXPECT_TRUE(CanRestoreSelection({writable, missing}));

    EXPECT_FALSE(HasFileInSelection({}));
    EXPECT_FALSE(HasFileInSelection({folder, missing}));
    EXPECT_TRUE(HasFileInSelection({folder, readOnly}));
    SetReadOnly(folder, false);
}

TEST_F(BackupStore, TranslatedFolderNameIsUsedAndEarlierBackupsStayWithinReach) {
    const QString page = file("index.htm", "original");
    ASSERT_FALSE(MakeBackup(page).isEmpty());

    QTemporaryDir language;
    LoadLanguage(language, "<//STRING_TABLE-->\nE=Kelvane Backup\nT=Sicherung\n");
    EXPECT_EQ(BackupFolderName(), "Sicherung/");
    EXPECT_EQ(UntranslatedBackupFolderName(), "Kelvane Backup/");
    EXPECT_EQ(BackupPathOf(page), root + "Sicherung/index.htm");
    EXPECT_TRUE(HasBackup(page)) << "the earlier backup, under the English name, still counts";
    EXPECT_TRUE(CanRestoreSelection({page}));
    // Tidy writes under the current name only.
    EXPECT_EQ(MakeBackup(page), root + "Sicherung/index.htm");
    EXPECT_EQ(ReadAll(root + "Kelvane Backup/index.htm"), "original");
}

// After a language change, restore and removal take the backup under the current name, and
// where that folder has none for the file (or is missing), the one under the English name.
TEST_F(BackupStore, AfterALanguageChangeRestoreAndRemovalReachTheEnglishFolder) {
    const struct {
        const char* backups;  // which folders hold a backup: "E" English, "T" translated
        const char* restored; // what the page holds after one restore ("" none was there)
        bool englishLeft, translatedLeft;
    } cases[] = {
        {"E", "english", false, false},
        {"T", "translated", false, false},
        {"ET", "translated", true, false},
        {"", "", false, false},
    };
    QTemporaryDir language;
    for (const auto& c : cases) {
        for (const bool restore : {true, false}) {
            SCOPED_TRACE(testing::Message()
                         << "backups " << c.backups << ", " << (restore ? "restore" : "remove"));
            ClearTranslations();
            ASSERT_TRUE(QDir(root).removeRecursively() && QDir().mkpath(root));
            const QString page = file("site/page.html", "tidied");
            const QString english = root + "site/Kelvane Backup/page.html";
            const QString translated = root + "site/Sicherung/page.html";
            // Another page's backup: the translated folder exists but has nothing for this one.
            file("site/Sicherung/other.html", "other");
            if (std::strchr(c.backups, 'E'))
                file("site/Kelvane Backup/page.html", "english");
            if (std::strchr(c.backups, 'T'))
                file("site/Sicherung/page.html", "translated");
            LoadLanguage(language, "<//STRING_TABLE-->\nE=Kelvane Backup\nT=Sicherung\n");

            const bool any = *c.backups != 0;
            EXPECT_EQ(HasBackup(page), any);
            EXPECT_EQ(CanRestoreSelection({page}), any);
            if (restore) {
                EXPECT_EQ(RestoreFromBackup(page), any ? rrRestored : rrNoBackup);
                EXPECT_EQ(ReadAll(page), any ? QByteArray(c.restored) : QByteArray("tidied"));
            } else {
                EXPECT_TRUE(RemoveBackup(page));
                EXPECT_EQ(ReadAll(page), "tidied");
            }
            EXPECT_EQ(QFile::exists(english), c.englishLeft);
            EXPECT_EQ(QFile::exists(translated), c.translatedLeft);
            EXPECT_EQ(ReadAll(root + "site/Sicherung/other.html"), "other");
        }
    }
}

TEST_F(BackupStore, TranslationEndingInASeparatorGetsNoSecondOne) {
    QTemporaryDir language;
    LoadLanguage(language, "<//STRING_TABLE-->\nE=Kelvane Backup\nT=Sauvegardes/\n");
    EXPECT_EQ(BackupPathOf("/site/a.htm"), "/site/Sauvegardes/a.htm");
}

TEST_F(BackupStore, TranslationThatNamesNoSingleFolderIsNotUsed) {
    // "." would make every file its own backup, and RemoveBackup would delete the file.
    for (const QByteArray& bad : {QByteArray("."), QByteArray(".."), QByteArray("a/b")}) {
        ClearTranslations();
        QTemporaryDir language;
        LoadLanguage(language, "<//STRING_TABLE-->\nE=Kelvane Backup\nT=" + bad + "\n");
        EXPECT_EQ(BackupFolderName(), "Kelvane Backup/") << bad.constData();
    }
    const QString page = file("index.htm", "keep");
    EXPECT_TRUE(RemoveBackup(page));
    EXPECT_EQ(ReadAll(page), "keep");
}

TEST_F(BackupStore, BackupKeepsModeTimesAndOwner) {
    const QString page = file("index.htm", "x");
    const QByteArray native = page.toUtf8();
    ASSERT_EQ(::chmod(native.constData(), 0640), 0);
    const struct timespec times[2] = {{1000000000, 0}, {1200000000, 500}};
    ASSERT_EQ(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(native.constData(), 4321, 4322), 0);
    }

    const QString backup = MakeBackup(page);
    struct stat st {};
    ASSERT_EQ(::stat(backup.toUtf8().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
    if (!root)
        GTEST_SKIP() << "only root may give a backup to the file's owner";
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
}

TEST_F(BackupStore, RestoreNeverFollowsALinkAndLeavesLinkFileAndBackupAsTheyAre) {
    const QString target = file("real/page.htm", "original");
    const QString link = root + "link.htm";
    ASSERT_EQ(::symlink("real/page.htm", link.toUtf8().constData()), 0);
    // Backed up through the link, the file's backup lies beside the file itself.
    ASSERT_EQ(MakeBackup(link), root + "real/Kelvane Backup/page.htm");
    ASSERT_TRUE(QDir().mkpath(BackupFolderOf(link)));
    WriteAll(BackupPathOf(link), "original");
    WriteAll(target, "tidied");

    EXPECT_EQ(RestoreFromBackup(link), rrRefused);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadAll(target), "tidied");
    EXPECT_EQ(ReadAll(BackupPathOf(link)), "original");
}

TEST_F(BackupStore, ABackupFolderIsKnownByWhatWasOpenedHoweverItIsNamed) {
    QTemporaryDir language;
    LoadLanguage(language, "<//STRING_TABLE-->\nE=Kelvane Backup\nT=Sicherung\n");
    for (const char* folder : {"site/Kelvane Backup", "site/Sicherung", "site/Kelvane Backup/sub",
                               "site/not a backup", "site/Kelvane Backup/Kelvane Backup"})
        ASSERT_TRUE(QDir().mkpath(root + folder));
    ASSERT_EQ(::symlink("Kelvane Backup", QFile::encodeName(root + "site/alias").constData()), 0);
    const struct {
        const char* path;
        bool backups;
    } cases[] = {
        {"site/Kelvane Backup", true},  // the untranslated name
        {"site/Sicherung", true},       // the current translation
        {"site/Kelvane Backup/", true}, // other spellings of the same folder
        {"site/Kelvane Backup/.", true},
        {"site//Kelvane Backup//.//", true},
        {"site/alias", true}, // a link to it
        {"site/Kelvane Backup/Kelvane Backup", true},
        {"site/Kelvane Backup/sub", false}, // below one, but not one
        {"site/not a backup", false},
        {"site", false},
        {"site/Kelvane Backup/..", false},
    };
    for (const auto& c : cases) {
        const QString path = root + c.path;
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(fd, 0) << c.path;
        EXPECT_EQ(IsBackupFolderAt(fd, path), c.backups) << c.path;
        ::close(fd);
    }
}

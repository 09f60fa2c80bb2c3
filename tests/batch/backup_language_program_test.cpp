// kelvane-batch after the language was changed: the language file translates the backup
// folder's name, and the backups made before, under "Kelvane Backup", are still restored and
// removed; tidying writes under the new name.

#include "BatchProgramFixture.h"

namespace {

class BackupLanguageProgram : public BatchProgramTest {
protected:
    void TearDown() override { QFile::remove(appDir->filePath("lang.txt")); }
    // The language file beside the program (where it reads one first) names the folder anew.
    static void TranslateBackupFolder() {
        WriteAll(appDir->filePath("lang.txt"),
                 "<//STRING_TABLE-->\nE=Kelvane Backup\nT=Kelvane Sicherung\n");
    }
    // Every page of the site as it stands, leaving out both backup folders.
    QMap<QString, QByteArray> Pages() const {
        QMap<QString, QByteArray> pages = WithoutBackups(Snapshot("site"));
        pages.removeIf([](const auto& file) { return file.key().contains("Kelvane Sicherung/"); });
        return pages;
    }
    // The backup copies in folders named `folder`, by their path below the site.
    QStringList BackedUp(const QString& folder) const {
        QStringList names;
        for (const QString& name : Snapshot("site").keys())
            if (name.contains(folder + "/"))
                names << name;
        return names;
    }
};

} // namespace

TEST_F(BackupLanguageProgram, RestoreReachesTheBackupsMadeUnderTheEnglishName) {
    CopySite("site");
    const QMap<QString, QByteArray> original = Pages();
    ASSERT_LE(Run({"tidy", "-r", "-q", "--force", "site"}).exitCode, 1);
    const QStringList english = BackedUp("Kelvane Backup");
    ASSERT_FALSE(english.isEmpty());
    ASSERT_NE(Pages(), original);

    TranslateBackupFolder();
    const BatchOutcome r = Run({"restore", "-r", "-q", "site"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(
        r.out.contains(QStringLiteral("Restored %1 files out of %1").arg(english.size()).toUtf8()))
        << r.out.constData();
    EXPECT_EQ(Pages(), original);
    EXPECT_TRUE(BackedUp("Kelvane Backup").isEmpty()) << "each backup went back to its page";
    EXPECT_FALSE(QFileInfo::exists(At("site/Kelvane Sicherung")));
}

TEST_F(BackupLanguageProgram, TidyWritesUnderTheNewNameAndCleanRemovesBothKinds) {
    CopySite("site");
    ASSERT_LE(Run({"tidy", "-q", "--force", "site/about.html"}).exitCode, 1);
    ASSERT_EQ(BackedUp("Kelvane Backup"), QStringList{"Kelvane Backup/about.html"});

    TranslateBackupFolder();
    ASSERT_LE(Run({"tidy", "-q", "--force", "site/index.html"}).exitCode, 1);
    EXPECT_EQ(BackedUp("Kelvane Sicherung"), QStringList{"Kelvane Sicherung/index.html"});
    EXPECT_EQ(BackedUp("Kelvane Backup"), QStringList{"Kelvane Backup/about.html"});

    const BatchOutcome r = Run({"clean", "-q", "site/about.html", "site/index.html"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(BackedUp("Kelvane Backup").isEmpty());
    EXPECT_TRUE(BackedUp("Kelvane Sicherung").isEmpty());
    // A page that has no backup under either name is still said to have none.
    const BatchOutcome none = Run({"restore", "-q", "site/about.html"});
    EXPECT_EQ(none.exitCode, 3);
    EXPECT_TRUE(none.err.contains("site/about.html: No backup exists")) << none.err.constData();
}

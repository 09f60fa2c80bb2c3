// A backup copy is never tidied or restored, however the run reaches it: another spelling of
// its folder, that folder named with -r (also as "."), or the user's own link to the copy.
// Tidied, its original would be pushed into a backup of the backup and the page's restore would
// give tidied text back.

#include "BatchProgramFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <unistd.h>

namespace {

const QByteArray kOriginal = "<p>the original";
// What a faulty run once left beside the copy: its "backup", which holds tidied text.
const QByteArray kBackupOfTheCopy = "<p>tidied text that a faulty run kept";

class BackupCopies : public BatchProgramTest {
protected:
    void SetUp() override {
        BatchProgramTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(At("site")));
        WriteAll(At("site/p.html"), kOriginal);
        const BatchOutcome tidy = Run({"tidy", "-q", "site/p.html"});
        ASSERT_EQ(tidy.exitCode, 0) << tidy.err.constData();
        tidied = ReadAll(At("site/p.html"));
        ASSERT_NE(tidied, kOriginal);
        ASSERT_EQ(ReadAll(Copy()), kOriginal);
        ASSERT_TRUE(QDir().mkpath(At("site/Kelvane Backup/Kelvane Backup")));
        WriteAll(At("site/Kelvane Backup/Kelvane Backup/p.html"), kBackupOfTheCopy);
        ASSERT_EQ(
            ::symlink("Kelvane Backup/p.html", QFile::encodeName(At("site/q.html")).constData()),
            0);
    }
    QString Copy() const { return At("site/Kelvane Backup/p.html"); }
    // Every entry of a JSON report with its status.
    static QStringList Statuses(const QByteArray& json) {
        QStringList statuses;
        for (const QJsonValue& file : QJsonDocument::fromJson(json).object()["files"].toArray())
            statuses << file["status"].toString();
        return statuses;
    }

    QByteArray tidied;
};

} // namespace

TEST_F(BackupCopies, AreNeverTidiedOrRestoredHoweverTheRunReachesThem) {
    const struct {
        QStringList arguments;
        const char* in; // where the program runs, below the work folder; null: the work folder
    } cases[] = {
        {{"tidy", "site/Kelvane Backup//p.html"}, nullptr},
        {{"tidy", "site/Kelvane Backup/./p.html"}, nullptr},
        {{"tidy", "site/q.html"}, nullptr}, // the user's own link to the copy
        {{"tidy", "-r", "site/Kelvane Backup/."}, nullptr},
        {{"tidy", "-r", "."}, "site/Kelvane Backup"},
        {{"tidy", "-r", "site"}, nullptr}, // the walk meets the link
        {{"restore", "site/Kelvane Backup//p.html"}, nullptr},
        {{"restore", "site/Kelvane Backup/./p.html"}, nullptr},
        {{"restore", "-r", "site/Kelvane Backup/."}, nullptr},
        {{"restore", "-r", "."}, "site/Kelvane Backup"},
    };
    for (const auto& c : cases) {
        const QString context = c.arguments.join(' ') + (c.in ? QString(" in ") + c.in : "");
        SCOPED_TRACE(context.toStdString());
        workingFolder = c.in ? At(QString::fromLatin1(c.in)) : QString();
        const BatchOutcome r = Run(c.arguments + QStringList{"-q", "--format", "json"});
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_TRUE(Statuses(r.out).contains("backup-copy")) << r.out.constData();
        EXPECT_TRUE(r.err.contains("backup")) << "a line says what happened: " << r.err.constData();
        EXPECT_EQ(ReadAll(Copy()), kOriginal);
        EXPECT_EQ(ReadAll(At("site/Kelvane Backup/Kelvane Backup/p.html")), kBackupOfTheCopy);
        EXPECT_EQ(ReadAll(At("site/p.html")), tidied);
        EXPECT_FALSE(QFileInfo::exists(At("site/Kelvane Backup/Kelvane Backup/Kelvane Backup")));
        EXPECT_TRUE(QFileInfo(At("site/q.html")).isSymLink());
    }
    workingFolder.clear();

    // A run killed between the two steps of a backup may leave the page and its backup on one
    // inode: tidying the page is then right, and its backup keeps the original.
    WriteAll(At("site/h.html"), kOriginal);
    ASSERT_EQ(::link(QFile::encodeName(At("site/h.html")).constData(),
                     QFile::encodeName(At("site/Kelvane Backup/h.html")).constData()),
              0);
    const BatchOutcome r = Run({"tidy", "-q", "--format", "json", "site/h.html"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(Statuses(r.out), QStringList{"tidied"});
    EXPECT_EQ(ReadAll(At("site/h.html")), tidied);
    EXPECT_EQ(ReadAll(At("site/Kelvane Backup/h.html")), kOriginal);
}

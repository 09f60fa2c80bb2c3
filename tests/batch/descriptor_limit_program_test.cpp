// kelvane-batch under a small limit of open files (ulimit -n): a small limit makes a smaller
// look-ahead, not failed files, and a limit too small for any run is said as what it is, with
// counts that add up to the list.

#include "BatchProgramFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace {

constexpr int kFolders = 30;
constexpr int kPagesPerFolder = 8;
constexpr int kPages = kFolders * kPagesPerFolder;

class DescriptorLimit : public BatchProgramTest {
protected:
    void SetUp() override {
        // The sanitizers' runtime needs descriptors of its own at moments the program cannot
        // foresee (its reports, the pipe through which it checks memory before it judges a
        // call): near the limit it fails before the program does. The plain build runs these.
        if (kAddressSanitizer)
            GTEST_SKIP() << "descriptor limits are not the program's alone under the sanitizers";
        BatchProgramTest::SetUp();
        // Many folders: each may hold a folder and a backup folder open.
        for (int folder = 0; folder < kFolders; ++folder) {
            ASSERT_TRUE(QDir().mkpath(At(QStringLiteral("site/f%1").arg(folder))));
            for (int page = 0; page < kPagesPerFolder; ++page)
                WriteAll(At(QStringLiteral("site/f%1/p%2.html").arg(folder).arg(page)),
                         QStringLiteral("<p>page %1 of %2\n<b>x").arg(page).arg(folder).toUtf8());
        }
        before = Snapshot("site");
    }
    // kelvane-batch with its soft and hard limit of open files set to `limit`.
    BatchOutcome RunLimited(int limit, const QStringList& arguments) {
        return Run(arguments + QStringList{"-r", "-q", "-j", "2", "--format", "json", "site"}, {},
                   {},
                   {"sh", "-c", QStringLiteral("ulimit -n %1 && exec \"$0\" \"$@\"").arg(limit)});
    }
    static QJsonObject Report(const BatchOutcome& r) {
        return QJsonDocument::fromJson(r.out).object();
    }
    static QMap<QString, int> Statuses(const QJsonObject& report) {
        QMap<QString, int> statuses;
        for (const QJsonValue& file : report["files"].toArray())
            ++statuses[file["status"].toString()];
        return statuses;
    }

    QMap<QString, QByteArray> before;
};

} // namespace

TEST_F(DescriptorLimit, ASmallLimitMakesASlowerRunThatStillDoesEveryFile) {
    for (const int limit : {20, 32}) {
        SCOPED_TRACE(limit);
        const BatchOutcome tidy = RunLimited(limit, {"tidy"});
        EXPECT_EQ(tidy.exitCode, 0) << tidy.err.left(2000).constData();
        EXPECT_EQ(Statuses(Report(tidy)), (QMap<QString, int>{{"tidied", kPages}}));
        const QMap<QString, QByteArray> now = Snapshot("site");
        int tidied = 0;
        for (auto [name, bytes] : now.asKeyValueRange())
            tidied += !name.contains("Kelvane Backup") && bytes != before.value(name) &&
                      now.value(QFileInfo(name).path() + "/Kelvane Backup/" +
                                QFileInfo(name).fileName()) == before.value(name);
        EXPECT_EQ(tidied, kPages) << "every page tidied, with its original as its backup";

        const BatchOutcome validate = RunLimited(limit, {"validate"});
        EXPECT_LE(validate.exitCode, 1) << validate.err.left(2000).constData();
        EXPECT_EQ(Report(validate)["counts"].toObject()["files"].toInt(), kPages);
        EXPECT_EQ(Report(validate)["counts"].toObject()["failed"].toInt(), 0);

        const BatchOutcome restore = RunLimited(limit, {"restore"});
        EXPECT_EQ(restore.exitCode, 0) << restore.err.left(2000).constData();
        EXPECT_EQ(Statuses(Report(restore)), (QMap<QString, int>{{"restored", kPages}}));
        EXPECT_EQ(WithoutBackups(Snapshot("site")), before);
    }

}

TEST_F(DescriptorLimit, TooFewForOneHelperEndTheRunAtOnceAndSaySo) {
    // Too few for even one helper: the run ends at once, says why, and counts every entry as
    // not processed, none as unreadable.
    // With the result cache open (three descriptors of its own) even the rest of the walk may
    // not be countable: then the count says it is a lower bound.
    for (const bool cache : {false, true}) {
        for (const char* command : {"tidy", "validate"}) {
            SCOPED_TRACE(std::string(command) + (cache ? " with the cache" : " without it"));
            QStringList arguments{QString::fromLatin1(command)};
            if (!cache)
                arguments << "--no-cache";
            const BatchOutcome r = RunLimited(10, arguments);
            EXPECT_EQ(r.exitCode, 3);
            EXPECT_TRUE(r.err.contains("no file descriptor left") ||
                        r.err.contains("Too many open files"))
                << r.err.left(2000).constData();
            const QJsonObject report = Report(r);
            const QJsonObject counts = report["counts"].toObject();
            const qint64 counted =
                report["files"].toArray().size() + counts["notProcessed"].toInt();
            EXPECT_EQ(Statuses(report).value("unreadable"), 0);
            if (!cache || !counts["notProcessedAtLeast"].toBool()) {
                EXPECT_EQ(counted, kPages) << r.out.left(2000).constData();
                EXPECT_FALSE(counts["notProcessedAtLeast"].toBool());
            } else {
                EXPECT_LT(counted, kPages) << "a lower bound";
                EXPECT_TRUE(report["summary"].toString().contains("At least "))
                    << r.out.left(2000).constData();
            }
        }
    }
    EXPECT_EQ(WithoutBackups(Snapshot("site")), before);
}

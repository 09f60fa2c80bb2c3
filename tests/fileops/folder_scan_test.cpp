#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "fileops/FileMask.h"
#include "fileops/FolderScan.h"

#include <QDir>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class CountingObserver final : public ScanObserver {
public:
    void FolderEntered(const QString& folder) override { folders << folder; }
    void CountChanged(qsizetype count) override { lastCount = count; }
    bool KeepGoing() override { return ++entries <= stopAfter; }

    QStringList folders;
    qsizetype lastCount = -1;
    int entries = 0;
    int stopAfter = 1 << 30;
};

class FolderScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path() + QLatin1Char('/');
        for (const char* name : {"a.htm", "b.html", "c.txt", ".hidden.htm", "sub/d.htm",
                                 "sub/deeper/e.HTM", ".secret/f.htm", "Kelvane Backup/a.htm"}) {
            const QString path = root + QString::fromUtf8(name);
            QDir().mkpath(QFileInfo(path).path());
            WriteAll(path, "<p>x");
        }
        QDir().mkpath(root + QStringLiteral("empty"));
    }
    QTemporaryDir dir;
    QString root;
};

TEST_F(FolderScanTest, FindsEveryMatchDepthFirstIncludingHiddenAndBackupFolders) {
    QStringList found{QStringLiteral("/already/there.htm")};
    CountingObserver observer;
    EXPECT_TRUE(ScanDirectory(dir.path(), MaskList(QStringLiteral("*.htm")), found, observer));
    EXPECT_EQ(found.takeFirst(), QStringLiteral("/already/there.htm"));
    QStringList relative;
    for (const QString& path : found)
        relative << path.mid(root.size());
    relative.sort();
    EXPECT_EQ(relative, QStringList({".hidden.htm", ".secret/f.htm", "Kelvane Backup/a.htm",
                                     "a.htm", "sub/d.htm", "sub/deeper/e.HTM"}));
    EXPECT_EQ(observer.lastCount, 7); // the whole target list, earlier entries included
    EXPECT_EQ(observer.folders.first(), root);
    // A sub-folder's files stand together, where the sub-folder was met.
    const qsizetype d = found.indexOf(root + QStringLiteral("sub/d.htm"));
    const qsizetype e = found.indexOf(root + QStringLiteral("sub/deeper/e.HTM"));
    EXPECT_EQ(std::abs(d - e), 1);
}

TEST_F(FolderScanTest, StopsWhenToldAndNeverFollowsLinkedFolders) {
    ASSERT_EQ(::symlink(".", (root + QStringLiteral("sub/loop")).toUtf8().constData()), 0);
    ASSERT_EQ(::symlink("a.htm", (root + QStringLiteral("link.htm")).toUtf8().constData()), 0);
    QStringList found;
    CountingObserver all;
    EXPECT_TRUE(ScanDirectory(root, MaskList(QStringLiteral("*.htm")), found, all));
    EXPECT_TRUE(found.contains(root + QStringLiteral("link.htm")));
    EXPECT_EQ(found.size(), 7);

    QStringList partial;
    CountingObserver stopping;
    stopping.stopAfter = 2;
    EXPECT_FALSE(ScanDirectory(root, MaskList(QStringLiteral("*")), partial, stopping));
    EXPECT_LE(partial.size(), 2);
}

TEST_F(FolderScanTest, PlainScannerReportsMalformedMasksAndMissingFolders) {
    ScriptedPrompts prompts;
    ScopedPrompts scoped(prompts);
    PlainFolderScanner scanner;
    QStringList found;
    EXPECT_FALSE(scanner.ScanFolder(root + QStringLiteral("missing"), QStringLiteral("*"), found));
    EXPECT_TRUE(prompts.asked.isEmpty());
    EXPECT_TRUE(scanner.ScanFolder(root, QStringLiteral("[a"), found));
    EXPECT_TRUE(found.isEmpty());
    EXPECT_EQ(prompts.messages(), QStringList({"'[a' is an invalid mask at (3)"}));
    // An empty filter has no masks and finds nothing.
    EXPECT_TRUE(scanner.ScanFolder(root, QString(), found));
    EXPECT_TRUE(found.isEmpty());
}

TEST_F(FolderScanTest, WalkerYieldsTheScansMatchesOneAtATime) {
    ASSERT_EQ(::symlink(".", (root + QStringLiteral("sub/loop")).toUtf8().constData()), 0);
    const QStringList masks = MaskList(QStringLiteral("*.htm;*.html"));
    QStringList scanned;
    CountingObserver observer;
    ScanDirectory(dir.path(), masks, scanned, observer);

    const auto walk = [&](const QString& folder, FolderWalker::SkipFolder skip) {
        QStringList walked;
        FolderWalker walker(folder, masks, std::move(skip));
        while (std::optional<FolderWalker::Found> found = walker.Next()) {
            EXPECT_EQ(found->error, 0) << found->path.toStdString();
            walked << found->path;
        }
        return walked;
    };
    EXPECT_EQ(walk(dir.path(), {}), scanned); // the same files in the same order

    QStringList expected = scanned;
    expected.removeIf([](const QString& path) { return path.contains(QLatin1String("/sub/")); });
    EXPECT_EQ(walk(root, [](const QString& name) { return name == QLatin1String("sub"); }),
              expected);

    // A folder that cannot be read is named with its reason, once.
    FolderWalker missing(root + QStringLiteral("missing"), masks);
    const std::optional<FolderWalker::Found> found = missing.Next();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->path, root + QStringLiteral("missing/"));
    EXPECT_EQ(found->error, ENOENT);
    EXPECT_FALSE(missing.Next());
}

} // namespace

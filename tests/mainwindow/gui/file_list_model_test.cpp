// The file list's model: its columns, filter and the item model contract.

#include "common/TestSupport.h"
#include "mainwindow/gui/FileListModel.h"
#include "platform/FileNames.h"
#include "support/Translation.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLocale>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(FileListModel, SizeIsWholeKilobytesRoundedUp) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const struct {
        qint64 bytes;
        const char* text;
    } cases[] = {{0, "0KB"}, {1, "1KB"}, {1024, "1KB"}, {1025, "2KB"}, {5000000, "4,883KB"}};
    for (const auto& c : cases)
        EXPECT_EQ(FileListModel::SizeText(c.bytes), QString::fromLatin1(c.text)) << c.bytes;
    QLocale::setDefault(saved);
}

TEST(FileListModel, ListsMatchingFilesAndEveryFolderUnderTheModelContract) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("sub.txt")));
    for (const char* name : {"a.html", "b.HTM", "c.txt", "d.php", "e.phpx", ".hidden.htm"})
        WriteAll(dir.filePath(QString::fromLatin1(name)), QByteArray(2000, 'x'));
    // A name that is not UTF-8 keeps its bytes in the item's path; a pipe is listed, not read.
    const QByteArray odd = platform::EncodeFileName(dir.path()) + "/caf\xe9.html";
    ASSERT_GE(::close(::open(odd.constData(), O_CREAT | O_WRONLY, 0644)), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe.html"))), 0600), 0);

    FileListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto names = [&] {
        QStringList out;
        for (int row = 0; row < model.rowCount(); ++row)
            out << model.index(row, FileListModel::ColName).data().toString();
        return out;
    };
    model.SetFolder(dir.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.Loaded(); }));
    EXPECT_EQ(names(), (QStringList{"sub.txt", ".hidden.htm", "a.html", "b.HTM", "caf\\xe9.html",
                                    "d.php", "pipe.html"}));
    EXPECT_EQ(model.FilePath(model.index(4, 0)), platform::DecodeFileName(odd));
    EXPECT_EQ(model.index(2, FileListModel::ColSize).data().toString(), QStringLiteral("2KB"));
    EXPECT_EQ(model.index(0, FileListModel::ColSize).data().toString(), QString());

    // Sorting keeps folders first; the files follow the column.
    WriteAll(dir.filePath(QStringLiteral("a.html")), QByteArray(9000, 'x'));
    model.Refresh();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.Loaded(); }));
    model.sort(FileListModel::ColSize, Qt::DescendingOrder);
    EXPECT_EQ(names().mid(0, 2), (QStringList{"sub.txt", "a.html"}));
    model.sort(FileListModel::ColName, Qt::AscendingOrder);

    EXPECT_EQ(model.headerData(FileListModel::ColSize, Qt::Horizontal).toString(), "Size");
    EXPECT_TRUE(
        model.setHeaderData(FileListModel::ColSize, Qt::Horizontal, QStringLiteral("Taille")));
    EXPECT_EQ(model.headerData(FileListModel::ColSize, Qt::Horizontal).toString(), "Taille");

    EXPECT_TRUE(model.SetFileFilter(QStringLiteral("*.txt;[")).contains("invalid mask"));
    model.SetShowHidden(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.Loaded(); }));
    EXPECT_EQ(names(), (QStringList{"sub.txt", "c.txt"}));

    // Changes on disk reach the list by themselves.
    WriteAll(dir.filePath(QStringLiteral("new.txt")), "x");
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount() == 3; }));
    EXPECT_EQ(names(), (QStringList{"sub.txt", "c.txt", "new.txt"}));
    ::unlink(odd.constData()); // a name Qt cannot remove
}

TEST(FileListModel, ARefreshWhileTheFirstReadRunsListsEachEntryOnce) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    constexpr int kFiles = 6000; // many chunks, so the refresh lands between two of them
    for (int i = 0; i < kFiles; ++i)
        ASSERT_GE(::close(::open(QFile::encodeName(dir.filePath(QStringLiteral("p%1.html").arg(i))),
                                 O_CREAT | O_WRONLY, 0644)),
                  0);
    FileListModel model;
    model.sort(FileListModel::ColSize, Qt::DescendingOrder);
    model.SetFolder(dir.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount() > 0; }));
    if (model.Loaded())
        GTEST_SKIP() << "the folder was read in one go; nothing to refresh in between";
    model.Refresh();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.Loaded(); }));
    QSet<QString> names;
    for (int row = 0; row < model.rowCount(); ++row)
        names.insert(model.index(row, FileListModel::ColName).data().toString());
    EXPECT_EQ(model.rowCount(), kFiles);
    EXPECT_EQ(names.size(), kFiles);
}

} // namespace

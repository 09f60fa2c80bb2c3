// The file list's model: its columns, filter and the item model contract.

#include "common/TestSupport.h"
#include "mainwindow/gui/FileListModel.h"
#include "platform/FileNames.h"
#include "support/Translation.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFileSystemModel>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <fcntl.h>
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
    for (const char* name : {"a.html", "b.HTM", "c.txt", "d.php", "e.phpx"})
        WriteAll(dir.filePath(QString::fromLatin1(name)), QByteArray(2000, 'x'));
    // Qt's file-system model cannot name a file whose name is not UTF-8: it is left out
    // rather than shown under a name that leads nowhere.
    const QByteArray odd = platform::EncodeFileName(dir.path()) + "/caf\xe9.html";
    ASSERT_GE(::close(::open(odd.constData(), O_CREAT | O_WRONLY, 0644)), 0);

    FileListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    // Proxy indexes move as rows arrive; the folder is held by a persistent one.
    const QPersistentModelIndex root(model.SetFolder(dir.path()));
    ASSERT_TRUE(root.isValid());
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount(root) == 4; }));

    QStringList names;
    QStringList paths;
    for (int row = 0; row < model.rowCount(root); ++row) {
        const QModelIndex index = model.index(row, FileListModel::ColName, root);
        names << index.data().toString();
        paths << model.FilePath(index);
    }
    names.sort();
    EXPECT_EQ(names, (QStringList{"a.html", "b.HTM", "d.php", "sub.txt"}));
    EXPECT_TRUE(paths.contains(dir.filePath(QStringLiteral("a.html"))));

    EXPECT_EQ(model.headerData(FileListModel::ColSize, Qt::Horizontal).toString(), "Size");
    EXPECT_TRUE(model.setHeaderData(FileListModel::ColSize, Qt::Horizontal, QStringLiteral("Taille")));
    EXPECT_EQ(model.headerData(FileListModel::ColSize, Qt::Horizontal).toString(), "Taille");
    EXPECT_EQ(model.columnCount(root), 4);

    EXPECT_TRUE(model.SetFileFilter(QStringLiteral("*.txt;[")).contains("invalid mask"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount(root) == 2; }));
    for (int row = 0; row < 2; ++row) {
        const QModelIndex size = model.index(row, FileListModel::ColSize, root);
        const bool folder = model.IsFolder(size);
        EXPECT_EQ(size.data().toString(), folder ? QString() : QStringLiteral("2KB"));
        EXPECT_EQ(model.MarkOf(size), FileListModel::NoMark);
    }
    model.sort(FileListModel::ColName, Qt::DescendingOrder);
    EXPECT_EQ(model.rowCount(root), 2);
    ::unlink(odd.constData()); // a name Qt cannot remove
}

} // namespace

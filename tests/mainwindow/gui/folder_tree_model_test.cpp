// The folder tree's model: folders only, read off the interface thread, following the disk.

#include "common/TestSupport.h"
#include "mainwindow/gui/FolderTreeModel.h"
#include "platform/FileNames.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FolderTree : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (const char* folder : {"b", "A", "c/deep", ".hidden/inner"})
            ASSERT_TRUE(QDir(dir.path()).mkpath(QString::fromLatin1(folder)));
        WriteAll(dir.filePath(QStringLiteral("page.html")), "x"); // files are not listed
        ASSERT_EQ(::symlink("c", platform::EncodeFileName(dir.filePath("to-c")).constData()), 0);
        odd = platform::EncodeFileName(dir.path()) + "/caf\xe9";
        ASSERT_EQ(::mkdir(odd.constData(), 0755), 0);
        model = std::make_unique<FolderTreeModel>(dir.path());
        tester = std::make_unique<QAbstractItemModelTester>(
            model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    void TearDown() override { ::rmdir(odd.constData()); }

    // The names under `folder` once it has been read.
    QStringList Children(const QString& folder) {
        const QModelIndex index = model->IndexOf(folder);
        EXPECT_TRUE(index.isValid()) << folder.toStdString();
        if (model->canFetchMore(index))
            model->fetchMore(index);
        EXPECT_TRUE(QTest::qWaitFor([&] { return model->Idle(); }));
        QStringList names;
        for (int row = 0; row < model->rowCount(index); ++row)
            names << model->index(row, 0, index).data().toString();
        return names;
    }

    QTemporaryDir dir;
    QByteArray odd;
    // Rooted in the test's folder, made once the folders are there: the tester opens every
    // folder it finds.
    std::unique_ptr<FolderTreeModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST_F(FolderTree, ListsFoldersInNameOrderAndKeepsOddNames) {
    // A name that is not UTF-8 shows its odd byte escaped, and its path keeps the byte.
    EXPECT_EQ(Children(dir.path()), (QStringList{".hidden", "A", "b", "c", "caf\\xe9", "to-c"}));

    // Before they are read, only folders that hold folders offer to open (a link counts).
    auto child = [&](const char* name) {
        return model->IndexOf(dir.filePath(QString::fromLatin1(name)));
    };
    for (const char* leaf : {"A", "b"})
        EXPECT_FALSE(model->hasChildren(child(leaf))) << leaf;
    EXPECT_FALSE(model->hasChildren(model->IndexOf(platform::DecodeFileName(odd))));
    for (const char* holder : {"c", "to-c", ".hidden"})
        EXPECT_TRUE(model->hasChildren(child(holder))) << holder;

    // The way to a folder is there at once, its path keeps the name's bytes.
    const QModelIndex deep = model->IndexOf(dir.filePath(QStringLiteral("c/deep")));
    ASSERT_TRUE(deep.isValid());
    EXPECT_EQ(model->FilePath(deep), dir.filePath(QStringLiteral("c/deep")));
    EXPECT_EQ(model->FilePath(deep.parent().parent()), dir.path());
    EXPECT_EQ(
        platform::EncodeFileName(model->FilePath(model->IndexOf(platform::DecodeFileName(odd)))),
        odd);
    EXPECT_EQ(model->FilePath(model->index(0, 0)), dir.path());
    EXPECT_FALSE(model->IndexOf(QStringLiteral("/")).isValid()); // above the root

    // A folder read empty offers nothing to open.
    EXPECT_EQ(Children(dir.filePath(QStringLiteral("c/deep"))), QStringList());
    EXPECT_FALSE(model->hasChildren(deep));

    EXPECT_FALSE(model->IndexOf(dir.filePath(QStringLiteral("missing"))).isValid());
    EXPECT_FALSE(model->IndexOf(dir.filePath(QStringLiteral("page.html"))).isValid());
}

TEST_F(FolderTree, HiddenFoldersGoAndComeBack) {
    const QModelIndex inner = model->IndexOf(dir.filePath(QStringLiteral(".hidden/inner")));
    ASSERT_TRUE(inner.isValid());
    const QPersistentModelIndex kept = model->IndexOf(dir.filePath(QStringLiteral("A")));
    Children(dir.path());

    model->SetShowHidden(false);
    EXPECT_FALSE(model->IndexOf(dir.filePath(QStringLiteral(".hidden/inner"))).isValid());
    EXPECT_EQ(Children(dir.path()).first(), QStringLiteral("A"));
    EXPECT_TRUE(kept.isValid()); // rows that stay keep their identity

    model->SetShowHidden(true);
    EXPECT_EQ(Children(dir.path()).first(), QStringLiteral(".hidden"));
}

TEST_F(FolderTree, FollowsFoldersMadeAndRemovedOnDisk) {
    Children(dir.path());
    QSignalSpy loaded(model.get(), &FolderTreeModel::FolderLoaded);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("B2")));
    ASSERT_TRUE(QDir(dir.filePath(QStringLiteral("b"))).removeRecursively());
    const QModelIndex top = model->IndexOf(dir.path());
    auto names = [&] {
        QStringList out;
        for (int row = 0; row < model->rowCount(top); ++row)
            out << model->index(row, 0, top).data().toString();
        return out;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return names().contains("B2") && !names().contains("b"); }))
        << names().join(' ').toStdString();
}

} // namespace

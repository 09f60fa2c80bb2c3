// The navigation history and the folder identifiers it holds.

#include "common/TestSupport.h"
#include "mainwindow/FolderIds.h"
#include "mainwindow/TPIDLHistory.h"
#include "platform/FileNames.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(History, NewVisitAfterGoingBackDropsTheEntriesAhead) {
    TPIDLHistory history;
    EXPECT_FALSE(history.CanBack());
    EXPECT_FALSE(history.CanForward());
    EXPECT_FALSE(history.Back().has_value());
    EXPECT_FALSE(history.Peek(-1).has_value());

    for (const char* folder : {"/a", "/b", "/c"})
        history.AddCopy(QString::fromLatin1(folder));
    EXPECT_EQ(history.Back(), QStringLiteral("/b"));
    EXPECT_EQ(history.Peek(1), QStringLiteral("/c"));
    EXPECT_EQ(history.Back(), QStringLiteral("/a"));
    EXPECT_FALSE(history.CanBack());
    EXPECT_FALSE(history.Back().has_value()); // no move past the start
    EXPECT_EQ(history.CurrentPosition(), 0);

    history.AddCopy(QStringLiteral("/d"));
    EXPECT_EQ(history.Entries(), (QStringList{"/a", "/d"}));
    EXPECT_EQ(history.CurrentPosition(), 1);
    EXPECT_FALSE(history.CanForward());
    EXPECT_TRUE(history.CanBack());
    EXPECT_FALSE(history.CanBack(2));
}

TEST(History, RecordsEveryVisitAndNothingEmpty) {
    TPIDLHistory history;
    EXPECT_FALSE(history.AddCopy(QString()).has_value());
    history.AddCopy(QStringLiteral("/a/"));
    history.AddCopy(QStringLiteral("/a"));
    EXPECT_EQ(history.Entries(), (QStringList{"/a", "/a"})); // never merged
    EXPECT_EQ(history.Forward(), std::nullopt);
    history.Back();
    EXPECT_EQ(history.Forward(), QStringLiteral("/a"));
    history.Clear();
    EXPECT_EQ(history.Count(), 0);
    EXPECT_EQ(history.CurrentPosition(), 0);
}

TEST(FolderIds, CopySplitAndCompare) {
    struct Case {
        const char* path;
        const char* copy;
        const char* parent;
        const char* last;
        const char* display;
    };
    const Case cases[] = {
        {"/", "/", "", "", "/"},
        {"/home", "/home", "/", "home", "home"},
        {"/home/user/site/", "/home/user/site", "/home/user", "site", "site"},
        {"/a/./b/../c", "/a/c", "/a", "c", "c"},
        {"/My Documents/page one.html", "/My Documents/page one.html", "/My Documents",
         "page one.html", "page one.html"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const QString path = QString::fromUtf8(c.path);
        EXPECT_EQ(IdListCopy(path), QString::fromUtf8(c.copy));
        EXPECT_EQ(IdListSplit(path).parent, QString::fromUtf8(c.parent));
        EXPECT_EQ(IdListSplit(path).last, QString::fromUtf8(c.last));
        EXPECT_EQ(IdListDisplayName(path), QString::fromUtf8(c.display));
    }
    EXPECT_TRUE(IdListEqual(QStringLiteral("/a/b/"), QStringLiteral("/a/./b")));
    EXPECT_FALSE(IdListEqual(QStringLiteral("/a/B"), QStringLiteral("/a/b"))); // names have case
    EXPECT_TRUE(IdListIsRoot(QStringLiteral("/")));
    EXPECT_FALSE(IdListIsRoot(QStringLiteral("/tmp")));
}

TEST(FolderIds, ValidOnlyForFoldersThatStillExist) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString odd = dir.path() + QLatin1Char('/') + platform::DecodeFileName("caf\xe9");
    ASSERT_EQ(::mkdir(platform::EncodeFileName(odd).constData(), 0755), 0);
    WriteAll(dir.filePath(QStringLiteral("page.html")), "x");
    EXPECT_TRUE(IdListIsValid(dir.path()));
    EXPECT_TRUE(IdListIsValid(odd));
    EXPECT_TRUE(IdListIsValid(QStringLiteral("/")));
    EXPECT_FALSE(IdListIsValid(dir.filePath(QStringLiteral("page.html"))));
    EXPECT_FALSE(IdListIsValid(dir.filePath(QStringLiteral("gone"))));
    EXPECT_FALSE(IdListIsValid(QString()));
    ::rmdir(platform::EncodeFileName(odd).constData()); // a name Qt cannot remove
}

} // namespace

// Whole-file reads and writes, and the validation road through a file.

#include "common/TestSupport.h"
#include "engine/TidyEngine.h"
#include "engine/TidyOptionSet.h"
#include "support/Errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

mode_t ModeOf(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    return st.st_mode & 07777;
}

QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

template <typename F> QString ErrorFrom(F&& call) {
    try {
        call();
    } catch (const KelvaneError& e) {
        return e.message();
    }
    return QStringLiteral("(no error)");
}

} // namespace

TEST(ReadFileText, ReturnsEveryByteIncludingNulAndHighBytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page.html"));
    const QByteArray bytes("<p>caf\xe9</p>\0tail\r\n", 18);
    WriteAll(path, bytes);
    EXPECT_EQ(ReadFileText(path), bytes);

    QByteArray large(3 * 1024 * 1024 + 17, 'x');
    WriteAll(path, large);
    EXPECT_EQ(ReadFileText(path), large);
}

TEST(ReadFileText, MissingFilesFoldersAndPipesAreOpenErrors) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing.html"));
    const QString error = ErrorFrom([&] { ReadFileText(missing); });
    EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot open file \"") + missing))
        << error.toStdString();

    EXPECT_TRUE(ErrorFrom([&] {
                    ReadFileText(dir.path());
                }).startsWith(QStringLiteral("Cannot open file")));

    // A FIFO would block a plain read until some writer came along.
    const QString fifo = dir.filePath(QStringLiteral("pipe.html"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_TRUE(
        ErrorFrom([&] { ReadFileText(fifo); }).startsWith(QStringLiteral("Cannot open file")));
}

TEST(WriteFileText, CreatesANewFileWithTheUsualPermissions) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new.html"));
    const mode_t mask = ::umask(022);
    WriteFileText(path, QByteArray("<p>new\0x", 8));
    ::umask(mask);
    EXPECT_EQ(ReadAll(path), QByteArray("<p>new\0x", 8));
    EXPECT_EQ(ModeOf(path), mode_t(0644));
    EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("new.html")});
}

TEST(WriteFileText, ReplacesTheContentAndKeepsPermissionBits) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page.html"));
    WriteAll(path, "a much longer old content than the new one");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    WriteFileText(path, "short");
    EXPECT_EQ(ReadAll(path), "short");
    EXPECT_EQ(ModeOf(path), mode_t(0640));
    WriteFileText(path, QByteArray());
    EXPECT_EQ(ReadAll(path), QByteArray());
    EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("page.html")});
}

TEST(WriteFileText, ReadOnlyTargetFailsAndKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("locked.html"));
    WriteAll(path, "old");
    SetReadOnly(path, true);
    const QString error = ErrorFrom([&] { WriteFileText(path, "new"); });
    EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot create file \"") + path))
        << error.toStdString();
    EXPECT_EQ(ReadAll(path), "old");
    EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("locked.html")});
}

TEST(WriteFileText, MissingFolderOrAFolderInTheWayFailsWithoutLeftovers) {
    QTemporaryDir dir;
    const QString inMissing = dir.filePath(QStringLiteral("gone/page.html"));
    EXPECT_TRUE(ErrorFrom([&] {
                    WriteFileText(inMissing, "x");
                }).startsWith(QStringLiteral("Cannot create file")));
    EXPECT_FALSE(QFile::exists(inMissing));

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.html")));
    EXPECT_TRUE(ErrorFrom([&] {
                    WriteFileText(dir.filePath(QStringLiteral("folder.html")), "x");
                }).startsWith(QStringLiteral("Cannot create file")));
    EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("folder.html")});
}

TEST(WriteFileText, WritesThroughASymbolicLink) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("real.html"));
    const QString link = dir.filePath(QStringLiteral("link.html"));
    WriteAll(target, "old");
    ASSERT_TRUE(QFile::link(target, link));
    WriteFileText(link, "new");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadAll(target), "new");
}

TEST(RunTidyOnFile, EmptiesMessagesAndReportsTheFilesProblems) {
    CurrentOptionSet() = {};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page.html"));
    const QByteArray content("<title>t</title><p>text");
    WriteAll(path, content);
    QString messages = QStringLiteral("stale");
    EXPECT_TRUE(RunTidyOnFile(path, messages));
    EXPECT_TRUE(messages.startsWith(
        QStringLiteral("Line 1, Column 1 - Warninig: missing <!DOCTYPE> declaration\r\n")));
    EXPECT_EQ(ReadAll(path), content); // validation leaves the file alone

    messages = QStringLiteral("stale");
    EXPECT_THROW(RunTidyOnFile(dir.filePath(QStringLiteral("missing.html")), messages),
                 KelvaneError);
    EXPECT_TRUE(messages.isEmpty());
}

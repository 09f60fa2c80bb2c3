#include "common/TestSupport.h"
#include "platform/FileFunctions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace {

class FileFunctions : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

mode_t ModeOf(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    return st.st_mode & 07777;
}

} // namespace

TEST_F(FileFunctions, AttributesTellFilesFoldersAndTheOwnersWriteBit) {
    WriteAll(path("a.html"), "x");
    QDir(dir.path()).mkdir("sub");

    EXPECT_TRUE(FileExists(path("a.html")));
    EXPECT_FALSE(FileExists(path("sub")));
    EXPECT_FALSE(FileExists(path("missing")));
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_TRUE(FolderExists(path("sub")));
    EXPECT_FALSE(FolderExists(path("a.html")));

    ASSERT_TRUE(GetAttributes(path("a.html")).has_value());
    EXPECT_FALSE(GetAttributes(path("a.html"))->folder);
    EXPECT_FALSE(GetAttributes(path("a.html"))->readOnly);
    EXPECT_TRUE(GetAttributes(path("sub"))->folder);
    EXPECT_FALSE(GetAttributes(path("missing")).has_value());

    // Running as root must not hide the read-only bit.
    SetReadOnly(path("a.html"), true);
    EXPECT_TRUE(GetAttributes(path("a.html"))->readOnly);
    EXPECT_TRUE(IsReadOnly(path("a.html")));
    EXPECT_FALSE(IsReadOnly(path("missing")));
}

TEST_F(FileFunctions, LinksToFilesCountAsFiles) {
    WriteAll(path("target.html"), "x");
    ASSERT_EQ(::symlink(QFile::encodeName(path("target.html")).constData(),
                        QFile::encodeName(path("link.html")).constData()),
              0);
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(path("dangling")).constData()), 0);
    EXPECT_TRUE(FileExists(path("link.html")));
    EXPECT_FALSE(FileExists(path("dangling")));
}

TEST_F(FileFunctions, DeleteRefusesReadOnlyFilesAndFolders) {
    WriteAll(path("a.html"), "x");
    SetReadOnly(path("a.html"), true);
    QString error;
    EXPECT_FALSE(DeleteFile(path("a.html"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(FileExists(path("a.html")));

    SetReadOnly(path("a.html"), false);
    EXPECT_TRUE(DeleteFile(path("a.html")));
    EXPECT_FALSE(FileExists(path("a.html")));
    EXPECT_FALSE(DeleteFile(path("a.html"), &error)) << "nothing left to delete";

    QDir(dir.path()).mkdir("sub");
    EXPECT_FALSE(DeleteFile(path("sub")));
    EXPECT_TRUE(FolderExists(path("sub")));
}

TEST_F(FileFunctions, CopyKeepsExactBytesModeAndTimeAndNeverOverwrites) {
    QByteArray bytes;
    for (int i = 0; i < 200000; ++i)
        bytes.append(char(i * 7 % 256)); // larger than one buffer, with zero bytes
    WriteAll(path("src.html"), bytes);
    ASSERT_EQ(::chmod(QFile::encodeName(path("src.html")).constData(), 0640), 0);
    const struct timespec times[2] = {{1000000000, 0}, {1100000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path("src.html")).constData(), times, 0), 0);

    ASSERT_TRUE(CopyFileNoReplace(path("src.html"), path("copy.html")));
    EXPECT_EQ(ReadAll(path("copy.html")), bytes);
    EXPECT_EQ(ModeOf(path("copy.html")), mode_t(0640));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path("copy.html")).constData(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1100000000);

    WriteAll(path("other.html"), "keep me");
    QString error;
    EXPECT_FALSE(CopyFileNoReplace(path("src.html"), path("other.html"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ReadAll(path("other.html")), "keep me");
}

TEST_F(FileFunctions, CopyFailsForMissingSourcesAndFoldersWithoutLeavingATarget) {
    EXPECT_FALSE(CopyFileNoReplace(path("missing"), path("copy")));
    EXPECT_FALSE(QFile::exists(path("copy")));
    QDir(dir.path()).mkdir("sub");
    EXPECT_FALSE(CopyFileNoReplace(path("sub"), path("copy")));
    EXPECT_FALSE(QFile::exists(path("copy")));
    WriteAll(path("a"), "x");
    EXPECT_FALSE(CopyFileNoReplace(path("a"), path("no/such/folder/a")));
}

TEST_F(FileFunctions, MoveNoReplaceRefusesAnExistingTarget) {
    WriteAll(path("a"), "A");
    WriteAll(path("b"), "B");
    EXPECT_FALSE(MoveFileNoReplace(path("a"), path("b")));
    EXPECT_EQ(ReadAll(path("a")), "A");
    EXPECT_EQ(ReadAll(path("b")), "B");

    ASSERT_TRUE(MoveFileNoReplace(path("a"), path("c")));
    EXPECT_FALSE(QFile::exists(path("a")));
    EXPECT_EQ(ReadAll(path("c")), "A");

    QDir(dir.path()).mkdir("folder");
    EXPECT_TRUE(MoveFileNoReplace(path("folder"), path("renamed")));
    EXPECT_TRUE(FolderExists(path("renamed")));
    EXPECT_FALSE(MoveFileNoReplace(path("missing"), path("d")));
}

TEST_F(FileFunctions, MoveReplaceSwapsInOneStepButRespectsReadOnlyTargets) {
    WriteAll(path("new"), "NEW");
    WriteAll(path("old"), "OLD");
    ASSERT_TRUE(MoveFileReplace(path("new"), path("old")));
    EXPECT_EQ(ReadAll(path("old")), "NEW");
    EXPECT_FALSE(QFile::exists(path("new")));

    WriteAll(path("new"), "NEWER");
    SetReadOnly(path("old"), true);
    EXPECT_FALSE(MoveFileReplace(path("new"), path("old")));
    EXPECT_EQ(ReadAll(path("old")), "NEW");
    EXPECT_EQ(ReadAll(path("new")), "NEWER");

    QDir(dir.path()).mkdir("folder");
    EXPECT_FALSE(MoveFileReplace(path("new"), path("folder")));
    EXPECT_TRUE(FolderExists(path("folder")));
    EXPECT_TRUE(MoveFileReplace(path("new"), path("fresh")));
}

TEST_F(FileFunctions, FoldersAreCreatedOneByOne) {
    EXPECT_TRUE(CreateFolder(path("one")));
    EXPECT_FALSE(CreateFolder(path("one"))) << "already there";
    EXPECT_FALSE(CreateFolder(path("x/y"))) << "parent missing";

    EXPECT_TRUE(CreateFolderWithParents(path("a/b/c/")));
    EXPECT_TRUE(FolderExists(path("a/b/c")));
    EXPECT_TRUE(CreateFolderWithParents(path("a/b/c"))) << "an existing folder is fine";

    WriteAll(path("file"), "x");
    QString error;
    EXPECT_FALSE(CreateFolderWithParents(path("file/sub"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(CreateFolderWithParents(QString()));
}

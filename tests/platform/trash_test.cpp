// The desktop trash: where a copy goes, what its record says, and that nothing is half made.

#include "common/TestSupport.h"
#include "platform/FileNames.h"
#include "platform/Trash.h"
#include "platform/UniqueFd.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace {

class Trash : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        data = dir.filePath("data");
        qputenv("XDG_DATA_HOME", QFile::encodeName(data));
        ASSERT_TRUE(QDir().mkpath(dir.filePath("site")));
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", saved); }

    // Trashes the file `name` of `folder`, as restore does: through descriptors.
    std::optional<QString> TrashFile(const QString& folder, const QByteArray& name,
                                     int* error = nullptr) {
        const UniqueFd folderFd(
            ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        const UniqueFd file(::openat(folderFd.get(), name.constData(), O_RDONLY | O_CLOEXEC));
        EXPECT_GE(file.get(), 0);
        return TrashCopy(file.get(), folderFd.get(), name, error);
    }
    QStringList Entries(const QString& folder) const {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                      QDir::Name);
    }

    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    QTemporaryDir dir;
    QString data;
};

QByteArray Record(const QByteArray& escapedPath) {
    return "[Trash Info]\nPath=" + escapedPath + "\nDeletionDate=";
}

const QRegularExpression
    kDeletionDate(QStringLiteral(R"(\nDeletionDate=\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\n$)"));

} // namespace

TEST_F(Trash, ACopyOfEveryByteGoesToTheHomeTrashUnderANameOfItsOwn) {
    QByteArray bytes("<p>edited\0after tidying\r\n", 26);
    bytes += QByteArray(200 * 1024, 'x'); // more than one read's worth
    const QString page = dir.filePath("site/my page.html");
    WriteAll(page, bytes);

    const std::optional<QString> first = TrashFile(dir.filePath("site"), "my page.html");
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, data + "/Trash/files/my page.html");
    EXPECT_EQ(ReadAll(*first), bytes);
    EXPECT_EQ(ReadAll(page), bytes) << "the original stays for its caller to replace";
    const QByteArray record = ReadAll(data + "/Trash/info/my page.html.trashinfo");
    EXPECT_TRUE(record.startsWith(
        Record(QFile::encodeName(dir.filePath("site")).toPercentEncoding("/") + "/my%20page.html")))
        << record.constData();
    EXPECT_TRUE(kDeletionDate.match(QString::fromUtf8(record)).hasMatch()) << record.constData();

    // The same name again: both kept, each with its own record.
    WriteAll(page, "second");
    const std::optional<QString> second = TrashFile(dir.filePath("site"), "my page.html");
    ASSERT_TRUE(second);
    EXPECT_EQ(*second, data + "/Trash/files/my page.2.html");
    EXPECT_EQ(ReadAll(*second), "second");
    EXPECT_EQ(ReadAll(*first), bytes);
    EXPECT_EQ(Entries(data + "/Trash/info"),
              QStringList({"my page.2.html.trashinfo", "my page.html.trashinfo"}));
    struct stat trash {};
    ASSERT_EQ(::stat(QFile::encodeName(data + "/Trash").constData(), &trash), 0);
    EXPECT_EQ(trash.st_mode & 0777, 0700u) << "a trash is its user's alone";
}

TEST_F(Trash, ANameThatIsNotUtf8IsRecordedEscapedByteForByte) {
    const QByteArray name = "caf\xe9.html";
    const UniqueFd file(::open((QFile::encodeName(dir.filePath("site")) + "/" + name).constData(),
                               O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    ASSERT_EQ(::write(file.get(), "bytes", 5), 5);
    const std::optional<QString> copy = TrashFile(dir.filePath("site"), name);
    ASSERT_TRUE(copy);
    EXPECT_EQ(EncodeFileName(*copy), QFile::encodeName(data) + "/Trash/files/" + name);
    const UniqueFd record(
        ::open((QFile::encodeName(data) + "/Trash/info/" + name + ".trashinfo").constData(),
               O_RDONLY | O_CLOEXEC));
    char text[4096] = {};
    ASSERT_GT(::read(record.get(), text, sizeof text - 1), 0);
    EXPECT_TRUE(QByteArray(text).contains("/caf%E9.html\n")) << text;
}

TEST_F(Trash, WhereNoTrashCanBeMadeNothingIsLeftHalfWritten) {
    WriteAll(dir.filePath("site/a.html"), "edited");
    WriteAll(data, "a file where the data folder should be");
    int error = 0;
    EXPECT_FALSE(TrashFile(dir.filePath("site"), "a.html", &error));
    EXPECT_NE(error, 0);
    EXPECT_EQ(ReadAll(data), "a file where the data folder should be");
    EXPECT_EQ(ReadAll(dir.filePath("site/a.html")), "edited");

    if (::geteuid() != 0)
        return;
    // Root's trash that another user owns could be emptied or read by him: not used.
    QFile::remove(data);
    ASSERT_TRUE(QDir().mkpath(data + "/Trash"));
    ASSERT_EQ(::chown(QFile::encodeName(data + "/Trash").constData(), 65534, 65534), 0);
    EXPECT_FALSE(TrashFile(dir.filePath("site"), "a.html", &error));
    EXPECT_EQ(Entries(data + "/Trash"), QStringList());
}

TEST_F(Trash, AFileOnAnotherMountGoesToThatMountsTrash) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a file system of its own (tmpfs)";
    const QString mount = dir.filePath("mount");
    ASSERT_TRUE(QDir().mkpath(mount));
    if (::mount("none", QFile::encodeName(mount).constData(), "tmpfs", 0, "mode=0755") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(mount)};
    ASSERT_TRUE(QDir().mkpath(mount + "/site/sub"));
    WriteAll(mount + "/site/sub/a.html", "on the mount");

    // No shared trash there: $topdir/.Trash-$uid, and the path from the top.
    std::optional<QString> copy = TrashFile(mount + "/site/sub", "a.html");
    ASSERT_TRUE(copy);
    EXPECT_EQ(*copy, mount + "/.Trash-0/files/a.html");
    EXPECT_TRUE(
        ReadAll(mount + "/.Trash-0/info/a.html.trashinfo").startsWith(Record("site/sub/a.html")));
    EXPECT_FALSE(QFileInfo::exists(data + "/Trash")) << "the home trash is not used";

    // A shared trash that is a link, or has no sticky bit, is not used.
    ASSERT_TRUE(QDir().mkpath(dir.filePath("elsewhere")));
    ASSERT_EQ(::symlink(QFile::encodeName(dir.filePath("elsewhere")).constData(),
                        QFile::encodeName(mount + "/.Trash").constData()),
              0);
    copy = TrashFile(mount + "/site/sub", "a.html");
    ASSERT_TRUE(copy);
    EXPECT_EQ(*copy, mount + "/.Trash-0/files/a.2.html");
    EXPECT_EQ(Entries(dir.filePath("elsewhere")), QStringList());
    QFile::remove(mount + "/.Trash");
    ASSERT_TRUE(QDir().mkpath(mount + "/.Trash"));
    ASSERT_EQ(::chmod(QFile::encodeName(mount + "/.Trash").constData(), 0777), 0);
    copy = TrashFile(mount + "/site/sub", "a.html");
    ASSERT_TRUE(copy);
    EXPECT_EQ(*copy, mount + "/.Trash-0/files/a.3.html");
    EXPECT_EQ(Entries(mount + "/.Trash"), QStringList());

    // A sticky shared trash: $topdir/.Trash/$uid.
    ASSERT_EQ(::chmod(QFile::encodeName(mount + "/.Trash").constData(), 01777), 0);
    copy = TrashFile(mount + "/site/sub", "a.html");
    ASSERT_TRUE(copy);
    EXPECT_EQ(*copy, mount + "/.Trash/0/files/a.html");
    EXPECT_EQ(ReadAll(*copy), "on the mount");
}

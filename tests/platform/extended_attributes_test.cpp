// What a new file that takes another's place keeps of it: access list, user attributes, bits;
// and where that cannot be kept, that it says so instead of granting other access.

#include "common/AttributeTools.h"
#include "common/TestSupport.h"
#include "platform/ExtendedAttributes.h"
#include "platform/FileWriting.h"
#include "platform/UniqueFd.h"

#include <QDir>
#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace platform;

namespace {

mode_t ModeOf(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    return st.st_mode & 07777;
}

bool HasAttribute(const QString& path, const char* name) {
    return ::getxattr(QFile::encodeName(path).constData(), name, nullptr, 0) >= 0;
}

int Open(const QString& path, int flags, mode_t mode = 0600) {
    return ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC, mode);
}

class ExtendedAttributes : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_ATTRIBUTE_TOOLS();
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(dir.filePath("new")));
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(ExtendedAttributes, ANewFileKeepsWhatItsOriginalGrantsAndStoresAndNothingMore) {
    struct Case {
        const char* name;
        mode_t mode;                                          // the original's bits
        std::function<void(const QString& original)> prepare; // its list and attributes
        const char* folderDefault = nullptr; // a default list of the new file's folder
        QByteArray userAttributes;           // what the new file must hold of user.*
        const char* leftBehind = nullptr;    // an attribute the new file must not have
    };
    const Case cases[] = {
        {"an access list whose mask is wider than the group's own rights", 0644,
         [](const QString& f) { SetAcl(f, "u:nobody:rw,g::r"); }, nullptr, "", nullptr},
        {"a list that takes rights away from a named user", 0664,
         [](const QString& f) { SetAcl(f, "u:nobody:---,g:nogroup:r"); }, nullptr, "", nullptr},
        {"user attributes, but never our own", 0640,
         [](const QString& f) {
             SetAttribute(f, "user.origin", "https://example.org/");
             SetAttribute(f, "user.kelvane.tidied", "1 3 00");
         },
         nullptr, "user.origin=\"https://example.org/\"\n", "user.kelvane.tidied"},
        {"the kernel's own attributes (root's, as overlayfs keeps them) stay behind", 0644,
         [](const QString& f) {
             if (::geteuid() == 0)
                 SetAttribute(f, "trusted.overlay.opaque", "y");
             SetAttribute(f, "user.origin", "o");
         },
         nullptr, "user.origin=\"o\"\n", "trusted.overlay.opaque"},
        {"no list where the folder would give one", 0640, [](const QString&) {},
         "d:u:nobody:rwx,d:g::rwx,d:o::rwx", "", nullptr},
        {"a list where the folder would give another", 0660,
         [](const QString& f) { SetAcl(f, "u:nobody:r"); }, "d:u:nobody:rwx", "", nullptr},
        {"bits alone", 0604, [](const QString&) {}, nullptr, "", nullptr},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString original = dir.filePath(QStringLiteral("original-%1").arg(index));
        const QString folder = dir.filePath(QStringLiteral("new-%1").arg(index++));
        ASSERT_TRUE(QDir().mkpath(folder));
        WriteAll(original, "text");
        ASSERT_EQ(::chmod(QFile::encodeName(original).constData(), c.mode), 0);
        c.prepare(original);
        if (c.folderDefault)
            SetAcl(folder, QString::fromLatin1(c.folderDefault));
        const QString copy = folder + "/copy";
        const UniqueFd from(Open(original, O_RDONLY));
        const UniqueFd to(Open(copy, O_WRONLY | O_CREAT | O_EXCL, 0600));
        ASSERT_GE(to.get(), 0);
        bool attributeFailed = true;
        ASSERT_TRUE(
            CopyModeAndAttributes(from.get(), to.get(), ModeOf(original) & 0777, &attributeFailed));
        EXPECT_FALSE(attributeFailed);
        EXPECT_EQ(AclOf(copy), AclOf(original));
        EXPECT_EQ(ModeOf(copy), ModeOf(original)) << "the group bits are the mask again";
        EXPECT_EQ(UserAttributesOf(copy), c.userAttributes);
        if (c.leftBehind) {
            EXPECT_FALSE(HasAttribute(copy, c.leftBehind));
        }
    }
}

TEST_F(ExtendedAttributes, AFileSystemWithoutAttributesRefusesTheCopyOfAListButTakesPlainFiles) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a file system without extended attributes (ramfs)";
    const QString mount = dir.filePath("ramfs");
    ASSERT_TRUE(QDir().mkpath(mount));
    if (::mount("none", QFile::encodeName(mount).constData(), "ramfs", 0, nullptr) != 0)
        GTEST_SKIP() << "ramfs cannot be mounted here";
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(mount)};

    const auto copyOnto = [&](const QString& name,
                              const std::function<void(const QString&)>& prepare,
                              bool& attributeFailed) {
        const QString original = dir.filePath(name);
        WriteAll(original, "text");
        prepare(original);
        const UniqueFd from(Open(original, O_RDONLY));
        const UniqueFd to(Open(mount + "/" + name, O_WRONLY | O_CREAT | O_EXCL, 0600));
        return CopyModeAndAttributes(from.get(), to.get(), 0644, &attributeFailed);
    };
    bool attributeFailed = false;
    EXPECT_FALSE(copyOnto(
        "acl", [](const QString& f) { SetAcl(f, "u:nobody:rw,g::r"); }, attributeFailed));
    EXPECT_TRUE(attributeFailed) << "a list that cannot be kept is not dropped in silence";
    EXPECT_FALSE(copyOnto(
        "user", [](const QString& f) { SetAttribute(f, "user.a", "1"); }, attributeFailed));
    EXPECT_TRUE(attributeFailed);
    EXPECT_TRUE(copyOnto(
        "plain", [](const QString&) {}, attributeFailed));
    EXPECT_FALSE(attributeFailed);
    EXPECT_EQ(ModeOf(mount + "/plain"), 0644u);
}

TEST_F(ExtendedAttributes, AReplacedOutputFileKeepsItsAccessListAndAttributes) {
    const QString report = dir.filePath("report.txt");
    WriteAll(report, "old report");
    ASSERT_EQ(::chmod(QFile::encodeName(report).constData(), 0640), 0);
    SetAcl(report, "u:nobody:rw,g::r");
    SetAttribute(report, "user.origin", "job");
    const QByteArray acl = AclOf(report);
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(report).constData(), &before), 0);

    ASSERT_EQ(WriteWholeFile(report, "new report"), WriteResult::Written);
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(report).constData(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "replaced by a rename, not written in place";
    EXPECT_EQ(ReadAll(report), "new report");
    EXPECT_EQ(AclOf(report), acl);
    EXPECT_EQ(ModeOf(report), 0660u) << "the mask stays rw, the owning group keeps r";
    EXPECT_EQ(UserAttributesOf(report), "user.origin=\"job\"\n");
}

// Writing into a folder that everyone may write to (sticky, like /tmp) as root, where another
// user planted the name: links, files, FIFOs and hard links of others are refused, also when
// swapped in while the file is written.

#include "common/TestSupport.h"
#include "platform/FileNames.h"
#include "platform/FileWriting.h"

#include <QDir>
#include <QTemporaryDir>
#include <atomic>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace platform;

namespace {

constexpr uid_t kOther = 65534;

QByteArray Native(const QString& path) {
    return EncodeFileName(path);
}

void LinkAs(const QString& target, const QString& link, uid_t owner) {
    ASSERT_EQ(::symlink(Native(target).constData(), Native(link).constData()), 0);
    ASSERT_EQ(::lchown(Native(link).constData(), owner, owner), 0);
}

class SharedFolder : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "names planted by another user need root to make";
        ASSERT_TRUE(dir.isValid());
        shared = dir.filePath(QStringLiteral("shared"));
        victim = dir.filePath(QStringLiteral("victim.txt"));
        ASSERT_TRUE(QDir().mkdir(shared));
        ASSERT_EQ(::chmod(Native(shared).constData(), 01777), 0);
        WriteAll(victim, "secret");
    }
    QString In(const QString& name) const { return shared + QLatin1Char('/') + name; }
    QStringList SharedEntries() const {
        return QDir(shared).entryList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

    QTemporaryDir dir;
    QString shared;
    QString victim;
};

} // namespace

TEST_F(SharedFolder, OnlyNamesOfTheUserOrTheFolderOwnerAreFollowedOrWritten) {
    struct Case {
        const char* what;
        std::function<void()> plant;
        QString write;    // the name written, below the shared folder
        bool refused;     // else written through to the victim
        const char* says; // in the reason
    };
    const QString inner = dir.filePath(QStringLiteral("inner"));
    ASSERT_TRUE(QDir().mkdir(inner));
    const Case cases[] = {
        {"another user's link", [&] { LinkAs(victim, In("report.txt"), kOther); }, "report.txt",
         true, "symbolic link"},
        {"the user's own link", [&] { LinkAs(victim, In("report.txt"), 0); }, "report.txt", false,
         ""},
        {"a chain whose second link is another user's",
         [&] {
             LinkAs(victim, In("hop"), kOther);
             LinkAs(QStringLiteral("hop"), In("report.txt"), 0);
         },
         "report.txt", true, "hop"},
        {"another user's link as a folder of the path", [&] { LinkAs(inner, In("sub"), kOther); },
         "sub/report.txt", true, "sub"},
        {"another user's dangling link",
         [&] { LinkAs(dir.filePath(QStringLiteral("made.txt")), In("report.txt"), kOther); },
         "report.txt", true, "symbolic link"},
        {"another user's file",
         [&] {
             WriteAll(In("report.txt"), "theirs");
             ASSERT_EQ(::chown(Native(In("report.txt")).constData(), kOther, kOther), 0);
         },
         "report.txt", true, "belongs to another user"},
        {"another user's FIFO",
         [&] {
             ASSERT_EQ(::mkfifo(Native(In("report.txt")).constData(), 0666), 0);
             ASSERT_EQ(::chown(Native(In("report.txt")).constData(), kOther, kOther), 0);
         },
         "report.txt", true, "belongs to another user"},
        {"a hard link to the user's file",
         [&] {
             ASSERT_EQ(::link(Native(victim).constData(), Native(In("report.txt")).constData()), 0);
         },
         "report.txt", true, "hard links"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(victim, "secret");
        c.plant();
        const QStringList planted = SharedEntries();
        QString error;
        const WriteResult result = WriteWholeFile(In(c.write), "report", &error);
        if (c.refused) {
            EXPECT_EQ(result, WriteResult::Failed);
            EXPECT_TRUE(error.contains(QLatin1String(c.says))) << error.toStdString();
            EXPECT_EQ(ReadAll(victim), "secret");
            EXPECT_EQ(SharedEntries(), planted) << "nothing made, nothing replaced";
        } else {
            EXPECT_EQ(result, WriteResult::Written) << error.toStdString();
            EXPECT_EQ(ReadAll(victim), "report");
        }
        EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("made.txt"))));
        EXPECT_FALSE(QFileInfo::exists(inner + QStringLiteral("/report.txt")));
        for (const QString& name : SharedEntries())
            ASSERT_EQ(::unlink(Native(In(name)).constData()), 0);
    }

    // The folder's owner may place links that others follow: it could remove any name anyway.
    ASSERT_EQ(::chown(Native(shared).constData(), kOther, kOther), 0);
    LinkAs(victim, In("report.txt"), kOther);
    QString error;
    EXPECT_EQ(WriteWholeFile(In("report.txt"), "from the owner's link", &error),
              WriteResult::Written)
        << error.toStdString();
    EXPECT_EQ(ReadAll(victim), "from the owner's link");
}

TEST_F(SharedFolder, ALinkSwappedInWhileWritingIsNeverFollowed) {
    // Another user keeps replacing the name: now with a link to the victim, now with a file.
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        const QByteArray name = Native(In("report.txt"));
        const QByteArray staged = Native(In("staged"));
        const QByteArray target = Native(victim);
        for (bool link = true; !stop.load(); link = !link) {
            ::unlink(staged.constData());
            if (link) {
                if (::symlink(target.constData(), staged.constData()) != 0 ||
                    ::lchown(staged.constData(), kOther, kOther) != 0)
                    continue;
            } else {
                const int fd = ::open(staged.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                if (fd < 0)
                    continue;
                ::close(fd);
            }
            ::rename(staged.constData(), name.constData());
        }
    });
    int written = 0;
    for (int i = 0; i < 300; ++i)
        if (WriteWholeFile(In("report.txt"), "report") == WriteResult::Written)
            ++written;
    stop = true;
    swapper.join();
    EXPECT_EQ(ReadAll(victim), "secret");
    EXPECT_GT(written, 0) << "the swaps left no chance to write the user's own file";
}

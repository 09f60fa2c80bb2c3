// Replacing whole files: the rename road, the cases written in place, and what failures leave.

#include "common/TestSupport.h"
#include "platform/FileNames.h"
#include "platform/FileWriting.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace platform;

namespace {

struct stat StatOf(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(EncodeFileName(path).constData(), &st), 0) << path.toStdString();
    return st;
}

class FileWriting : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList entries() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name);
    }
    WriteResult write(const QString& name, const QByteArray& bytes) {
        return WriteWholeFile(name.startsWith(QLatin1Char('/')) ? name : path(name), bytes, &error);
    }
    QTemporaryDir dir;
    QString error;
};

// A device that takes `budget` bytes, then reports a full disk once and takes everything
// again (so that putting old content back can be seen); fsync may fail as well.
qsizetype g_budget = 0;
bool g_failSync = false;
ssize_t BudgetWrite(int fd, const void* data, size_t size) {
    if (g_budget <= 0) {
        g_budget = 1 << 30;
        errno = ENOSPC;
        return -1;
    }
    const ssize_t written = ::write(fd, data, std::min<size_t>(size, size_t(g_budget)));
    if (written > 0)
        g_budget -= written;
    return written;
}
int MaybeFailingSync(int fd) {
    if (g_failSync) {
        errno = EIO;
        return -1;
    }
    return ::fsync(fd);
}
const FileWriteCalls kFailingCalls{&BudgetWrite, &MaybeFailingSync};

class FailingDevice {
public:
    FailingDevice(qsizetype budget, bool failSync) {
        g_budget = budget;
        g_failSync = failSync;
        SetFileWriteCallsForTests(&kFailingCalls);
    }
    ~FailingDevice() { SetFileWriteCallsForTests(nullptr); }
};

// Checks, from the first write into a temporary, that another descriptor cannot lock it.
enum class LockProbe { Off, Armed, Held, Free };
LockProbe g_lockProbe = LockProbe::Off;
ssize_t LockProbingWrite(int fd, const void* data, size_t size) {
    if (g_lockProbe == LockProbe::Armed) {
        const int other =
            ::open(QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(), O_RDONLY);
        g_lockProbe = ::flock(other, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK
                          ? LockProbe::Held
                          : LockProbe::Free;
        ::close(other);
    }
    return ::write(fd, data, size);
}
const FileWriteCalls kLockProbingCalls{&LockProbingWrite, &::fsync};

} // namespace

TEST_F(FileWriting, FollowsLinksAndWritesDevicesAndPipesAsTheyAre) {
    // A link to a file: the file changes, the link stays.
    WriteAll(path("real.txt"), "old");
    ASSERT_EQ(::symlink("real.txt", EncodeFileName(path("link.txt")).constData()), 0);
    ASSERT_EQ(write("link.txt", "new"), WriteResult::Written) << error.toStdString();
    EXPECT_TRUE(S_ISLNK(StatOf(path("link.txt")).st_mode));
    EXPECT_EQ(ReadAll(path("real.txt")), "new");

    // A dangling link, through a second link: the file it points to is created.
    ASSERT_EQ(::symlink("missing.txt", EncodeFileName(path("dangling")).constData()), 0);
    ASSERT_EQ(::symlink("dangling", EncodeFileName(path("chain")).constData()), 0);
    ASSERT_EQ(write("chain", "made"), WriteResult::Written) << error.toStdString();
    EXPECT_TRUE(S_ISLNK(StatOf(path("chain")).st_mode));
    EXPECT_TRUE(S_ISLNK(StatOf(path("dangling")).st_mode));
    EXPECT_EQ(ReadAll(path("missing.txt")), "made");

    // /dev/null takes the bytes and stays the device.
    ASSERT_EQ(write(QStringLiteral("/dev/null"), "report"), WriteResult::Written);
    EXPECT_TRUE(S_ISCHR(StatOf(QStringLiteral("/dev/null")).st_mode));

    // A FIFO with a reader gets the bytes and stays a FIFO.
    FifoReader reader(path("pipe"));
    EXPECT_EQ(write("pipe", "through the pipe"), WriteResult::Written) << error.toStdString();
    EXPECT_EQ(reader.finish(), "through the pipe");
    EXPECT_TRUE(S_ISFIFO(StatOf(path("pipe")).st_mode));

    // An open file named through /proc (what /dev/stdout leads to) is written where it is.
    WriteAll(path("redirected.txt"), "a longer old content");
    const int fd = ::open(EncodeFileName(path("redirected.txt")).constData(), O_RDONLY);
    const ino_t inode = StatOf(path("redirected.txt")).st_ino;
    EXPECT_EQ(write(QStringLiteral("/proc/self/fd/%1").arg(fd), "new"), WriteResult::Written)
        << error.toStdString();
    ::close(fd);
    EXPECT_EQ(ReadAll(path("redirected.txt")), "new");
    EXPECT_EQ(StatOf(path("redirected.txt")).st_ino, inode);

    EXPECT_EQ(entries(), (QStringList{"chain", "dangling", "link.txt", "missing.txt", "pipe",
                                      "real.txt", "redirected.txt"}));
}

TEST_F(FileWriting, RefusesWhatIsNoFileAndChangesNothing) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    EXPECT_EQ(write("folder", "x"), WriteResult::Failed);

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = EncodeFileName(path("socket"));
    ASSERT_LT(size_t(socketPath.size()), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(write("socket", "x"), WriteResult::NotAFile);
    ::close(sock);
    EXPECT_TRUE(S_ISSOCK(StatOf(path("socket")).st_mode));

    WriteAll(path("locked.txt"), "old");
    SetReadOnly(path("locked.txt"), true);
    EXPECT_EQ(write("locked.txt", "new"), WriteResult::ReadOnly);
    EXPECT_EQ(ReadAll(path("locked.txt")), "old");

    EXPECT_EQ(write("gone/x.txt", "x"), WriteResult::Failed);
    EXPECT_EQ(entries(), (QStringList{"folder", "locked.txt", "socket"}));
}

TEST_F(FileWriting, HardLinksStayJoinedAndSetIdBitsAreDropped) {
    WriteAll(path("a.html"), "old content");
    ASSERT_EQ(::link(EncodeFileName(path("a.html")).constData(),
                     EncodeFileName(path("b.html")).constData()),
              0);
    ASSERT_EQ(write("a.html", "new"), WriteResult::Written) << error.toStdString();
    EXPECT_EQ(ReadAll(path("b.html")), "new");
    EXPECT_EQ(StatOf(path("a.html")).st_ino, StatOf(path("b.html")).st_ino);

    // On both roads: renamed into place, and rewritten in place beside a hard link.
    WriteAll(path("tool"), "old");
    ASSERT_EQ(::chmod(EncodeFileName(path("tool")).constData(), 06755), 0);
    ASSERT_EQ(::chmod(EncodeFileName(path("a.html")).constData(), 02664), 0);
    ASSERT_EQ(write("tool", "new"), WriteResult::Written);
    ASSERT_EQ(write("a.html", "newer"), WriteResult::Written);
    EXPECT_EQ(StatOf(path("tool")).st_mode & 07777, mode_t(0755));
    EXPECT_EQ(StatOf(path("b.html")).st_mode & 07777, mode_t(0664));
    EXPECT_EQ(ReadAll(path("b.html")), "newer");
}

TEST_F(FileWriting, FailuresLeaveTheOldContentAndNoTemporary) {
    const QByteArray old = "the old content, longer than the budget";
    WriteAll(path("page.html"), old);
    {
        FailingDevice full(3, false);
        EXPECT_EQ(write("page.html", "new content"), WriteResult::Failed);
        g_budget = 3;
        EXPECT_EQ(write("new.html", "new content"), WriteResult::Failed);
    }
    EXPECT_EQ(ReadAll(path("page.html")), old);
    {
        FailingDevice unsynced(1 << 20, true);
        EXPECT_EQ(write("page.html", "new content"), WriteResult::Failed);
    }
    EXPECT_EQ(ReadAll(path("page.html")), old);
    EXPECT_EQ(entries(), QStringList{"page.html"});

    // In place (a hard link forbids the rename): the old bytes are put back.
    ASSERT_EQ(::link(EncodeFileName(path("page.html")).constData(),
                     EncodeFileName(path("other.html")).constData()),
              0);
    {
        FailingDevice full(5, false);
        EXPECT_EQ(write("page.html", "new content that does not fit"), WriteResult::Failed);
    }
    EXPECT_EQ(ReadAll(path("other.html")), old);
}

TEST_F(FileWriting, OnlyTemporariesThatNoWriterHoldsAreStale) {
    const QString target = path("r.txt");
    EXPECT_TRUE(TemporaryFileName(target).startsWith(path(".r.txt.kelvane-")));
    const auto makeTemporary = [&] {
        const QString name = TemporaryFileName(target);
        WriteAll(name, "left behind");
        return name;
    };
    const QString killed = makeTemporary();
    // The user's own files merely named like ours are never ours.
    const QString alike = path(".r.txt.kelvane-7.tmp");
    WriteAll(alike, "the user's");
    // A writer at work holds its lock, however long ago it began.
    const QString held = makeTemporary();
    const int writer = ::open(EncodeFileName(held).constData(), O_RDONLY);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0);
    QString foreign;
    if (::geteuid() == 0) {
        foreign = makeTemporary();
        ASSERT_EQ(::chown(EncodeFileName(foreign).constData(), 65534, 65534), 0);
    }

    // Just made: it may be a writer that has not taken its lock yet.
    ASSERT_EQ(write("r.txt", "first"), WriteResult::Written) << error.toStdString();
    EXPECT_TRUE(QFileInfo::exists(killed));
    {
        struct AgeOff {
            AgeOff() { SetStaleTemporaryAgeForTests(std::chrono::milliseconds(0)); }
            ~AgeOff() { SetStaleTemporaryAgeForTests(kStaleTemporaryAge); }
        } ageOff;
        ASSERT_EQ(write("r.txt", "report"), WriteResult::Written) << error.toStdString();
    }
    EXPECT_EQ(ReadAll(target), "report");
    EXPECT_FALSE(QFileInfo::exists(killed));
    EXPECT_TRUE(QFileInfo::exists(held));
    EXPECT_EQ(ReadAll(alike), "the user's");
    ::close(writer);
    if (!foreign.isEmpty()) {
        EXPECT_TRUE(QFileInfo::exists(foreign));
    }

    // The writer holds its own temporary's lock while it writes.
    g_lockProbe = LockProbe::Armed;
    SetFileWriteCallsForTests(&kLockProbingCalls);
    EXPECT_EQ(write("r.txt", "probed"), WriteResult::Written) << error.toStdString();
    SetFileWriteCallsForTests(nullptr);
    EXPECT_EQ(g_lockProbe, LockProbe::Held);

    // A name near the file system's limit still gets a temporary beside it.
    const QString longName = QString(250, QLatin1Char('n'));
    ASSERT_EQ(write(longName, "x"), WriteResult::Written) << error.toStdString();
    EXPECT_EQ(ReadAll(path(longName)), "x");
}

TEST_F(FileWriting, AFileInAFolderThatTakesNoNewFileIsWrittenInPlace) {
    // As `echo >> file` does, where the user may write the file but not the folder.
    const QString folder = path("shared");
    const QString file = folder + QStringLiteral("/report.txt");
    ASSERT_TRUE(QDir().mkdir(folder));
    WriteAll(file, "old report, longer");
    const ino_t inode = StatOf(file).st_ino;
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(EncodeFileName(folder).constData(), 0555), 0);
        EXPECT_EQ(WriteWholeFile(file, "new", &error), WriteResult::Written) << error.toStdString();
        ::chmod(EncodeFileName(folder).constData(), 0755);
    } else {
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            GTEST_SKIP() << "root needs setpriv to write as an unprivileged user";
        ASSERT_EQ(::chmod(EncodeFileName(dir.path()).constData(), 0755), 0);
        ASSERT_EQ(::chmod(EncodeFileName(folder).constData(), 0755), 0);
        ASSERT_EQ(::chown(EncodeFileName(file).constData(), 65534, 65534), 0);
        QProcess writer;
        writer.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups",
                               BinPath(QStringLiteral("write_whole_file")), file, "new"});
        ASSERT_TRUE(writer.waitForFinished(20000));
        EXPECT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().constData();
    }
    EXPECT_EQ(ReadAll(file), "new");
    EXPECT_EQ(StatOf(file).st_ino, inode);
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"report.txt"});
}

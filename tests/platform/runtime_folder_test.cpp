// The private runtime folder of the command-record socket, and the peer's user id.

#include "common/TestSupport.h"
#include "platform/RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

mode_t ModeOf(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

TEST(RuntimeFolder, OnlyAPrivateFolderOfTheUserServes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString runtime = dir.filePath(QStringLiteral("run"));
    const QString temporary = dir.filePath(QStringLiteral("tmp"));
    ASSERT_TRUE(QDir().mkpath(runtime) && QDir().mkpath(temporary));
    const ScopedEnv tmp("TMPDIR", temporary);
    const QString fallback = temporary + QStringLiteral("/kelvane-%1").arg(::getuid());

    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    {
        const ScopedEnv variable("XDG_RUNTIME_DIR", runtime);
        EXPECT_EQ(platform::PrivateRuntimeFolder(true), runtime);
    }
    // An open runtime folder, a link to a private one, a relative or missing setting: the
    // private folder in the temporary folder, made on demand.
    ::chmod(QFile::encodeName(runtime).constData(), 0755);
    const QString link = dir.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(temporary, link));
    ::chmod(QFile::encodeName(temporary).constData(), 0700);
    for (const QString& setting : {runtime, link, QStringLiteral("run"), QString()}) {
        const ScopedEnv variable("XDG_RUNTIME_DIR", setting);
        QDir(fallback).removeRecursively();
        QString error;
        EXPECT_EQ(platform::PrivateRuntimeFolder(false, &error), QString())
            << setting.toStdString();
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(platform::PrivateRuntimeFolder(true), fallback) << setting.toStdString();
        EXPECT_EQ(ModeOf(fallback), 0700u);
    }

    const ScopedEnv unset("XDG_RUNTIME_DIR", QString());
    // A folder of ours that others may enter is closed to them.
    ::chmod(QFile::encodeName(fallback).constData(), 0777);
    EXPECT_EQ(platform::PrivateRuntimeFolder(true), fallback);
    EXPECT_EQ(ModeOf(fallback), 0700u);
    // A link planted in its place is neither followed nor replaced: a private folder of a name
    // of its own serves instead, the same one each time, and senders find it.
    QDir(fallback).removeRecursively();
    ASSERT_TRUE(QFile::link(runtime, fallback));
    QString error;
    EXPECT_EQ(platform::PrivateRuntimeFolder(false, &error), QString());
    const QString unique = platform::PrivateRuntimeFolder(true, &error);
    EXPECT_TRUE(unique.startsWith(fallback + QLatin1Char('.'))) << error.toStdString();
    EXPECT_EQ(ModeOf(unique), 0700u);
    EXPECT_EQ(platform::PrivateRuntimeFolder(true), unique);
    EXPECT_EQ(platform::PrivateRuntimeFolder(false), unique);
    EXPECT_EQ(platform::PrivateRuntimeFolders(), QStringList{unique});
    EXPECT_EQ(ModeOf(runtime), 0755u);
    EXPECT_TRUE(QFileInfo(fallback).isSymLink());
}

TEST(RuntimeFolder, PeerOfAnotherUserIsTold) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    EXPECT_TRUE(platform::PeerIsCurrentUser(pair[0]));
    ::close(pair[0]);
    ::close(pair[1]);
    EXPECT_FALSE(platform::PeerIsCurrentUser(-1));

    if (::getuid() != 0)
        GTEST_SKIP() << "connecting as another user needs root";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("s")));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), path.size());
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::chmod(path.constData(), 0777);
    ASSERT_EQ(::listen(server, 1), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // Nobody connects, and waits for the parent to look.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            ::_exit(3);
        char byte;
        (void)::read(fd, &byte, 1);
        ::_exit(0);
    }
    pollfd waiting{server, POLLIN, 0};
    if (::poll(&waiting, 1, 5000) != 1) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        FAIL() << "the other user never connected";
    }
    const int accepted = ::accept(server, nullptr, nullptr);
    ASSERT_GE(accepted, 0);
    EXPECT_EQ(platform::PeerUserId(accepted), uid_t(65534));
    EXPECT_FALSE(platform::PeerIsCurrentUser(accepted));
    ::close(accepted);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(server);
}

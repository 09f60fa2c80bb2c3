// Whether a display can be reached, and which Qt platform the program then asks for.

#include "common/TestSupport.h"
#include "platform/DisplayConnection.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace platform;

namespace {

// A Unix socket bound at `path`; listening, or closed at once so that only its file is left.
int BindSocket(const QByteArray& path, bool listening) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    if (listening) {
        EXPECT_EQ(::listen(fd, 4), 0);
        return fd;
    }
    ::close(fd);
    return -1;
}

} // namespace

TEST(DisplayConnection, OnlyReachableDisplaysAreOfferedAndOffscreenComesLast) {
    struct Case {
        bool wayland, x11;
        QByteArray requested;
        bool waylandPlugin;
        QByteArray expected;
    };
    const Case cases[] = {
        {false, false, "", true, "offscreen"},
        {true, true, "", true, "wayland;xcb;offscreen"},
        {true, true, "", false, "xcb;offscreen"},
        {false, true, "", true, "xcb;offscreen"},
        // What the user asked for stays, unless it is a display found dead.
        {false, false, "xcb", true, "offscreen"},
        {true, false, "wayland-egl;xcb", true, "wayland-egl;offscreen"},
        {false, true, "xcb:nograb", true, "xcb:nograb;offscreen"},
        {false, false, "offscreen", true, "offscreen"},
        {false, false, "vnc:size=800x600", true, "vnc:size=800x600;offscreen"},
    };
    for (const Case& c : cases) {
        DisplayProbe probe;
        probe.wayland = c.wayland;
        probe.x11 = c.x11;
        EXPECT_EQ(QtPlatformList(probe, c.requested, c.waylandPlugin), c.expected)
            << c.requested.constData() << " wayland=" << c.wayland << " x11=" << c.x11;
    }
}

TEST(DisplayConnection, WaylandNeedsAListeningSocket) {
    QTemporaryDir runtime;
    const QByteArray folder = QFile::encodeName(runtime.path());
    EXPECT_FALSE(CanConnectWayland("wayland-9", folder, 500));
    EXPECT_FALSE(CanConnectWayland("wayland-9", QByteArray(), 500));

    BindSocket(folder + "/wayland-stale", false); // a compositor that died
    EXPECT_FALSE(CanConnectWayland("wayland-stale", folder, 500));

    const int live = BindSocket(folder + "/wayland-1", true);
    EXPECT_TRUE(CanConnectWayland("wayland-1", folder, 500));
    EXPECT_TRUE(CanConnectWayland(folder + "/wayland-1", QByteArray(), 500));
    ::close(live);
}

TEST(DisplayConnection, DeadXDisplaysAreUnreachable) {
    const QByteArray dead = UnusedXDisplay().toLatin1();
    EXPECT_FALSE(CanConnectX11(dead, 3000));
    EXPECT_FALSE(CanConnectX11("127.0.0.1" + dead, 3000)); // TCP, refused
    EXPECT_FALSE(CanConnectX11("", 3000));

    qputenv("DISPLAY", dead);
    qputenv("WAYLAND_DISPLAY", "wayland-nowhere");
    const DisplayProbe probe = ProbeDisplays(3000);
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    EXPECT_FALSE(probe.x11);
    EXPECT_FALSE(probe.wayland);
    EXPECT_EQ(probe.unreachable, QStringLiteral("WAYLAND_DISPLAY=wayland-nowhere, DISPLAY=") +
                                     QString::fromLatin1(dead));
}

TEST(DisplayConnection, LiveXServerIsReachableWithItsAuthorityOnly) {
    const QString xauth = QStandardPaths::findExecutable(QStringLiteral("xauth"));
    if (xauth.isEmpty())
        GTEST_SKIP() << "xauth is not installed";
    QTemporaryDir dir;
    const QString cookies = dir.filePath(QStringLiteral("cookies"));
    const QString noCookies = dir.filePath(QStringLiteral("none"));
    WriteAll(noCookies, {});
    // One cookie for any display number: the server picks its own.
    QProcess add;
    add.start(xauth, {"-f", cookies, "add", ":0", "MIT-MAGIC-COOKIE-1",
                      "0123456789abcdef0123456789abcdef"});
    ASSERT_TRUE(add.waitForFinished(10000));
    ASSERT_EQ(add.exitCode(), 0);

    XvfbServer server({QStringLiteral("-auth"), cookies});
    if (server.display().isEmpty())
        GTEST_SKIP() << "Xvfb could not be started";
    QProcess copy; // the cookie under the display the server took
    copy.start(xauth, {"-f", cookies, "add", server.display(), "MIT-MAGIC-COOKIE-1",
                       "0123456789abcdef0123456789abcdef"});
    ASSERT_TRUE(copy.waitForFinished(10000));

    const QByteArray saved = qgetenv("XAUTHORITY");
    qputenv("XAUTHORITY", QFile::encodeName(cookies));
    EXPECT_TRUE(CanConnectX11(server.display().toLatin1(), 5000));
    qputenv("XAUTHORITY", QFile::encodeName(noCookies));
    EXPECT_FALSE(CanConnectX11(server.display().toLatin1(), 5000));
    if (saved.isEmpty())
        qunsetenv("XAUTHORITY");
    else
        qputenv("XAUTHORITY", saved);
}

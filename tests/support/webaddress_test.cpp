#include "support/LocalHttpServer.h"
#include "support/WebAddress.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

TEST(WebAddress, RecognisesHttpAndHttpsAnywhereWithCase) {
    EXPECT_TRUE(IsWebAddress(QStringLiteral("http://example.com/")));
    EXPECT_TRUE(IsWebAddress(QStringLiteral("https://example.com/page.html")));
    EXPECT_TRUE(IsWebAddress(QStringLiteral("see http://example.com")));
    EXPECT_FALSE(IsWebAddress(QStringLiteral("HTTP://example.com/")));
    EXPECT_FALSE(IsWebAddress(QStringLiteral("/home/user/http/page.html")));
    EXPECT_FALSE(IsWebAddress(QStringLiteral("ftp://example.com/page.html")));
    EXPECT_FALSE(IsWebAddress(QString()));
}

TEST(WebAddress, SplitsIntoSchemeHostPathAndFileName) {
    const QString address = QStringLiteral("http://www.example.com:8080/dir/page.html?q=1#top");
    EXPECT_EQ(UrlScheme(address), QStringLiteral("http"));
    EXPECT_EQ(UrlHost(address), QStringLiteral("www.example.com"));
    EXPECT_EQ(UrlPath(address), QStringLiteral("/dir/page.html"));
    EXPECT_EQ(UrlFileName(address), QStringLiteral("page.html"));

    EXPECT_EQ(UrlFileName(QStringLiteral("http://h/dir/")), QString());
    EXPECT_EQ(UrlFileName(QStringLiteral("http://h")), QString());
    EXPECT_EQ(UrlFileName(QStringLiteral("http://h/a:b.html")), QStringLiteral("b.html"));
    EXPECT_EQ(UrlFileName(QStringLiteral("http://h/my%20page.html")),
              QStringLiteral("my page.html"));
}

TEST(WebAddress, PartsAreEmptyWhenTheAddressCannotBeSplit) {
    for (const QString& text : {QStringLiteral("/home/user/page.html"), QStringLiteral("page.html"),
                                QStringLiteral("http://exa mple.com:99999999/"), QString()}) {
        EXPECT_EQ(UrlScheme(text), QString()) << text.toStdString();
        EXPECT_EQ(UrlHost(text), QString()) << text.toStdString();
        EXPECT_EQ(UrlPath(text), QString()) << text.toStdString();
        EXPECT_EQ(UrlFileName(text), QString()) << text.toStdString();
    }
}

TEST(WebAddress, OnlyHttpAndHttpsNeedAConnection) {
    EXPECT_FALSE(NeedsNoConnection(QStringLiteral("http://example.com/a.html")));
    EXPECT_FALSE(NeedsNoConnection(QStringLiteral("HTTP://example.com/a.html")));
    EXPECT_FALSE(NeedsNoConnection(QStringLiteral("https://example.com/a.html")));
    EXPECT_TRUE(NeedsNoConnection(QStringLiteral("ftp://example.com/a.html")));
    EXPECT_TRUE(NeedsNoConnection(QStringLiteral("/home/user/a.html")));

    // A path that names a local file needs no network either.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("here.html")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(NeedsNoConnection(QStringLiteral("http://example.com") + file.fileName()));
    EXPECT_FALSE(NeedsNoConnection(QStringLiteral("http://example.com") + dir.path()));
}

TEST(WebAddress, StatusLineNamesFileAndHost) {
    EXPECT_EQ(DownloadStatusText(QStringLiteral("http://127.0.0.1:8080/site/page.html")),
              QStringLiteral("page.html from (127.0.0.1)"));
    EXPECT_EQ(DownloadStatusText(QStringLiteral("http://127.0.0.1/site/")),
              QStringLiteral("Downloading from (127.0.0.1)"));
    EXPECT_EQ(DownloadStatusText(QStringLiteral("https://example.com")),
              QStringLiteral("Downloading from (example.com)"));
}

TEST(WebAddress, ConnectionTargetUsesTheSchemesDefaultPort) {
    auto target = ConnectionTargetFor(QStringLiteral("http://127.0.0.1/x.html"));
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(target->host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(target->port, 80);
    EXPECT_EQ(ConnectionTargetFor(QStringLiteral("https://localhost/"))->port, 443);
    EXPECT_EQ(ConnectionTargetFor(QStringLiteral("http://127.0.0.1:8080/"))->port, 8080);
    EXPECT_FALSE(ConnectionTargetFor(QStringLiteral("/home/user/page.html")).has_value());

    EXPECT_TRUE(IsLoopbackHost(QStringLiteral("LOCALHOST")));
    EXPECT_TRUE(IsLoopbackHost(QStringLiteral("127.0.0.1")));
    EXPECT_TRUE(IsLoopbackHost(QStringLiteral("::1")));
    EXPECT_FALSE(IsLoopbackHost(QStringLiteral("example.com")));
    EXPECT_FALSE(IsLoopbackHost(QStringLiteral("10.0.0.1")));
}

TEST(WebAddress, ConnectionCheckConnectsOrFailsQuickly) {
    LocalHttpServer server;
    EXPECT_TRUE(HasConnection(server.url(QStringLiteral("/"))));

    QElapsedTimer clock;
    clock.start();
    const QString closed =
        QStringLiteral("http://127.0.0.1:%1/page.html").arg(LocalHttpServer::ClosedPort());
    EXPECT_FALSE(HasConnection(closed));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_FALSE(HasConnection(QStringLiteral("not an address")));
}

TEST(WebAddress, ConnectionCheckKeepsEventsFlowingAndEndsAtItsLimit) {
    // A listener whose queue is full and that never accepts: a further connection attempt
    // gets no answer at all, as with a host behind a firewall that drops packets.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const quint16 port = ntohs(address.sin_port);
    std::vector<int> fillers;
    for (int i = 0; i < 2; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), length);
        fillers.push_back(filler);
    }
    QThread::msleep(50);

    const QString silent = QStringLiteral("http://127.0.0.1:%1/").arg(port);
    bool timerRan = false;
    QTimer::singleShot(50, [&] { timerRan = true; });
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(HasConnection(silent, 600));
    EXPECT_GE(clock.elapsed(), 500);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(timerRan) << "the check blocked the thread";

    // A name that needs looking up is looked up within the same limit.
    clock.restart();
    EXPECT_FALSE(HasConnection(QStringLiteral("http://kelvane-check.invalid/"), 600));
    EXPECT_LT(clock.elapsed(), 3000);
    LocalHttpServer server;
    EXPECT_TRUE(HasConnection(QStringLiteral("http://localhost:%1/").arg(server.port())));

    for (const int fd : fillers)
        ::close(fd);
    ::close(listener);
}

#include "support/LocalHttpServer.h"
#include "support/WebAddress.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

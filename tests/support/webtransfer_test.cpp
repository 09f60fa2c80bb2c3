#include "common/TestSupport.h"
#include "platform/FileNames.h"
#include "support/LocalHttpServer.h"
#include "support/WebTransfer.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

struct Outcome {
    int finishedSignals = 0;
    QList<std::pair<qint64, qint64>> progress;
};

// Starts the transfer and serves the event loop until it ends (or a generous time-out).
Outcome RunTransfer(WebTransfer& transfer, const QString& address,
                    const std::function<void(WebTransfer&, qint64)>& onProgress = {}) {
    Outcome outcome;
    QEventLoop loop;
    QObject::connect(&transfer, &WebTransfer::progress, &loop, [&](qint64 received, qint64 total) {
        outcome.progress.append({received, total});
        if (onProgress)
            onProgress(transfer, received);
    });
    QObject::connect(&transfer, &WebTransfer::finished, &loop, [&] {
        ++outcome.finishedSignals;
        loop.quit();
    });
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    transfer.start(address);
    EXPECT_EQ(outcome.finishedSignals, 0) << "finished inside start()";
    loop.exec();
    // Anything that would still arrive late (a second finished signal) arrives now.
    QEventLoop settle;
    QTimer::singleShot(50, &settle, &QEventLoop::quit);
    settle.exec();
    return outcome;
}

QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Serves a body without end from a thread of its own, as fast as the client takes it, so
// that a client that reads slower than the network delivers meets a server that does not wait.
class EndlessServer {
public:
    EndlessServer() {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            ::listen(m_listen, 4) == 0 &&
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~EndlessServer() {
        m_stop = true;
        ::shutdown(m_listen, SHUT_RDWR);
        if (const int client = m_client.load(); client >= 0)
            ::shutdown(client, SHUT_RDWR);
        m_thread.join();
        ::close(m_listen);
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/endless.html").arg(m_port); }

private:
    void Serve() {
        const QByteArray chunk(256 << 10, 'x');
        while (!m_stop) {
            const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                return;
            m_client = client;
            // The connection check closes without a request; the transfer sends one.
            QByteArray request;
            char buffer[4096];
            ssize_t got = 0;
            while (!request.contains("\r\n\r\n") && (got = ::recv(client, buffer, 4096, 0)) > 0)
                request.append(buffer, got);
            if (request.contains("\r\n\r\n")) {
                const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";
                bool open = ::send(client, head.constData(), head.size(), MSG_NOSIGNAL) > 0;
                while (open && !m_stop)
                    open = ::send(client, chunk.constData(), chunk.size(), MSG_NOSIGNAL) > 0;
            }
            m_client = -1;
            ::close(client);
        }
    }

    int m_listen = -1;
    quint16 m_port = 0;
    std::atomic<int> m_client{-1};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// One byte of body every `intervalMs`, for ever.
LocalHttpServer::Handler Drip(int intervalMs) {
    return [=](QTcpSocket* socket) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<");
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write("p"); });
        timer->start(intervalMs);
    };
}

// The process's peak resident memory since the last ResetPeakMemory(), in bytes.
qint64 PeakMemory() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}
bool ResetPeakMemory() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

class WebTransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        transfer.setTargetFolder(folder.path());
    }
    QTemporaryDir folder;
    LocalHttpServer server;
    WebTransfer transfer;
};

} // namespace

TEST_F(WebTransferTest, PageWithLengthBecomesAPrivateFileNamedAfterTheAddress) {
    const QByteArray body = "<html><body>" + QByteArray(5000, 'a') + "</body></html>";
    server.route("/site/page.html", LocalHttpServer::Page(body));

    const Outcome outcome = RunTransfer(transfer, server.url(QStringLiteral("/site/page.html")));
    ASSERT_EQ(transfer.state(), WebTransfer::State::Succeeded)
        << transfer.errorString().toStdString();
    EXPECT_EQ(outcome.finishedSignals, 1);
    EXPECT_TRUE(transfer.requestSent());
    EXPECT_EQ(transfer.localFile(), folder.filePath(QStringLiteral("page.html")));
    QFile file(transfer.localFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), body);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(transfer.localFile()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_FALSE(outcome.progress.isEmpty());
    EXPECT_EQ(outcome.progress.last(), std::make_pair(qint64(body.size()), qint64(body.size())));
    EXPECT_EQ(Entries(folder.path()), QStringList{QStringLiteral("page.html")});
}

TEST_F(WebTransferTest, PagesOfUnknownLengthArriveWhole) {
    server.route("/chunked.html",
                 LocalHttpServer::Chunked({"<html>", "<body>hi</body>", "</html>"}));
    server.route("/close.html",
                 LocalHttpServer::Page("<p>until the end</p>", "200 OK", "text/html", false));

    RunTransfer(transfer, server.url(QStringLiteral("/chunked.html")));
    ASSERT_EQ(transfer.state(), WebTransfer::State::Succeeded)
        << transfer.errorString().toStdString();
    QFile chunked(transfer.localFile());
    ASSERT_TRUE(chunked.open(QIODevice::ReadOnly));
    EXPECT_EQ(chunked.readAll(), QByteArray("<html><body>hi</body></html>"));

    WebTransfer second;
    second.setTargetFolder(folder.path());
    const Outcome outcome = RunTransfer(second, server.url(QStringLiteral("/close.html")));
    ASSERT_EQ(second.state(), WebTransfer::State::Succeeded) << second.errorString().toStdString();
    QFile closed(second.localFile());
    ASSERT_TRUE(closed.open(QIODevice::ReadOnly));
    EXPECT_EQ(closed.readAll(), QByteArray("<p>until the end</p>"));
    ASSERT_FALSE(outcome.progress.isEmpty());
    EXPECT_EQ(outcome.progress.last(), std::make_pair(qint64(20), qint64(-1)));
}

TEST_F(WebTransferTest, ErrorStatusesFailAndLeaveNoFile) {
    server.route("/broken.html",
                 LocalHttpServer::Page("<h1>oops</h1>", "500 Internal Server Error"));
    for (const QString& path : {QStringLiteral("/missing.html"), QStringLiteral("/broken.html")}) {
        WebTransfer attempt;
        attempt.setTargetFolder(folder.path());
        const Outcome outcome = RunTransfer(attempt, server.url(path));
        EXPECT_EQ(attempt.state(), WebTransfer::State::Failed) << path.toStdString();
        EXPECT_EQ(outcome.finishedSignals, 1);
        EXPECT_TRUE(attempt.localFile().isEmpty());
        EXPECT_FALSE(attempt.errorString().isEmpty());
    }
    EXPECT_EQ(Entries(folder.path()), QStringList());
}

TEST_F(WebTransferTest, CancelMidwayStopsAtOnceAndRemovesThePartialFile) {
    server.route("/slow.html", LocalHttpServer::Stalled(1000000, 4000));
    QElapsedTimer clock;
    clock.start();
    const Outcome outcome = RunTransfer(transfer, server.url(QStringLiteral("/slow.html")),
                                        [&](WebTransfer& t, qint64 received) {
                                            if (received > 0 && t.isRunning()) {
                                                t.cancel();
                                            }
                                        });
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(transfer.state(), WebTransfer::State::Cancelled);
    EXPECT_EQ(outcome.finishedSignals, 1);
    ASSERT_FALSE(outcome.progress.isEmpty());
    EXPECT_GT(outcome.progress.last().first, 0);
    EXPECT_LE(outcome.progress.last().first, 4000);
    EXPECT_EQ(outcome.progress.last().second, 1000000);
    EXPECT_EQ(Entries(folder.path()), QStringList());
    EXPECT_TRUE(transfer.localFile().isEmpty());
}

TEST_F(WebTransferTest, DestroyingARunningTransferRemovesThePartialFile) {
    server.route("/slow.html", LocalHttpServer::Stalled(1000000, 4000));
    {
        WebTransfer abandoned;
        abandoned.setTargetFolder(folder.path());
        QEventLoop loop;
        QObject::connect(&abandoned, &WebTransfer::progress, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        abandoned.start(server.url(QStringLiteral("/slow.html")));
        loop.exec();
        ASSERT_TRUE(abandoned.isRunning());
    }
    EXPECT_EQ(Entries(folder.path()), QStringList());
}

TEST_F(WebTransferTest, HostileServersEndWithAReasonInBoundedTime) {
    using namespace std::chrono_literals;
    // A large page within the limits comes whole through the bounded buffers.
    const QByteArray large = QByteArray(5 << 20, 'a') + "</p>";
    server.route("/large.html", LocalHttpServer::Page(large));
    transfer.setLimits({.maxBytes = 6 << 20});
    RunTransfer(transfer, server.url(QStringLiteral("/large.html")));
    ASSERT_EQ(transfer.state(), WebTransfer::State::Succeeded)
        << transfer.errorString().toStdString();
    EXPECT_EQ(ReadFile(transfer.localFile()), large);
    QFile::remove(transfer.localFile());

    server.route("/announced.html", LocalHttpServer::Stalled(qint64(2) << 20, 0));
    server.route("/drip.html", Drip(50));
    const struct {
        const char* path;
        WebTransferLimits limits;
        const char* says;
    } cases[] = {
        {"/announced.html", {.maxBytes = 1 << 20}, "larger than 1 MB"},
        {"/drip.html", {.stallTimeout = 300ms, .stallBytes = 64}, "less than 64 bytes in 0.3 s"},
        // A byte in every stall window: only the deadline ends it.
        {"/drip.html",
         {.deadline = 800ms, .stallTimeout = 300ms, .stallBytes = 1},
         "longer than 0.8 s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        WebTransfer attempt;
        attempt.setTargetFolder(folder.path());
        attempt.setLimits(c.limits);
        QElapsedTimer clock;
        clock.start();
        const Outcome outcome = RunTransfer(attempt, server.url(QLatin1String(c.path)));
        EXPECT_LT(clock.elapsed(), 10000);
        EXPECT_EQ(attempt.state(), WebTransfer::State::Failed);
        EXPECT_EQ(outcome.finishedSignals, 1);
        EXPECT_TRUE(attempt.errorString().contains(QLatin1String(c.says)))
            << attempt.errorString().toStdString();
        EXPECT_EQ(Entries(folder.path()), QStringList()) << "the partial file is gone";
    }
}

TEST_F(WebTransferTest, AnEndlessPageStopsAtTheLimitWithBoundedMemory) {
    if (kAddressSanitizer)
        GTEST_SKIP() << "peak memory means nothing under AddressSanitizer";
    EndlessServer endless;
    // Far more than the allowance for growth below, so that a body held in memory shows
    // whatever else a loaded machine does to the process's peak.
    transfer.setLimits({.maxBytes = 160 << 20});
    const bool peakReset = ResetPeakMemory();
    const qint64 before = PeakMemory(); // what the process holds now
    // A receiver slower than the network (a window that repaints its progress).
    const Outcome outcome =
        RunTransfer(transfer, endless.url(), [](WebTransfer&, qint64) { QThread::msleep(10); });
    const qint64 grown = PeakMemory() - before;
    EXPECT_EQ(transfer.state(), WebTransfer::State::Failed);
    EXPECT_TRUE(transfer.errorString().contains(QLatin1String("larger than 160 MB")))
        << transfer.errorString().toStdString();
    ASSERT_FALSE(outcome.progress.isEmpty());
    EXPECT_LE(outcome.progress.last().first, 160 << 20);
    EXPECT_EQ(Entries(folder.path()), QStringList()) << "the partial file is gone";
    // The body went to the file a piece at a time, never into memory as a whole.
    if (peakReset && before > 0) {
        EXPECT_LT(grown, qint64(48) << 20);
    }
}

TEST_F(WebTransferTest, WithoutAConnectionNothingIsRequested) {
    const QString address =
        QStringLiteral("http://127.0.0.1:%1/page.html").arg(LocalHttpServer::ClosedPort());
    QElapsedTimer clock;
    clock.start();
    const Outcome outcome = RunTransfer(transfer, address);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(transfer.state(), WebTransfer::State::Failed);
    EXPECT_FALSE(transfer.requestSent());
    EXPECT_TRUE(outcome.progress.isEmpty());
    EXPECT_EQ(Entries(folder.path()), QStringList());
}

TEST_F(WebTransferTest, AddressesThatAreNotWebPagesAreRefused) {
    for (const QString& address :
         {QStringLiteral("ftp://127.0.0.1/page.html"), QStringLiteral("file:///etc/hostname"),
          QStringLiteral("see http://")}) {
        WebTransfer attempt;
        attempt.setTargetFolder(folder.path());
        const Outcome outcome = RunTransfer(attempt, address);
        EXPECT_EQ(attempt.state(), WebTransfer::State::Failed) << address.toStdString();
        EXPECT_EQ(outcome.finishedSignals, 1);
        EXPECT_FALSE(attempt.requestSent());
    }
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(WebTransferTest, RepeatedDownloadsKeepEarlierFiles) {
    server.route("/page.html", LocalHttpServer::Page("<p>one</p>"));
    QStringList files;
    for (int i = 0; i < 3; ++i) {
        WebTransfer attempt;
        attempt.setTargetFolder(folder.path());
        RunTransfer(attempt, server.url(QStringLiteral("/page.html")));
        ASSERT_EQ(attempt.state(), WebTransfer::State::Succeeded)
            << i << attempt.errorString().toStdString();
        files << QFileInfo(attempt.localFile()).fileName();
    }
    EXPECT_EQ(files, (QStringList{QStringLiteral("page.html"), QStringLiteral("page-2.html"),
                                  QStringLiteral("page-3.html")}));
}

TEST_F(WebTransferTest, FreeNamesNeverRunOut) {
    // Every counted name is taken (earlier downloads, or anything else of that name).
    for (const char* taken : {"page.html", "page-2.html", "page-3.html", "page-4.html",
                              "page-5.html", "page-6.html", "page-7.html", "page-8.html"})
        WriteFile(folder.filePath(QLatin1String(taken)), "old");
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("page-9.html")));
    server.route("/page.html", LocalHttpServer::Page("<p>new</p>"));
    QStringList names;
    for (int i = 0; i < 2; ++i) {
        WebTransfer attempt;
        attempt.setTargetFolder(folder.path());
        RunTransfer(attempt, server.url(QStringLiteral("/page.html")));
        ASSERT_EQ(attempt.state(), WebTransfer::State::Succeeded)
            << attempt.errorString().toStdString();
        names << QFileInfo(attempt.localFile()).fileName();
        EXPECT_EQ(ReadFile(attempt.localFile()), QByteArray("<p>new</p>"));
    }
    const QRegularExpression random(QStringLiteral("^page-[0-9a-f]{16}\\.html$"));
    EXPECT_TRUE(random.match(names[0]).hasMatch()) << names[0].toStdString();
    EXPECT_TRUE(random.match(names[1]).hasMatch()) << names[1].toStdString();
    EXPECT_NE(names[0], names[1]);
    EXPECT_EQ(ReadFile(folder.filePath(QStringLiteral("page.html"))), QByteArray("old"));
}

TEST_F(WebTransferTest, LongNonAsciiNamesAreCutByBytes) {
    // 100 CJK characters are 300 bytes of file name: more than some file systems take.
    const QString cjk = QString(100, QChar(0x6f22));
    const QByteArray path = "/" + QUrl::toPercentEncoding(cjk) + ".html";
    server.route(path, LocalHttpServer::Page("<p>kanji</p>"));
    RunTransfer(transfer, server.url(QString::fromLatin1(path)));
    ASSERT_EQ(transfer.state(), WebTransfer::State::Succeeded)
        << transfer.errorString().toStdString();
    const QString name = QFileInfo(transfer.localFile()).fileName();
    EXPECT_EQ(name, QString(38, QChar(0x6f22)) + QStringLiteral(".html"));
    EXPECT_EQ(ReadFile(transfer.localFile()), QByteArray("<p>kanji</p>"));
}

TEST_F(WebTransferTest, RedirectsAreFollowedAndNameTheFile) {
    server.route("/old",
                 LocalHttpServer::Redirect(server.url(QStringLiteral("/new/about")).toUtf8()));
    server.route("/new/about", LocalHttpServer::Page("<p>moved</p>"));
    RunTransfer(transfer, server.url(QStringLiteral("/old")));
    ASSERT_EQ(transfer.state(), WebTransfer::State::Succeeded)
        << transfer.errorString().toStdString();
    EXPECT_EQ(QFileInfo(transfer.localFile()).fileName(), QStringLiteral("about.html"));
    EXPECT_EQ(server.requests(), (QList<QByteArray>{"/old", "/new/about"}));
}

TEST_F(WebTransferTest, MissingTargetFolderIsCreated) {
    server.route("/", LocalHttpServer::Page("<p>home</p>"));
    const QString nested = folder.filePath(QStringLiteral("a/b"));
    transfer.setTargetFolder(nested);
    RunTransfer(transfer, server.url(QStringLiteral("/")));
    ASSERT_EQ(transfer.state(), WebTransfer::State::Succeeded)
        << transfer.errorString().toStdString();
    EXPECT_EQ(transfer.localFile(), nested + QStringLiteral("/index.html"));
}

TEST(DownloadFileName, IsSafeAndHtmlPagesGetASuffix) {
    const QString html = QStringLiteral("text/html; charset=utf-8");
    EXPECT_EQ(DownloadFileName(QStringLiteral("http://h/a/b.txt"), QStringLiteral("text/plain")),
              QStringLiteral("b.txt"));
    EXPECT_EQ(DownloadFileName(QStringLiteral("http://h/a/"), html), QStringLiteral("index.html"));
    EXPECT_EQ(DownloadFileName(QStringLiteral("http://h"), QString()),
              QStringLiteral("index.html"));
    EXPECT_EQ(DownloadFileName(QStringLiteral("http://h/about"), html),
              QStringLiteral("about.html"));
    EXPECT_EQ(DownloadFileName(QStringLiteral("http://h/README"), QStringLiteral("text/plain")),
              QStringLiteral("README"));
    EXPECT_EQ(DownloadFileName(QStringLiteral("http://h/a/..%2F..%2Fetc"), html)
                  .contains(QLatin1Char('/')),
              false);
    EXPECT_EQ(DownloadFileName(QStringLiteral("http://h/.hidden.html"), html),
              QStringLiteral("hidden.html"));
    EXPECT_EQ(DownloadFileName(QStringLiteral("http://h/.."), html), QStringLiteral("index.html"));
    const QString longName = DownloadFileName(
        QStringLiteral("http://h/") + QString(400, QLatin1Char('n')) + QStringLiteral(".html"),
        html);
    EXPECT_LE(longName.size(), 120);
    EXPECT_TRUE(longName.endsWith(QLatin1String(".html")));

    // Capped in bytes, cut between characters: never half of a multi-byte character or of a
    // surrogate pair.
    const struct {
        QString name;
        QString expected;
    } cases[] = {
        {QString(100, QChar(0x6f22)) + QStringLiteral(".html"),
         QString(38, QChar(0x6f22)) + QStringLiteral(".html")},
        {QStringLiteral("\U0001F600").repeated(60) + QStringLiteral(".htm"),
         QStringLiteral("\U0001F600").repeated(29) + QStringLiteral(".htm")},
        {QStringLiteral("a") + QStringLiteral("\U0001F600").repeated(60),
         QStringLiteral("a") + QStringLiteral("\U0001F600").repeated(29) + QStringLiteral(".html")},
        {QString(200, QChar(0xe9)), QString(60, QChar(0xe9)) + QStringLiteral(".html")},
    };
    for (const auto& c : cases) {
        const QString address =
            QStringLiteral("http://h/") + QString::fromLatin1(QUrl::toPercentEncoding(c.name));
        const QString name = DownloadFileName(address, html);
        EXPECT_EQ(name, c.expected) << name.toStdString();
        EXPECT_LE(platform::EncodeFileName(name).size(), 120 + 5) << name.toStdString();
    }
}

TEST(DownloadCache, StaleFilesGoAndCopiesAreRemovedOnceRead) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString old = folder.filePath(QStringLiteral("old.html"));
    const QString partial = folder.filePath(QStringLiteral(".download-abc123.part"));
    const QString fresh = folder.filePath(QStringLiteral("fresh.html"));
    for (const QString& path : {old, partial, fresh})
        WriteFile(path, "x");
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("sub")));
    const QDateTime twoDaysAgo = QDateTime::currentDateTime().addDays(-2);
    for (const QString& path : {old, partial}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(twoDaysAgo, QFileDevice::FileModificationTime));
    }
    EXPECT_EQ(RemoveStaleDownloads(folder.path(), std::chrono::hours(24)), 2);
    EXPECT_EQ(Entries(folder.path()), QStringList{QStringLiteral("fresh.html")});
    EXPECT_TRUE(QFileInfo(folder.filePath(QStringLiteral("sub"))).isDir());

    // A copy goes when its owner does, or when it is removed; moving hands it on.
    {
        DownloadedCopy copy(fresh);
        DownloadedCopy moved = std::move(copy);
        EXPECT_TRUE(copy.path().isEmpty());
        EXPECT_EQ(moved.path(), fresh);
        copy.remove(); // empty: nothing happens
        EXPECT_TRUE(QFileInfo::exists(fresh));
    }
    EXPECT_FALSE(QFileInfo::exists(fresh));
    WriteFile(fresh, "y");
    DownloadedCopy early(fresh);
    early.remove();
    EXPECT_FALSE(QFileInfo::exists(fresh));
    early.remove();
}

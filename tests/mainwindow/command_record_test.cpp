// Command records: the wire format, the receiver's answers and the local server that carries
// them, with senders on threads of their own as other programs would be.

#include "common/TestSupport.h"
#include "mainwindow/CommandRecord.h"
#include "mainwindow/CommandRecordServer.h"
#include "platform/RuntimeFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <future>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Serves the event loop until `future` is ready (at most 10 s) and answers its value.
template <typename T> T ServeUntil(std::future<T>& future) {
    QElapsedTimer clock;
    clock.start();
    while (future.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready &&
           clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(future.wait_for(std::chrono::milliseconds(0)), std::future_status::ready);
    return future.get();
}

std::future<SentRecord> SendLater(const QString& path, quint32 kind, const QString& line) {
    return std::async(std::launch::async,
                      [=] { return SendCommandRecord(path, kind, line, 10000); });
}

// Writes raw bytes, optionally keeps the connection open, and answers what comes back.
std::future<QByteArray> ExchangeLater(const QString& path, QByteArray bytes) {
    return std::async(std::launch::async, [=] {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(3000))
            return QByteArray("no connection");
        socket.write(bytes);
        socket.waitForBytesWritten(3000);
        QByteArray answer;
        while (socket.waitForReadyRead(8000) || socket.bytesAvailable() > 0) {
            answer += socket.readAll();
            if (socket.state() != QLocalSocket::ConnectedState)
                break;
        }
        return answer;
    });
}

QByteArray Reply(qint32 value) {
    return EncodeCommandReply(value);
}

class CommandRecords : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = CommandRecordSocketPath(dir.path());
    }

    // A server whose handler notes what it got and answers `reply`.
    std::unique_ptr<CommandRecordServer> serve(qint32 reply = crAccepted) {
        auto server =
            std::make_unique<CommandRecordServer>([this, reply](quint32 kind, const QString& line) {
                handled << QStringLiteral("%1 %2").arg(kind).arg(line);
                return reply;
            });
        EXPECT_EQ(server->Listen(path), CommandRecordServer::ListenResult::Listening)
            << server->errorString().toStdString();
        return server;
    }

    QTemporaryDir dir;
    QString path;
    QStringList handled;
};

} // namespace

TEST(CommandRecordFormat, RecordsAreReadWholeAndRefusedWhenOversizedOrFollowed) {
    const QByteArray record = EncodeCommandRecord(0x01020304, QStringLiteral("kelvane -v a"));
    EXPECT_EQ(record.left(4), QByteArray("\x04\x03\x02\x01", 4)) << "little-endian";
    EXPECT_TRUE(record.endsWith('\0'));
    EXPECT_EQ(DecodeCommandReply(QByteArray("\xff\xff\xff\xff", 4)), -1);
    EXPECT_EQ(DecodeCommandReply(QByteArray("\x01\x00\x00", 3)), std::nullopt);

    using State = CommandRecordReader::State;
    {
        CommandRecordReader reader; // one byte at a time
        for (qsizetype i = 0; i + 1 < record.size(); ++i)
            ASSERT_EQ(reader.Feed(record.mid(i, 1)), State::Incomplete);
        EXPECT_EQ(reader.Feed(record.right(1)), State::Complete);
        EXPECT_EQ(reader.kind(), 0x01020304u);
        EXPECT_EQ(reader.commandLine(), QStringLiteral("kelvane -v a"));
    }
    {
        CommandRecordReader reader; // a name that is not UTF-8 keeps its bytes
        EXPECT_EQ(reader.Feed(QByteArray("\0\0\0\0k \xe9.html\0", 13)), State::Complete);
        EXPECT_EQ(EncodeCommandRecord(0, reader.commandLine()).mid(4),
                  QByteArray("k \xe9.html\0", 9));
    }
    const struct {
        const char* what;
        QByteArray bytes;
        State state;
    } cases[] = {
        {"zero inside the kind", QByteArray("\0\0\0\0", 4), State::Incomplete},
        {"bytes after the record", record + "x", State::Refused},
        {"just at the limit",
         QByteArray(4, '\0') + QByteArray(kMaxCommandRecordBytes - 5, 'a') + QByteArray(1, '\0'),
         State::Complete},
        {"one byte over",
         QByteArray(4, '\0') + QByteArray(kMaxCommandRecordBytes - 4, 'a') + QByteArray(1, '\0'),
         State::Refused},
        {"no end in sight", QByteArray(4 * kMaxCommandRecordBytes, 'a'), State::Refused},
    };
    for (const auto& c : cases) {
        CommandRecordReader reader;
        EXPECT_EQ(reader.Feed(c.bytes), c.state) << c.what;
    }
}

TEST(CommandRecordFormat, ReceiverAnswersByKindParseAndJob) {
    QList<ParsedCommandLine> ran;
    auto job = [&](bool result) {
        return [&ran, result](const ParsedCommandLine& parsed) {
            ran.append(parsed);
            return result;
        };
    };
    EXPECT_EQ(AnswerCommandRecord(1, QStringLiteral("k -v a.html"), job(true)), crNotHandled);
    EXPECT_EQ(AnswerCommandRecord(0, QStringLiteral("k a b c"), job(true)), crAccepted);
    EXPECT_TRUE(ran.isEmpty()) << "neither runs a job";

    EXPECT_EQ(AnswerCommandRecord(0, QStringLiteral("k -v a.html r.txt"), job(true)), crAccepted);
    EXPECT_EQ(AnswerCommandRecord(0, QStringLiteral("k"), job(false)), crFailed);
    ASSERT_EQ(ran.size(), 2);
    EXPECT_EQ(ran[0].Mode.JobKind, jkValidate);
    EXPECT_EQ(ran[0].InputName, QStringLiteral("a.html")) << "the first token is skipped";
    EXPECT_EQ(ran[0].OutputName, QStringLiteral("r.txt"));
    EXPECT_TRUE(ran[1].interactive()) << "a bare program path still reaches the job runner";

    // While the window's dialogs are in use, only the validation of a file into a named
    // report gets through.
    ran.clear();
    const struct {
        const char* line;
        qint32 reply;
    } guarded[] = {
        {"k -v a.html r.txt", crAccepted},
        {"k -v a.html", crNotHandled},
        {"k -v http://example.org/ r.txt", crNotHandled},
        {"k -t a.html b.html", crNotHandled},
        {"k a b c", crAccepted},
    };
    for (const auto& c : guarded)
        EXPECT_EQ(AnswerCommandRecord(0, QLatin1String(c.line), job(true), RunsWithoutDialogs),
                  c.reply)
            << c.line;
    EXPECT_EQ(ran.size(), 1);
}

TEST_F(CommandRecords, RecordsTravelAndAreAnsweredOneByOne) {
    const auto server = serve(crFailed);
    auto sent = SendLater(path, 0, QStringLiteral("kelvane -v \"my page.html\""));
    const SentRecord result = ServeUntil(sent);
    EXPECT_EQ(result.status, SentRecord::Status::Replied) << result.error.toStdString();
    EXPECT_EQ(result.reply, crFailed);
    EXPECT_EQ(handled, QStringList{"0 kelvane -v \"my page.html\""});

    // A record that cannot end within the limit is answered 0 at once, unheard.
    auto answer =
        ExchangeLater(path, QByteArray(4, '\0') + QByteArray(kMaxCommandRecordBytes - 4, 'a'));
    EXPECT_EQ(ServeUntil(answer), Reply(crNotHandled));
    EXPECT_EQ(handled.size(), 1);
    EXPECT_TRUE(server->isListening());
}

TEST_F(CommandRecords, HalfARecordTimesOutWithoutHoldingUpOthers) {
    const auto server = serve();
    constexpr int kTimeoutMs = 1500;
    server->setRecordTimeout(kTimeoutMs);
    QElapsedTimer clock;
    clock.start();
    auto stalled = ExchangeLater(path, QByteArray("\0\0\0\0kelvane -v", 14));
    // Meanwhile another sender is served at once.
    auto sent = SendLater(path, 0, QStringLiteral("kelvane -v a"));
    EXPECT_EQ(ServeUntil(sent).reply, crAccepted);
    EXPECT_NE(stalled.wait_for(std::chrono::milliseconds(0)), std::future_status::ready);
    EXPECT_EQ(ServeUntil(stalled), Reply(crNotHandled));
    EXPECT_GE(clock.elapsed(), kTimeoutMs * 9 / 10); // a coarse timer may fire 5 % early
    EXPECT_EQ(handled, QStringList{"0 kelvane -v a"});
}

TEST_F(CommandRecords, ASecondRecordWhileAJobRunsIsRefusedAndTheFirstGoesOn) {
    std::future<SentRecord> second;
    SentRecord secondResult;
    CommandRecordServer server([&](quint32, const QString& line) {
        handled << line;
        // The job's dialog turns the event loop; the second record arrives meanwhile.
        second = SendLater(path, 0, QStringLiteral("kelvane -t b"));
        secondResult = ServeUntil(second);
        return crAccepted;
    });
    ASSERT_EQ(server.Listen(path), CommandRecordServer::ListenResult::Listening);
    auto first = SendLater(path, 0, QStringLiteral("kelvane -t a"));
    const SentRecord firstResult = ServeUntil(first);
    EXPECT_EQ(firstResult.reply, crAccepted);
    EXPECT_EQ(secondResult.status, SentRecord::Status::Replied);
    EXPECT_EQ(secondResult.reply, crNotHandled);
    EXPECT_EQ(handled, QStringList{"kelvane -t a"});
}

TEST_F(CommandRecords, AStaleSocketIsRecoveredALiveOneNeverTakenOver) {
    // A copy that died leaves its socket file behind, with nobody listening.
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray native = path.toUtf8();
        std::memcpy(address.sun_path, native.constData(), native.size());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    auto nobody = SendLater(path, 0, QStringLiteral("kelvane -v a"));
    EXPECT_EQ(ServeUntil(nobody).status, SentRecord::Status::NoProgram);

    auto first = serve();
    auto sent = SendLater(path, 0, QStringLiteral("kelvane -v a"));
    EXPECT_EQ(ServeUntil(sent).reply, crAccepted);

    CommandRecordServer second([](quint32, const QString&) { return crFailed; });
    EXPECT_EQ(second.Listen(path), CommandRecordServer::ListenResult::AnotherCopyServes);
    EXPECT_FALSE(second.isListening());
    sent = SendLater(path, 0, QStringLiteral("kelvane -v b"));
    EXPECT_EQ(ServeUntil(sent).reply, crAccepted) << "the first copy still answers";

    first.reset();
    EXPECT_FALSE(QFileInfo::exists(path)) << "a server that ends takes its socket along";
    WriteAll(path, "not a socket");
    CommandRecordServer third([](quint32, const QString&) { return crFailed; });
    EXPECT_EQ(third.Listen(path), CommandRecordServer::ListenResult::Failed);
    EXPECT_EQ(ReadAll(path), QByteArray("not a socket")) << "what is not ours stays";
}

TEST(CommandRecordFolder, AFolderNameTakenByAnotherUserStillLeadsSendersToTheWindow) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "a squatter of another user needs root to start it with setpriv";
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        GTEST_SKIP() << "setpriv is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString temporary = dir.filePath(QStringLiteral("tmp"));
    ASSERT_TRUE(QDir().mkdir(temporary));
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(temporary).constData(), 01777), 0);
    const ScopedEnv tmp("TMPDIR", temporary);
    const ScopedEnv noRuntime("XDG_RUNTIME_DIR", QString());

    // Another user takes the usual name first, and a name of the unique pattern as a decoy.
    const QString usual = temporary + QStringLiteral("/kelvane-0");
    for (const QString& name : {usual, usual + QStringLiteral(".AAAAAA")}) {
        EXPECT_EQ(QProcess::execute(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups",
                                              "mkdir", "-m", "700", name}),
                  0);
    }

    QStringList handled;
    CommandRecordServer server([&](quint32, const QString& line) {
        handled << line;
        return crAccepted;
    });
    ASSERT_EQ(server.ListenInRuntimeFolder(), CommandRecordServer::ListenResult::Listening)
        << server.errorString().toStdString();
    const QString folder = QFileInfo(server.socketPath()).path();
    EXPECT_TRUE(folder.startsWith(usual + QLatin1Char('.'))) << folder.toStdString();
    EXPECT_NE(folder, usual + QStringLiteral(".AAAAAA"));
    EXPECT_TRUE(platform::IsPrivateFolder(folder));

    // kelvane-send finds it as a user runs it.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temporary);
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    const ProgramOutcome sent =
        RunServingEvents(BinPath(QStringLiteral("kelvane-send")), {"-v", "page.html", "report.txt"},
                         environment, dir.path());
    EXPECT_EQ(sent.exitCode, 0) << sent.err.constData();
    ASSERT_EQ(handled.size(), 1);
    EXPECT_EQ(handled[0], QStringLiteral("kelvane -v %1/page.html %1/report.txt").arg(dir.path()));

    // A second copy meets the first at the same socket instead of opening a folder of its own.
    CommandRecordServer second([](quint32, const QString&) { return crFailed; });
    EXPECT_EQ(second.ListenInRuntimeFolder(), CommandRecordServer::ListenResult::AnotherCopyServes);
    EXPECT_EQ(second.socketPath(), server.socketPath());
}

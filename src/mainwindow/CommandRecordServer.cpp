#include "mainwindow/CommandRecordServer.h"

#include "platform/FileNames.h"
#include "platform/RuntimeFolder.h"
#include "platform/UniqueFd.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace {

// Senders served at once; more are turned away, so that memory stays bounded.
constexpr int kMaxConnections = 16;
// How long a start waits for another copy that is setting up its socket.
constexpr int kLockAttempts = 100;
constexpr unsigned long kLockPauseMs = 20;

QString SystemError(const QString& what) {
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

enum class Probe { Free, Stale, Live, Unusable };

// What is at the socket's path: nothing, a socket nobody listens on any more (its program
// died), a socket a live copy answers on, or something that is no socket of ours.
Probe ProbeSocket(const QByteArray& path, QString& error) {
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0) {
        if (errno == ENOENT)
            return Probe::Free;
        error = SystemError(platform::DisplayFileName(platform::DecodeFileName(path)));
        return Probe::Unusable;
    }
    if (!S_ISSOCK(info.st_mode) || info.st_uid != ::getuid()) {
        error = QStringLiteral("%1 is not a socket of this user")
                    .arg(platform::DisplayFileName(platform::DecodeFileName(path)));
        return Probe::Unusable;
    }
    const platform::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) {
        error = SystemError(QStringLiteral("socket"));
        return Probe::Unusable;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), path.size());
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return Probe::Live;
    if (errno == ECONNREFUSED)
        return Probe::Stale;
    if (errno == EAGAIN || errno == EINPROGRESS)
        return Probe::Live; // alive, its queue is just full
    error = SystemError(platform::DisplayFileName(platform::DecodeFileName(path)));
    return Probe::Unusable;
}

// Held while one start looks at the socket and listens, so that two copies starting together
// cannot both take the socket for stale and replace each other's. Answers the locked
// descriptor, or -1.
int LockSocketSetUp(const QByteArray& path, QString& error) {
    platform::UniqueFd fd(
        ::open((path + ".lock").constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
        error = SystemError(QStringLiteral("lock"));
        return -1;
    }
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
            return fd.release();
        QThread::msleep(kLockPauseMs);
    }
    error = QStringLiteral("another copy is still setting up its socket");
    return -1;
}

} // namespace

class CommandRecordServer::Connection : public QObject {
public:
    Connection(QLocalSocket* socket, CommandRecordServer* server)
        : QObject(server), m_socket(socket), m_server(server) {
        socket->setParent(this);
        m_timer.setSingleShot(true);
        m_timer.callOnTimeout(this, [this] { Reply(crNotHandled); });
        m_timer.start(server->m_recordTimeoutMs);
        connect(socket, &QLocalSocket::readyRead, this, &Connection::Read);
        connect(socket, &QLocalSocket::disconnected, this, [this] {
            if (!m_inFlight)
                Finish();
        });
        Read();
    }

    const CommandRecordReader& reader() const { return m_reader; }
    bool open() const { return m_socket->state() == QLocalSocket::ConnectedState; }
    void setInFlight(bool inFlight) { m_inFlight = inFlight; }

    // Answers and closes; the connection goes with the next turn of the event loop.
    void Reply(qint32 reply) {
        if (m_done)
            return;
        disconnect(m_socket, nullptr, this, nullptr);
        if (open()) {
            m_socket->write(EncodeCommandReply(reply));
            m_socket->flush();
            m_socket->disconnectFromServer();
        }
        Finish();
    }

private:
    void Read() {
        while (m_socket->bytesAvailable() > 0) {
            const QByteArray bytes = m_socket->read(kMaxCommandRecordBytes);
            switch (m_reader.Feed(bytes)) {
            case CommandRecordReader::State::Incomplete:
                break;
            case CommandRecordReader::State::Refused:
                Reply(crNotHandled);
                return;
            case CommandRecordReader::State::Complete:
                m_timer.stop();
                disconnect(m_socket, &QLocalSocket::readyRead, this, &Connection::Read);
                m_server->Dispatch(this);
                return;
            }
        }
    }

    void Finish() {
        if (std::exchange(m_done, true))
            return;
        m_timer.stop();
        disconnect(m_socket, nullptr, this, nullptr);
        m_server->Forget(this);
    }

    QLocalSocket* m_socket;
    CommandRecordServer* m_server;
    QTimer m_timer;
    CommandRecordReader m_reader;
    bool m_inFlight = false;
    bool m_done = false;
};

CommandRecordServer::CommandRecordServer(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_server(new QLocalServer(this)) {
    connect(m_server, &QLocalServer::newConnection, this, &CommandRecordServer::Accept);
}

CommandRecordServer::~CommandRecordServer() {
    // Closing removes the socket file, so the next start finds the name free.
    m_server->close();
}

bool CommandRecordServer::isListening() const {
    return m_server->isListening();
}

CommandRecordServer::ListenResult CommandRecordServer::ListenInRuntimeFolder() {
    const QString folder = platform::PrivateRuntimeFolder(true, &m_error);
    if (folder.isEmpty())
        return ListenResult::Failed;
    return Listen(CommandRecordSocketPath(folder));
}

CommandRecordServer::ListenResult CommandRecordServer::Listen(const QString& socketPath) {
    m_path = socketPath;
    m_error.clear();
    const QByteArray native = platform::EncodeFileName(socketPath);
    if (native.size() >= qsizetype(sizeof(sockaddr_un::sun_path))) {
        m_error = QStringLiteral("the socket path %1 is too long")
                      .arg(platform::DisplayFileName(socketPath));
        return ListenResult::Failed;
    }
    const platform::UniqueFd lock(LockSocketSetUp(native, m_error));
    if (lock.get() < 0)
        return ListenResult::Failed;

    switch (ProbeSocket(native, m_error)) {
    case Probe::Live:
        return ListenResult::AnotherCopyServes;
    case Probe::Unusable:
        return ListenResult::Failed;
    case Probe::Stale:
        if (::unlink(native.constData()) != 0 && errno != ENOENT) {
            m_error = SystemError(platform::DisplayFileName(socketPath));
            return ListenResult::Failed;
        }
        break;
    case Probe::Free:
        break;
    }
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socketPath)) {
        m_error = m_server->errorString();
        return ListenResult::Failed;
    }
    return ListenResult::Listening;
}

void CommandRecordServer::Accept() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        if (m_connections >= kMaxConnections ||
            !platform::PeerIsCurrentUser(static_cast<int>(socket->socketDescriptor()))) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_connections;
        new Connection(socket, this);
    }
}

void CommandRecordServer::Dispatch(Connection* connection) {
    if (m_handling) {
        connection->Reply(crNotHandled);
        return;
    }
    // The job runs from the event loop, not inside the socket's own signal: its dialogs turn
    // the loop, in which this connection may close.
    connection->setInFlight(true);
    QPointer<Connection> guard(connection);
    QMetaObject::invokeMethod(
        this,
        [this, guard] {
            if (!guard)
                return;
            if (m_handling) {
                guard->Reply(crNotHandled);
                return;
            }
            m_handling = true;
            qint32 reply = crFailed;
            try {
                reply = m_handler(guard->reader().kind(), guard->reader().commandLine());
            } catch (...) {
                reply = crFailed;
            }
            m_handling = false;
            if (guard)
                guard->Reply(reply);
        },
        Qt::QueuedConnection);
}

void CommandRecordServer::Forget(Connection* connection) {
    --m_connections;
    connection->deleteLater();
}

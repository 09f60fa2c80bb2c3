#pragma once
// A tiny HTTP server on 127.0.0.1 for download tests. It answers from the event loop of the
// test (or of a modal window the test runs), one canned handler per path.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

class LocalHttpServer {
public:
    // Writes the answer on the socket; may keep the socket open to answer later (or never).
    using Handler = std::function<void(QTcpSocket* socket)>;

    LocalHttpServer() {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                QObject::connect(socket, &QTcpSocket::readyRead, &m_server,
                                 [this, socket] { Read(socket); });
        });
    }

    quint16 port() const { return m_server.serverPort(); }
    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
    }
    // Paths of the requests received so far, in order.
    const QList<QByteArray>& requests() const { return m_requests; }

    void route(const QByteArray& path, Handler handler) {
        m_routes.insert(path, std::move(handler));
    }

    // A complete answer; without Content-Length the end of the body is the end of the connection.
    static Handler Page(const QByteArray& body, const QByteArray& status = "200 OK",
                        const QByteArray& contentType = "text/html", bool withLength = true) {
        return [=](QTcpSocket* socket) {
            QByteArray head = "HTTP/1.1 " + status + "\r\nContent-Type: " + contentType +
                              "\r\nConnection: close\r\n";
            if (withLength)
                head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
            socket->write(head + "\r\n" + body);
            socket->disconnectFromHost();
        };
    }

    static Handler Chunked(const QList<QByteArray>& chunks) {
        return [=](QTcpSocket* socket) {
            QByteArray out = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                             "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
            for (const QByteArray& chunk : chunks)
                out += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
            socket->write(out + "0\r\n\r\n");
            socket->disconnectFromHost();
        };
    }

    // Promises `total` bytes, sends the first `sent`, then stalls.
    static Handler Stalled(qint64 total, qint64 sent) {
        return [=](QTcpSocket* socket) {
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                          QByteArray::number(total) + "\r\n\r\n" + QByteArray(sent, 'x'));
        };
    }

    static Handler Redirect(const QByteArray& location) {
        return [=](QTcpSocket* socket) {
            socket->write("HTTP/1.1 302 Found\r\nLocation: " + location +
                          "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
        };
    }

    // A port on 127.0.0.1 that nobody listens on.
    static quint16 ClosedPort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        return port;
    }

private:
    void Read(QTcpSocket* socket) {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        if (m_answered.contains(socket) || !buffer.contains("\r\n\r\n"))
            return;
        m_answered.insert(socket);
        const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
        const QByteArray path = requestLine.value(1);
        m_requests.append(path);
        const auto route = m_routes.constFind(path);
        if (route != m_routes.constEnd())
            (*route)(socket);
        else
            Page("not here", "404 Not Found", "text/plain")(socket);
    }

    QTcpServer m_server;
    QHash<QByteArray, Handler> m_routes;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QSet<QTcpSocket*> m_answered;
    QList<QByteArray> m_requests;
};

#include "support/WebAddress.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <algorithm>

namespace {

// Addresses that the parser cannot split give an invalid QUrl.
QUrl SplitAddress(const QString& address) {
    QUrl url(address.trimmed(), QUrl::TolerantMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return {};
    return url;
}

bool IsHttpScheme(const QString& scheme) {
    return scheme.compare(QLatin1String("http"), Qt::CaseInsensitive) == 0 ||
           scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

} // namespace

bool IsWebAddress(const QString& address) {
    return address.contains(QLatin1String("http://")) ||
           address.contains(QLatin1String("https://"));
}

QString UrlScheme(const QString& address) {
    return SplitAddress(address).scheme();
}

QString UrlHost(const QString& address) {
    return SplitAddress(address).host();
}

QString UrlPath(const QString& address) {
    return SplitAddress(address).path();
}

QString UrlFileName(const QString& address) {
    const QString path = UrlPath(address);
    qsizetype cut = -1;
    for (const QChar separator : {QLatin1Char('/'), QLatin1Char('\\'), QLatin1Char(':')})
        cut = std::max(cut, path.lastIndexOf(separator));
    return path.mid(cut + 1);
}

bool NeedsNoConnection(const QString& address) {
    if (!IsHttpScheme(UrlScheme(address)))
        return true;
    const QString path = UrlPath(address);
    return !path.isEmpty() && QFileInfo(path).isFile();
}

bool IsLoopbackHost(const QString& host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress ip(host);
    return !ip.isNull() && ip.isLoopback();
}

std::optional<ConnectionTarget> ConnectionTargetFor(const QString& address) {
    const QUrl url = SplitAddress(address);
    if (url.host().isEmpty())
        return std::nullopt;
    const bool secure = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    ConnectionTarget target{url.host(), static_cast<quint16>(url.port(secure ? 443 : 80))};
    if (IsLoopbackHost(target.host))
        return target;
    // Behind a proxy the page comes through the proxy, so that is what has to answer.
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    if (!proxies.isEmpty()) {
        const QNetworkProxy& proxy = proxies.first();
        if (proxy.type() != QNetworkProxy::NoProxy && proxy.type() != QNetworkProxy::DefaultProxy &&
            !proxy.hostName().isEmpty())
            target = {proxy.hostName(), proxy.port()};
    }
    return target;
}

bool HasConnection(const QString& address, int timeoutMs) {
    const std::optional<ConnectionTarget> target = ConnectionTargetFor(address);
    if (!target || target->port == 0)
        return false;
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    if (!QCoreApplication::instance()) {
        // No event loop to wait in (only a program without an application object gets here).
        socket.connectToHost(target->host, target->port);
        const bool connected = socket.waitForConnected(timeoutMs);
        socket.abort();
        return connected;
    }
    // waitForConnected would look the name up with a blocking call that knows no time-out:
    // the lookup and the connection both run in the event loop, under one time limit.
    enum class Outcome { Waiting, Connected, Failed };
    Outcome outcome = Outcome::Waiting;
    QEventLoop loop;
    const auto settle = [&](Outcome result) {
        if (outcome == Outcome::Waiting)
            outcome = result;
        loop.quit();
    };
    QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] { settle(Outcome::Connected); });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, [&] { settle(Outcome::Failed); });
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] { settle(Outcome::Failed); });
    timer.start(std::max(timeoutMs, 0));
    socket.connectToHost(target->host, target->port);
    if (outcome == Outcome::Waiting)
        loop.exec(QEventLoop::ExcludeUserInputEvents); // repaints go on; clicks wait
    socket.abort();
    return outcome == Outcome::Connected;
}

QString DownloadStatusText(const QString& address) {
    QString name = UrlFileName(address);
    if (name.isEmpty())
        name = QStringLiteral("Downloading");
    return name + QLatin1Char(' ') + QStringLiteral("from") + QStringLiteral(" (") +
           UrlHost(address) + QLatin1Char(')');
}

#include "support/WebTransfer.h"

#include "platform/FileFunctions.h"
#include "support/WebAddress.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Longest file name we give a download, in bytes of the file system's name, suffix included:
// well below NAME_MAX (255), with room for the suffix that makes a name unique.
constexpr qsizetype kMaxNameBytes = 120;
// A suffix ("-2" ... "-9") is tried this many times before random ones are.
constexpr int kCountedNames = 9;
// Random suffixes tried before giving up: each of 2^64 names, so only a failure of the folder
// itself can end the search.
constexpr int kRandomNames = 64;
// Downloads left behind (the program was killed before it removed them) go after this long.
constexpr std::chrono::hours kStaleDownloadAge{24};
// What the reply may hold before it stops reading from the network until we have taken it,
// and how much is taken at a time: memory stays bounded however fast the server sends.
constexpr qint64 kReplyBufferBytes = qint64(1) << 20;
constexpr qint64 kChunkBytes = qint64(64) << 10;

QString SizeText(qint64 bytes) {
    if (bytes >= (qint64(1) << 20) && bytes % (qint64(1) << 20) == 0)
        return QStringLiteral("%1 MB").arg(bytes >> 20);
    return QStringLiteral("%1 bytes").arg(bytes);
}

QString SecondsText(std::chrono::milliseconds time) {
    return QStringLiteral("%1 s").arg(double(time.count()) / 1000.0);
}

// The system's proxy settings, except that loopback hosts are always reached directly.
class SystemProxyFactory final : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
        if (IsLoopbackHost(query.peerHostName()))
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        return systemProxyForQuery(query);
    }
};

bool IsHtmlType(const QString& contentType) {
    const QString type = contentType.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
    return type == QLatin1String("text/html") || type == QLatin1String("application/xhtml+xml");
}

// The longest start of `text` whose file-system name has at most `bytes` bytes, cut between
// characters (never inside a surrogate pair).
QString CutToBytes(const QString& text, qsizetype bytes) {
    qsizetype used = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const qsizetype width = text.at(end).isHighSurrogate() && end + 1 < text.size() &&
                                        text.at(end + 1).isLowSurrogate()
                                    ? 2
                                    : 1;
        const qsizetype size = platform::EncodeFileName(text.mid(end, width)).size();
        if (used + size > bytes)
            break;
        used += size;
        end += width;
    }
    return text.left(end);
}

QString SafeFileName(QString name) {
    for (QChar& c : name)
        if (c.unicode() < 0x20 || c == QLatin1Char('/') || c == QLatin1Char('\\') ||
            c == QChar(0x7f))
            c = QLatin1Char('_');
    name = name.trimmed();
    // A leading dot would hide the file (and "." or ".." are no names at all).
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    if (platform::EncodeFileName(name).size() > kMaxNameBytes) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        QString suffix = dot > 0 && name.size() - dot <= 16 ? name.mid(dot) : QString();
        if (platform::EncodeFileName(suffix).size() > 16)
            suffix.clear();
        const QString stem = suffix.isEmpty() ? name : name.left(dot);
        name = CutToBytes(stem, kMaxNameBytes - platform::EncodeFileName(suffix).size()) + suffix;
    }
    return name;
}

// Whether anything (a file, a folder, a dangling link ...) has the name.
bool NameTaken(const QString& path) {
    struct stat info {};
    return ::lstat(platform::EncodeFileName(path).constData(), &info) == 0;
}

// Renames `partial` to `name` in `folder`, or to the first free "stem-2.html" ... "stem-9.html",
// then to "stem-<random>.html": earlier downloads are never replaced and the names cannot run
// out. Answers the new path, or nothing when the folder refuses the file.
QString StoreUnderFreeName(const QString& partial, const QString& folder, const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString suffix = dot > 0 ? name.mid(dot) : QString();
    for (int attempt = 1; attempt <= kCountedNames + kRandomNames; ++attempt) {
        QString candidate = folder + QLatin1Char('/');
        if (attempt == 1)
            candidate += name;
        else if (attempt <= kCountedNames)
            candidate += QStringLiteral("%1-%2%3").arg(stem).arg(attempt).arg(suffix);
        else
            candidate +=
                QStringLiteral("%1-%2%3")
                    .arg(stem)
                    .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'))
                    .arg(suffix);
        if (platform::MoveFileNoReplace(partial, candidate))
            return candidate;
        if (!NameTaken(candidate))
            return {}; // refused for another reason: another name will not help
    }
    return {};
}

} // namespace

int RemoveStaleDownloads(const QString& folder, std::chrono::seconds age) {
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-age.count());
    int removed = 0;
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.isFile() && entry.lastModified().toUTC() < before &&
            platform::DeleteFile(entry.absoluteFilePath()))
            ++removed;
    }
    return removed;
}

DownloadedCopy::DownloadedCopy(QString path) : m_path(std::move(path)) {}

DownloadedCopy::~DownloadedCopy() {
    remove();
}

DownloadedCopy::DownloadedCopy(DownloadedCopy&& other) noexcept
    : m_path(std::exchange(other.m_path, QString())) {}

DownloadedCopy& DownloadedCopy::operator=(DownloadedCopy&& other) noexcept {
    if (this != &other) {
        remove();
        m_path = std::exchange(other.m_path, QString());
    }
    return *this;
}

void DownloadedCopy::remove() {
    if (!m_path.isEmpty())
        ::unlink(platform::EncodeFileName(m_path).constData());
    m_path.clear();
}

QString DefaultDownloadFolder() {
    QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (cache.isEmpty())
        cache = QDir::tempPath() + QStringLiteral("/kelvane-cache");
    return cache + QStringLiteral("/downloads");
}

QString DownloadFileName(const QString& address, const QString& contentType) {
    QString name = SafeFileName(UrlFileName(address));
    if (name.isEmpty())
        return QStringLiteral("index.html");
    if (!name.contains(QLatin1Char('.')) && IsHtmlType(contentType))
        name += QStringLiteral(".html");
    return name;
}

WebTransfer::WebTransfer(QObject* parent) : QObject(parent) {}

WebTransfer::~WebTransfer() {
    if (isRunning()) {
        blockSignals(true);
        Finish(State::Cancelled);
    }
}

void WebTransfer::setTargetFolder(const QString& folder) {
    m_folder = folder;
}

void WebTransfer::start(const QString& address) {
    if (m_state != State::Idle)
        return;
    m_address = address.trimmed();
    m_state = State::Probing;

    const QUrl url(m_address, QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    QString refusal;
    if (!url.isValid() || url.host().isEmpty())
        refusal = QStringLiteral("Not a valid web address: %1").arg(m_address);
    else if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        refusal = QStringLiteral("Unsupported address scheme: %1").arg(url.scheme());
    if (!refusal.isEmpty()) {
        QMetaObject::invokeMethod(
            this,
            [this, refusal] {
                if (m_state == State::Probing)
                    Fail(refusal);
            },
            Qt::QueuedConnection);
        return;
    }

    if (NeedsNoConnection(m_address)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_state == State::Probing)
                    SendRequest();
            },
            Qt::QueuedConnection);
        return;
    }

    // A quick connection check first, so that without a network nothing is requested.
    const std::optional<ConnectionTarget> target = ConnectionTargetFor(m_address);
    m_probe = new QTcpSocket(this);
    m_probe->setProxy(QNetworkProxy::NoProxy);
    m_probeTimer = new QTimer(this);
    m_probeTimer->setSingleShot(true);
    connect(
        m_probe, &QTcpSocket::connected, this, [this] { ConnectionChecked(true); },
        Qt::QueuedConnection);
    connect(
        m_probe, &QTcpSocket::errorOccurred, this, [this] { ConnectionChecked(false); },
        Qt::QueuedConnection);
    connect(m_probeTimer, &QTimer::timeout, this, [this] { ConnectionChecked(false); });
    m_probeTimer->start(kConnectionTimeoutMs);
    if (target && target->port != 0)
        m_probe->connectToHost(target->host, target->port);
    else
        QMetaObject::invokeMethod(
            this, [this] { ConnectionChecked(false); }, Qt::QueuedConnection);
}

void WebTransfer::cancel() {
    if (!isRunning())
        return;
    m_error = QStringLiteral("Cancelled");
    Finish(State::Cancelled);
}

void WebTransfer::ConnectionChecked(bool connected) {
    if (m_state != State::Probing)
        return;
    DropNetwork();
    if (!connected) {
        Fail(QStringLiteral("No connection to %1").arg(UrlHost(m_address)));
        return;
    }
    SendRequest();
}

void WebTransfer::SendRequest() {
    const QString folder = m_folder.isEmpty() ? DefaultDownloadFolder() : m_folder;
    if (!QDir().mkpath(folder)) {
        Fail(QStringLiteral("Cannot create the folder %1").arg(folder));
        return;
    }
    // Only the cache is ours to clear; a folder the caller chose may hold anything.
    if (m_folder.isEmpty())
        RemoveStaleDownloads(folder, kStaleDownloadAge);
    // The partial download is hidden and private, and goes away by itself unless kept.
    m_file = std::make_unique<QTemporaryFile>(folder + QStringLiteral("/.download-XXXXXX.part"));
    if (!m_file->open()) {
        Fail(QStringLiteral("Cannot create a file in %1: %2").arg(folder, m_file->errorString()));
        return;
    }

    if (!m_manager) {
        m_manager = new QNetworkAccessManager(this);
        m_manager->setProxyFactory(new SystemProxyFactory);
    }
    QNetworkRequest request(QUrl(m_address, QUrl::TolerantMode));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QByteArrayLiteral("Kelvane/" KELVANE_VERSION));

    m_state = State::Transferring;
    m_requestSent = true;
    m_reply = m_manager->get(request);
    m_reply->setReadBufferSize(kReplyBufferBytes);
    connect(m_reply, &QNetworkReply::readyRead, this, &WebTransfer::ReplyReadyRead);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &WebTransfer::ReplyMetaData);
    connect(m_reply, &QNetworkReply::finished, this, &WebTransfer::ReplyFinished);

    // The transfer's own clocks: Qt's transfer time-out restarts with every byte, so a server
    // that drips would hold the job for ever.
    m_deadlineTimer = new QTimer(this);
    m_deadlineTimer->setSingleShot(true);
    connect(m_deadlineTimer, &QTimer::timeout, this, [this] {
        Fail(QStringLiteral("The transfer took longer than %1 and was stopped")
                 .arg(SecondsText(m_limits.deadline)));
    });
    m_deadlineTimer->start(m_limits.deadline);
    m_receivedAtStallCheck = 0;
    m_stallTimer = new QTimer(this);
    connect(m_stallTimer, &QTimer::timeout, this, &WebTransfer::CheckStall);
    m_stallTimer->start(m_limits.stallTimeout);
}

void WebTransfer::CheckStall() {
    if (m_state != State::Transferring)
        return;
    if (m_received - m_receivedAtStallCheck < m_limits.stallBytes) {
        Fail(QStringLiteral("The server sent less than %1 in %2; the transfer was stopped")
                 .arg(SizeText(m_limits.stallBytes), SecondsText(m_limits.stallTimeout)));
        return;
    }
    m_receivedAtStallCheck = m_received;
}

void WebTransfer::ReplyMetaData() {
    if (m_state != State::Transferring)
        return;
    const qint64 expected = ExpectedSize();
    if (expected > m_limits.maxBytes) {
        Fail(QStringLiteral("The page is larger than %1, the most that can be tidied")
                 .arg(SizeText(m_limits.maxBytes)));
        return;
    }
    // Reported from the data itself: QNetworkReply throttles its own progress signal and can
    // stay silent about the first bytes of a stalling transfer.
    Q_EMIT progress(m_received, expected);
}

void WebTransfer::ReplyReadyRead() {
    if (m_state != State::Transferring || !m_reply)
        return;
    // A chunk at a time, so that memory holds no more than a chunk and the reply's buffer.
    if (m_chunk.size() != kChunkBytes)
        m_chunk.resize(kChunkBytes);
    qint64 taken = 0;
    while (m_reply->bytesAvailable() > 0) {
        const qint64 got = m_reply->read(m_chunk.data(), m_chunk.size());
        if (got <= 0)
            break;
        if (m_received + got > m_limits.maxBytes) {
            Fail(QStringLiteral("The page is larger than %1, the most that can be tidied")
                     .arg(SizeText(m_limits.maxBytes)));
            return;
        }
        if (m_file->write(m_chunk.constData(), got) != got) {
            Fail(QStringLiteral("Cannot write %1: %2")
                     .arg(m_file->fileName(), m_file->errorString()));
            return;
        }
        m_received += got;
        taken += got;
    }
    if (taken > 0)
        Q_EMIT progress(m_received, ExpectedSize());
}

qint64 WebTransfer::ExpectedSize() const {
    // A compressed body arrives unpacked, so its length on the wire says nothing.
    if (!m_reply || m_reply->hasRawHeader("Content-Encoding"))
        return -1;
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    bool valid = false;
    const qint64 total = length.toLongLong(&valid);
    return valid && total >= m_received ? total : -1;
}

void WebTransfer::ReplyFinished() {
    if (m_state != State::Transferring || !m_reply)
        return;
    ReplyReadyRead();
    if (m_state != State::Transferring)
        return;

    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (m_reply->error() != QNetworkReply::NoError) {
        Fail(m_reply->errorString());
        return;
    }
    // Only a 2xx answer is the page; an error page or an unfollowed redirect is not.
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        Fail(QStringLiteral("The server answered %1 %2")
                 .arg(status.toInt())
                 .arg(m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()));
        return;
    }
    if (!m_file->flush()) {
        Fail(QStringLiteral("Cannot write %1: %2").arg(m_file->fileName(), m_file->errorString()));
        return;
    }

    // Named after the address it finally came from (redirects included).
    const QString partial = m_file->fileName();
    const QString folder = QFileInfo(partial).absolutePath();
    const QString name = DownloadFileName(
        m_reply->url().toString(), m_reply->header(QNetworkRequest::ContentTypeHeader).toString());
    m_file->close();
    const QString stored = StoreUnderFreeName(partial, folder, name);
    if (stored.isEmpty()) {
        Fail(QStringLiteral("Cannot store the download in %1").arg(folder));
        return;
    }
    m_file->setAutoRemove(false);
    m_file.reset();
    m_localFile = stored;
    Finish(State::Succeeded);
}

void WebTransfer::Fail(const QString& reason) {
    m_error = reason;
    Finish(State::Failed);
}

void WebTransfer::Finish(State state) {
    m_state = state;
    DropNetwork();
    if (state != State::Succeeded)
        m_file.reset(); // removes the partial file
    Q_EMIT finished();
}

void WebTransfer::DropNetwork() {
    for (QTimer** timer : {&m_probeTimer, &m_deadlineTimer, &m_stallTimer}) {
        if (*timer) {
            (*timer)->stop();
            (*timer)->deleteLater();
            *timer = nullptr;
        }
    }
    if (m_probe) {
        m_probe->disconnect(this);
        m_probe->abort();
        m_probe->deleteLater();
        m_probe = nullptr;
    }
    if (m_reply) {
        m_reply->disconnect(this);
        if (m_reply->isRunning())
            m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
}

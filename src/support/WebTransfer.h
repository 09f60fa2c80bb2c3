#pragma once
// Fetches one web page into a new file of the download cache, asynchronously on the calling
// thread's event loop. A transfer object is used once: start, then wait for finished().

#include <QObject>
#include <QString>
#include <chrono>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QTcpSocket;
class QTemporaryFile;
class QTimer;

// The folder that downloads go to unless a transfer is told otherwise. Files in it are the
// program's: a caller removes its download once it has read it (DownloadedCopy), and anything
// older than a day, left behind by a program that was killed, goes with the next download.
QString DefaultDownloadFolder();

// Removes the files in `folder` last changed more than `age` ago; answers how many.
int RemoveStaleDownloads(const QString& folder, std::chrono::seconds age);

// A downloaded file that is removed when this goes, or earlier with remove(). Empty: nothing.
class DownloadedCopy {
public:
    DownloadedCopy() = default;
    explicit DownloadedCopy(QString path);
    ~DownloadedCopy();
    DownloadedCopy(DownloadedCopy&& other) noexcept;
    DownloadedCopy& operator=(DownloadedCopy&& other) noexcept;
    DownloadedCopy(const DownloadedCopy&) = delete;
    DownloadedCopy& operator=(const DownloadedCopy&) = delete;

    const QString& path() const { return m_path; }
    void remove();

private:
    QString m_path;
};

// The cache file name for a page: the address's file name made safe for the file system (at
// most 120 bytes, cut between characters), "index.html" when it has none, with ".html" added
// to a suffix-less name of an HTML page.
QString DownloadFileName(const QString& address, const QString& contentType);

// The largest page a transfer takes, in bytes after any unpacking: the tidy engine's largest
// document (256 MB, kMaxDocumentBytes of the file runs), since a larger page could not be
// tidied anyway.
inline constexpr qint64 kMaxDownloadBytes = qint64(256) << 20;

// What one transfer may take before it fails with a reason. The defaults let a page of the
// largest size arrive over a slow line, and end a server that stops or drips.
struct WebTransferLimits {
    // Bytes of the page; a larger one fails as soon as it is known to be larger.
    qint64 maxBytes = kMaxDownloadBytes;
    // The whole transfer, from the request to its last byte (10 minutes).
    std::chrono::milliseconds deadline = std::chrono::minutes(10);
    // Fewer than `stallBytes` in any `stallTimeout` (60 s) is a stalled transfer: a server
    // that sends one byte now and then must not hold the job until the deadline.
    std::chrono::milliseconds stallTimeout = std::chrono::seconds(60);
    qint64 stallBytes = 1024;
};

class WebTransfer : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Probing, Transferring, Succeeded, Failed, Cancelled };

    explicit WebTransfer(QObject* parent = nullptr);
    // Abandons a running transfer without signals; its partial file goes.
    ~WebTransfer() override;

    // Empty: DefaultDownloadFolder(). Created when missing.
    void setTargetFolder(const QString& folder);
    // Before start(); the defaults otherwise.
    void setLimits(const WebTransferLimits& limits) { m_limits = limits; }

    // Checks the connection first unless NeedsNoConnection holds, then fetches the address.
    // Always ends with finished(), never synchronously inside start().
    void start(const QString& address);
    // Stops a running transfer at once, removes its partial file and signals finished().
    // A transfer that already ended is left as it is.
    void cancel();

    State state() const { return m_state; }
    bool isRunning() const { return m_state == State::Probing || m_state == State::Transferring; }
    // True once the HTTP request went out (false when the connection check failed).
    bool requestSent() const { return m_requestSent; }
    // Path of the downloaded file after success; the file then belongs to the caller.
    const QString& localFile() const { return m_localFile; }
    const QString& errorString() const { return m_error; }

Q_SIGNALS:
    // Bytes of the page received so far; `total` is -1 while the size is unknown.
    void progress(qint64 received, qint64 total);
    void finished();

private:
    void ConnectionChecked(bool connected);
    void SendRequest();
    void ReplyReadyRead();
    void ReplyMetaData();
    void ReplyFinished();
    void CheckStall();
    qint64 ExpectedSize() const;
    void Fail(const QString& reason);
    void Finish(State state);
    void DropNetwork();

    State m_state = State::Idle;
    QString m_address;
    QString m_folder;
    WebTransferLimits m_limits;
    bool m_requestSent = false;
    qint64 m_received = 0;
    qint64 m_receivedAtStallCheck = 0;
    QString m_localFile;
    QString m_error;
    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_reply = nullptr;
    QTcpSocket* m_probe = nullptr;
    QTimer* m_probeTimer = nullptr;
    QTimer* m_deadlineTimer = nullptr;
    QTimer* m_stallTimer = nullptr;
    std::unique_ptr<QTemporaryFile> m_file;
    QByteArray m_chunk;
};

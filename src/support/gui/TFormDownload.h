#pragma once
// The modal window that fetches a web page into a local file while showing its progress.

#include <QDialog>
#include <QString>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class WebTransfer;

class TFormDownload : public QDialog {
    Q_OBJECT
public:
    explicit TFormDownload(QWidget* parent = nullptr);
    ~TFormDownload() override;

    // True when `name` now names a local file with the content: either it already did (no
    // window is shown), or the page was downloaded and `name` became the downloaded file's
    // path. On false, lastResult() tells mrCancel (the user stopped it) from mrOk (it failed).
    bool DownloadUrl(const QString& caption, QString& name);
    int lastResult() const { return m_lastResult; }
    // Why the last download failed (diagnostics only).
    const QString& lastError() const { return m_lastError; }

    // Where downloads go; empty: the download cache.
    void setDownloadFolder(const QString& folder) { m_folder = folder; }
    const QString& downloadFolder() const { return m_folder; }

    // Cancel, the close box and Escape: stops the transfer, result Cancel.
    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void StartTransfer();
    void TransferProgress(qint64 received, qint64 total);
    void TransferFinished();
    void SetAnimating(bool running);

    QProgressBar* Animate1;
    QLabel* lblStatus;
    QProgressBar* ProgressBar1;
    QLabel* lblProgress;
    QPushButton* btnCancel;

    std::unique_ptr<WebTransfer> m_transfer;
    QString m_address;
    QString m_folder;
    bool m_startArmed = false;
    int m_lastResult = 0;
    QString m_lastError;
};

// The one download window of the process, created at start-up; null until then.
TFormDownload* FormDownload();
void SetFormDownload(TFormDownload* form);

#include "support/gui/TFormDownload.h"

#include "support/Prompts.h"
#include "support/WebAddress.h"
#include "support/WebTransfer.h"

#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <limits>

namespace {

TFormDownload* g_formDownload = nullptr;

// Progress bars count in int; very large downloads are scaled down to fit.
int Scaled(qint64 value, qint64 divisor) {
    return static_cast<int>(value / divisor);
}

} // namespace

TFormDownload* FormDownload() {
    return g_formDownload;
}

void SetFormDownload(TFormDownload* form) {
    g_formDownload = form;
}

TFormDownload::TFormDownload(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormDownload"));
    setWindowTitle(QStringLiteral("Downloading File"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::CustomizeWindowHint);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(313, 193);

    // The busy indicator stands in for the file-copy animation.
    Animate1 = new QProgressBar(this);
    Animate1->setObjectName(QStringLiteral("Animate1"));
    Animate1->setGeometry(8, 8, 281, 65);
    Animate1->setTextVisible(false);
    Animate1->setRange(0, 1);
    Animate1->setValue(0);

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setGeometry(8, 78, 281, 17);
    lblStatus->setTextFormat(Qt::PlainText);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 97, 281, 10);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);

    lblProgress = new QLabel(this);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    lblProgress->setGeometry(8, 112, 281, 17);
    lblProgress->setTextFormat(Qt::PlainText);
    lblProgress->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(224, 160, 81, 25);
    btnCancel->setDefault(true);
    connect(btnCancel, &QPushButton::clicked, this, &TFormDownload::reject);
}

TFormDownload::~TFormDownload() {
    if (g_formDownload == this)
        g_formDownload = nullptr;
}

bool TFormDownload::DownloadUrl(const QString& caption, QString& name) {
    m_lastError.clear();
    if (QFileInfo(name).isFile()) {
        m_lastResult = mrOk;
        return true;
    }
    if (m_transfer || isVisible()) {
        // Already downloading: one transfer at a time.
        m_lastResult = mrOk;
        m_lastError = QStringLiteral("Another download is running");
        return false;
    }

    setWindowTitle(caption);
    lblStatus->setText(DownloadStatusText(name));
    lblProgress->setText(QStringLiteral("Initializing Download."));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    SetAnimating(false);

    m_address = name;
    m_transfer = std::make_unique<WebTransfer>();
    m_transfer->setTargetFolder(m_folder);
    connect(m_transfer.get(), &WebTransfer::progress, this, &TFormDownload::TransferProgress);
    connect(m_transfer.get(), &WebTransfer::finished, this, &TFormDownload::TransferFinished);

    if (QScreen* display = screen())
        move(display->availableGeometry().center() - rect().center());
    // The transfer starts from the first paint, once the window can be seen.
    m_startArmed = true;
    const int result = exec();
    m_startArmed = false;
    SetAnimating(false);

    const bool succeeded = m_transfer->state() == WebTransfer::State::Succeeded;
    if (succeeded) {
        name = m_transfer->localFile();
        m_lastResult = mrOk;
    } else {
        m_transfer->cancel(); // still running when the window was closed some other way
        m_lastError = m_transfer->errorString();
        m_lastResult = result == mrOk ? mrOk : mrCancel;
    }
    m_transfer.reset();
    return succeeded;
}

void TFormDownload::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (m_startArmed) {
        m_startArmed = false;
        QMetaObject::invokeMethod(this, &TFormDownload::StartTransfer, Qt::QueuedConnection);
    }
}

void TFormDownload::reject() {
    if (m_transfer)
        m_transfer->cancel();
    done(mrCancel);
}

void TFormDownload::StartTransfer() {
    // The window may have closed (and its transfer gone) before this queued start arrived.
    if (!m_transfer || m_transfer->state() != WebTransfer::State::Idle || !isVisible())
        return;
    m_transfer->start(m_address);
}

void TFormDownload::TransferProgress(qint64 received, qint64 total) {
    if (!m_transfer || !m_transfer->isRunning())
        return;
    SetAnimating(true);
    if (total > 0) {
        const qint64 divisor = total / std::numeric_limits<int>::max() + 1;
        ProgressBar1->setRange(0, Scaled(total, divisor));
        ProgressBar1->setValue(Scaled(std::min(received, total), divisor));
        lblProgress->setText(QStringLiteral("%1 of %2 bytes completed.").arg(received).arg(total));
    } else {
        // The server did not say how much is coming.
        ProgressBar1->setValue(0);
        lblProgress->setText(QStringLiteral("%1 bytes completed.").arg(received));
    }
}

void TFormDownload::TransferFinished() {
    if (!m_transfer || m_transfer->state() == WebTransfer::State::Cancelled)
        return; // reject() has closed the window already
    SetAnimating(false);
    done(mrOk);
}

void TFormDownload::SetAnimating(bool running) {
    if (running)
        Animate1->setRange(0, 0);
    else {
        Animate1->setRange(0, 1);
        Animate1->setValue(0);
    }
}

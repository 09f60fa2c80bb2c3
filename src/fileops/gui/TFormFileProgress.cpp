#include "fileops/gui/TFormFileProgress.h"

#include "fileops/gui/TCaptionStrip.h"
#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/Translation.h"
#include "support/gui/ActionButton.h"
#include "support/gui/DisplayText.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>
#include <utility>

namespace {

TFormFileProgress* g_formFileProgress = nullptr;

constexpr int kMarkSize = 16;
constexpr int kWidth = 361;
// An item that took at least this long suggests that the next one will too: its caption is
// then painted at once rather than at the next round of events.
constexpr int kSlowItem = 5; // milliseconds

QIcon RedCross() {
    QPixmap pixmap(kMarkSize, kMarkSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0xd0, 0x10, 0x10), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(4, 4), QPointF(12, 12));
    painter.drawLine(QPointF(12, 4), QPointF(4, 12));
    return QIcon(pixmap);
}

QIcon Blank() {
    QPixmap pixmap(kMarkSize, kMarkSize);
    pixmap.fill(Qt::transparent);
    return QIcon(pixmap);
}

} // namespace

TFormFileProgress* FormFileProgress() {
    return g_formFileProgress;
}

void SetFormFileProgress(TFormFileProgress* form) {
    g_formFileProgress = form;
}

TFormFileProgress::TFormFileProgress(QWidget* parent)
    : QDialog(parent), m_run(*this), m_errorMark(RedCross()), m_noMark(Blank()), m_modal(*this) {
    setObjectName(QStringLiteral("FormFileProgress"));
    setWindowTitle(QStringLiteral("Tidying Files..."));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    CreateControls();
}

TFormFileProgress::~TFormFileProgress() {
    if (g_formFileProgress == this)
        g_formFileProgress = nullptr;
}

void TFormFileProgress::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    // The window is as large as its visible controls: it grows and shrinks with the list.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    lblMessage = new TCaptionStrip(this);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setFixedSize(kWidth, 17);
    layout->addWidget(lblMessage);

    pbProgress = new QProgressBar(this);
    pbProgress->setObjectName(QStringLiteral("pbProgress"));
    pbProgress->setFixedSize(kWidth, 17);
    pbProgress->setTextVisible(false);
    pbProgress->setRange(0, 1);
    pbProgress->setValue(0);
    layout->addWidget(pbProgress);

    auto* row = new QHBoxLayout;
    cbShowMessages = new QCheckBox(this);
    cbShowMessages->setObjectName(QStringLiteral("cbShowMessages"));
    btCancel = new QPushButton(this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    // Return must not stop a run: only a deliberate click (or Space on the button) does.
    btCancel->setAutoDefault(false);
    row->addWidget(cbShowMessages);
    row->addStretch();
    row->addWidget(btCancel);
    layout->addLayout(row);

    lvMessages = new QTreeWidget(this);
    lvMessages->setObjectName(QStringLiteral("lvMessages"));
    lvMessages->setFixedSize(kWidth, 257);
    lvMessages->setColumnCount(1);
    lvMessages->headerItem()->setText(0, QString());
    lvMessages->setHeaderHidden(true);
    lvMessages->header()->setStretchLastSection(true);
    lvMessages->setRootIsDecorated(false);
    lvMessages->setUniformRowHeights(true);
    lvMessages->setIconSize(QSize(kMarkSize, kMarkSize));
    lvMessages->setVisible(false);
    layout->addWidget(lvMessages);

    actCancel = new QAction(QStringLiteral("Cancel"), this);
    actCancel->setObjectName(QStringLiteral("actCancel"));
    connect(actCancel, &QAction::triggered, this, &TFormFileProgress::actCancelExecute);

    actViewMessages = new QAction(QStringLiteral("View Messages"), this);
    actViewMessages->setObjectName(QStringLiteral("actViewMessages"));
    actViewMessages->setCheckable(true);
    // The action has ticked itself when it triggers; the list follows.
    connect(actViewMessages, &QAction::triggered, this, &TFormFileProgress::SetShowMessages);

    BindButtonToAction(btCancel, actCancel);
    BindButtonToAction(cbShowMessages, actViewMessages);
}

bool TFormFileProgress::ShowMessages() const {
    return actViewMessages->isChecked();
}

void TFormFileProgress::SetShowMessages(bool show) {
    lvMessages->setVisible(show);
    actViewMessages->setChecked(show);
}

void TFormFileProgress::actCancelExecute() {
    m_run.Cancel();
}

void TFormFileProgress::actViewMessagesExecute() {
    SetShowMessages(!ShowMessages());
}

void TFormFileProgress::RunModal(const QString& caption, const std::function<void()>& process) {
    if (m_modal.Running() || isVisible())
        throw KelvaneError(Translate(QStringLiteral("A batch operation is already running.")));
    // Looked up here too, so that a caption given in English is shown translated; a caption
    // translated already has no entry of its own and stays as it is.
    if (!caption.isEmpty())
        setWindowTitle(Translate(caption));
    lblMessage->clear();
    pbProgress->setRange(0, 1);
    pbProgress->setValue(0);
    m_sinceEvents.invalidate();
    m_sinceRepaint.invalidate();
    m_itemTime.invalidate();
    adjustSize();
    CentreOnOwner();
    m_modal.Exec([this, &process] {
        process();
        return m_run.IsCancelled() ? mrCancel : mrOk;
    });
}

void TFormFileProgress::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    m_modal.Painted();
}

void TFormFileProgress::ShowItem(qsizetype index, qsizetype count, const QString& caption) {
    SetBar(index, count);
    lblMessage->setText(DisplayText(caption));
    // The caption is meant to be seen while the step works; over many quick items it is
    // painted at the next round of events instead.
    const bool slowItems = m_itemTime.isValid() && m_itemTime.elapsed() >= kSlowItem;
    if (slowItems || !m_sinceRepaint.isValid() || m_sinceRepaint.elapsed() >= kEventInterval) {
        lblMessage->repaint();
        m_sinceRepaint.start();
    }
    m_itemTime.start();
}

void TFormFileProgress::SetBar(qsizetype index, qsizetype count) {
    if (count < 0) {
        // The length is not known yet: a busy bar.
        pbProgress->setRange(0, 0);
        return;
    }
    if (count <= 1) {
        // A single item: the bar is full while it is processed.
        pbProgress->setRange(0, 1);
        pbProgress->setValue(count);
        return;
    }
    // Qt's bar counts in int; very long lists are scaled down to fit.
    const qsizetype last = count - 1;
    const qsizetype divisor = last / std::numeric_limits<int>::max() + 1;
    pbProgress->setRange(0, static_cast<int>(last / divisor));
    pbProgress->setValue(static_cast<int>(std::clamp<qsizetype>(index, 0, last) / divisor));
}

void TFormFileProgress::MessageAdded(const ProgressMessage& message) {
    auto* item = new QTreeWidgetItem(QStringList(DisplayText(message.text)));
    item->setIcon(0, message.mark == MessageMark::Error ? m_errorMark : m_noMark);
    item->setData(0, Qt::UserRole, static_cast<int>(message.mark));
    lvMessages->addTopLevelItem(item);
}

void TFormFileProgress::LetEventsRun() {
    if (m_sinceEvents.isValid() && m_sinceEvents.elapsed() < kEventInterval)
        return;
    QCoreApplication::processEvents();
    m_sinceEvents.start();
}

void TFormFileProgress::Reset() {
    lvMessages->clear();
    pbProgress->setRange(0, 1);
    pbProgress->setValue(0);
}

void TFormFileProgress::closeEvent(QCloseEvent* event) {
    if (m_modal.Running()) {
        m_run.CloseQuery();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TFormFileProgress::reject() {
    if (m_modal.Running()) {
        m_run.CloseQuery();
        return;
    }
    QDialog::reject();
}

void TFormFileProgress::keyPressEvent(QKeyEvent* event) {
    // Escape is not a Cancel here: a run is stopped on purpose only.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormFileProgress::CentreOnOwner() {
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (owner == nullptr || !owner->isVisible()) {
        QWidget* active = QApplication::activeWindow();
        owner = active != this ? active : nullptr;
    }
    QRect area;
    if (owner != nullptr && owner->isVisible())
        area = owner->frameGeometry();
    else if (const QScreen* display = owner ? owner->screen() : screen())
        area = display->availableGeometry();
    if (area.isValid())
        move(area.center() - QPoint(width() / 2, height() / 2));
}

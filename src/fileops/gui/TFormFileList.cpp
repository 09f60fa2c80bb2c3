#include "fileops/gui/TFormFileList.h"

#include "fileops/FileMask.h"
#include "platform/FileFunctions.h"
#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/Translation.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

namespace {

TFormFileList* g_formFileList = nullptr;

QLabel* CreatePanel(const QString& name, QWidget* parent) {
    auto* panel = new QLabel(parent);
    panel->setObjectName(name);
    panel->setTextFormat(Qt::PlainText);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A fixed size: a new text never makes the window lay itself out again.
    panel->setFixedSize(281, 19);
    return panel;
}

} // namespace

TFormFileList* FormFileList() {
    return g_formFileList;
}

void SetFormFileList(TFormFileList* form) {
    g_formFileList = form;
}

TFormFileList::TFormFileList(QWidget* parent) : QDialog(parent), m_modal(*this) {
    setObjectName(QStringLiteral("FormFileList"));
    setWindowTitle(QStringLiteral("Scanning for Files"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    LabelFilePath = CreatePanel(QStringLiteral("LabelFilePath"), this);
    LabelCount = CreatePanel(QStringLiteral("LabelCount"), this);

    // The busy indicator stands in for the folder-search animation.
    Animate = new QProgressBar(this);
    Animate->setObjectName(QStringLiteral("Animate"));
    Animate->setFixedSize(80, 19);
    Animate->setTextVisible(false);
    SetAnimating(false);

    ButtonCancel = new QPushButton(QStringLiteral("Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setAutoDefault(false);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormFileList::reject);

    layout->addWidget(LabelFilePath, 0, 0);
    layout->addWidget(Animate, 0, 1, Qt::AlignRight | Qt::AlignTop);
    layout->addWidget(LabelCount, 1, 0);
    layout->addWidget(ButtonCancel, 2, 1, Qt::AlignRight);
}

TFormFileList::~TFormFileList() {
    if (g_formFileList == this)
        g_formFileList = nullptr;
}

bool TFormFileList::ScanFolder(const QString& folder, const QString& filter, QStringList& target) {
    if (m_target != nullptr || isVisible())
        throw KelvaneError(Translate(QStringLiteral("A folder scan is already running.")));
    m_folder = folder;
    m_masks = MaskList(filter);
    if (!platform::FolderExists(folder))
        return false;

    m_target = &target;
    m_cancelled = false;
    m_count = -1;
    m_sinceEvents.invalidate();
    struct ForgetTarget {
        TFormFileList& form;
        ~ForgetTarget() { form.m_target = nullptr; }
    } forget{*this};

    adjustSize();
    if (const QScreen* display = screen())
        move(display->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    m_modal.Exec([this] { return Scan(); });
    return !m_cancelled;
}

void TFormFileList::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    m_modal.Painted();
}

int TFormFileList::Scan() {
    SetAnimating(true);
    struct StopAnimation {
        TFormFileList& form;
        ~StopAnimation() { form.SetAnimating(false); }
    } stop{*this};
    try {
        ScanDirectory(m_folder);
    } catch (const SilentAbort&) {
        throw;
    } catch (const KelvaneError& error) {
        // A malformed mask: what was found so far stands as the result.
        ShowProgress();
        ShowError(error.message());
    }
    ShowProgress();
    return m_cancelled ? mrCancel : mrOk;
}

bool TFormFileList::ScanDirectory(const QString& folder) {
    if (m_target == nullptr)
        return false;
    return ::ScanDirectory(folder, m_masks, *m_target, *this);
}

void TFormFileList::FolderEntered(const QString& folder) {
    m_shownFolder = folder;
}

void TFormFileList::CountChanged(qsizetype count) {
    m_count = count;
}

bool TFormFileList::KeepGoing() {
    if (!m_sinceEvents.isValid() || m_sinceEvents.elapsed() >= kEventInterval) {
        ShowProgress();
        QCoreApplication::processEvents();
        m_sinceEvents.start();
    }
    return !m_cancelled;
}

void TFormFileList::ShowProgress() {
    LabelFilePath->setText(m_shownFolder);
    // The count keeps the previous scan's text until this scan finds its first file.
    if (m_count >= 0)
        LabelCount->setText(QString::number(m_count) + QStringLiteral(" files found."));
}

void TFormFileList::reject() {
    m_cancelled = true;
    // A running scan stops at its next entry and then closes the window.
    if (!m_modal.Running())
        QDialog::reject();
}

void TFormFileList::SetAnimating(bool running) {
    if (running) {
        Animate->setRange(0, 0);
    } else {
        Animate->setRange(0, 1);
        Animate->setValue(0);
    }
}

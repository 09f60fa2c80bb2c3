// The Review Changes window's construction, its list and buttons, and the settings it keeps.
#include "fileops/gui/TFormReviewChanges.h"

#include "cmdline/FileSaveDialog.h"
#include "fileops/gui/ReviewListModel.h"
#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/SettingsFile.h"
#include "support/Translation.h"
#include "support/gui/ActionButton.h"
#include "support/gui/DisplayText.h"
#include "support/gui/FormSettings.h"
#include "support/gui/Scintilla.h"
#include "support/gui/TranslateComponents.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kSection = QStringLiteral("FormReviewChanges");
// The counts line follows a run at most this often.
constexpr int kCountsInterval = 100; // milliseconds

QString Filled(const char* textTemplate, const QStringList& values) {
    return FillTemplate(Translate(QString::fromUtf8(textTemplate)), values);
}

// "Sizes" of a splitter as the settings file keeps them: "200,400,120".
void SaveSizes(SettingsStore& store, const QSplitter* splitter) {
    QStringList sizes;
    for (const int size : splitter->sizes())
        sizes << QString::number(size);
    store.WriteString(kSection, splitter->objectName() + QStringLiteral(".Sizes"),
                      sizes.join(QLatin1Char(',')));
}

void LoadSizes(const SettingsStore& store, QSplitter* splitter) {
    const QStringList stored =
        store.ReadString(kSection, splitter->objectName() + QStringLiteral(".Sizes"), {})
            .split(QLatin1Char(','));
    QList<int> sizes;
    for (const QString& text : stored) {
        bool ok = false;
        const int size = text.trimmed().toInt(&ok);
        if (!ok || size < 0)
            return; // not ours, or damaged: the design sizes stay
        sizes << size;
    }
    if (sizes.size() == splitter->count())
        splitter->setSizes(sizes);
}

} // namespace

TFormReviewChanges::TFormReviewChanges(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(kSection);
    setWindowTitle(QStringLiteral("Review Changes"));
    m_model = new ReviewListModel(m_session.List(), this);
    m_preview = new ReviewPreview(this);
    connect(m_preview, &ReviewPreview::Ready, this, &TFormReviewChanges::FileReady);
    m_countsTimer = new QTimer(this);
    m_countsTimer->setSingleShot(true);
    m_countsTimer->setInterval(kCountsInterval);
    connect(m_countsTimer, &QTimer::timeout, this, &TFormReviewChanges::UpdateCounts);
    connect(&m_session.List(), &ReviewList::CountsChanged, this, [this] {
        if (!m_countsTimer->isActive())
            m_countsTimer->start();
    });
    connect(&m_session.List(), &ReviewList::ChecksChanged, this,
            &TFormReviewChanges::UpdateButtons);
    connect(&m_session.List(), &ReviewList::AboutToClear, this, [this] {
        m_preview->Cancel();
        ClearViews();
    });
    CreateActions();
    CreateControls();
    // About three quarters of the owner, over it.
    QSize size(900, 650);
    if (owner != nullptr && owner->window()->isVisible())
        size = size.expandedTo(owner->window()->size() * 9 / 10);
    if (const QScreen* display = screen())
        size = size.boundedTo(display->availableGeometry().size());
    resize(size);
    TranslateComponent(this);
    UpdateButtons();
}

TFormReviewChanges::~TFormReviewChanges() {
    if (isVisible()) {
        try {
            SaveSettings();
        } catch (const KelvaneError&) {
            // Going away with the program: the error was shown for the main window already.
        }
    }
}

void TFormReviewChanges::CreateActions() {
    actNextChange = new QAction(QStringLiteral("Next Change"), this);
    actNextChange->setObjectName(QStringLiteral("actNextChange"));
    actNextChange->setShortcut(QKeySequence(Qt::Key_F8));
    actNextChange->setToolTip(QStringLiteral("Go to the next change (F8)"));
    actPreviousChange = new QAction(QStringLiteral("Previous Change"), this);
    actPreviousChange->setObjectName(QStringLiteral("actPreviousChange"));
    actPreviousChange->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8));
    actPreviousChange->setToolTip(QStringLiteral("Go to the previous change (Shift+F8)"));
    for (QAction* action : {actNextChange, actPreviousChange}) {
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }
    connect(actNextChange, &QAction::triggered, this, &TFormReviewChanges::actNextChangeExecute);
    connect(actPreviousChange, &QAction::triggered, this,
            &TFormReviewChanges::actPreviousChangeExecute);
}

void TFormReviewChanges::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);

    lblCounts = new QLabel(this);
    lblCounts->setObjectName(QStringLiteral("lblCounts"));
    lblCounts->setTextFormat(Qt::PlainText);
    lblCounts->setWordWrap(true);
    layout->addWidget(lblCounts);

    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);

    lvFiles = new QTreeView(Splitter1);
    lvFiles->setObjectName(QStringLiteral("lvFiles"));
    lvFiles->setModel(m_model);
    lvFiles->setRootIsDecorated(false);
    lvFiles->setItemsExpandable(false);
    lvFiles->setUniformRowHeights(true); // many thousands of rows stay quick
    lvFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvFiles->setAllColumnsShowFocus(true);
    lvFiles->header()->setStretchLastSection(false);
    lvFiles->header()->setSectionResizeMode(ReviewListModel::ColFolder, QHeaderView::Stretch);
    lvFiles->header()->resizeSection(ReviewListModel::ColName, 260);
    lvFiles->header()->resizeSection(ReviewListModel::ColChangedLines, 110);
    lvFiles->header()->resizeSection(ReviewListModel::ColMessages, 90);
    lvFiles->installEventFilter(this);
    connect(lvFiles->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { ShowRow(current); });
    // The first file is shown as soon as it is listed.
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] {
        if (!lvFiles->currentIndex().isValid() && m_model->rowCount() > 0)
            lvFiles->setCurrentIndex(m_model->index(0, ReviewListModel::ColName));
    });

    Splitter1->addWidget(lvFiles);
    Splitter1->addWidget(CreateComparePanel());

    lvMessages = new QTreeWidget(Splitter1);
    lvMessages->setObjectName(QStringLiteral("lvMessages"));
    lvMessages->setColumnCount(1);
    lvMessages->setHeaderHidden(true);
    lvMessages->setRootIsDecorated(false);
    lvMessages->setUniformRowHeights(true);
    connect(lvMessages, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { MessageActivated(item); });
    Splitter1->addWidget(lvMessages);
    Splitter1->setStretchFactor(0, 2);
    Splitter1->setStretchFactor(1, 5);
    Splitter1->setStretchFactor(2, 1);
    Splitter1->setSizes({170, 380, 90});
    layout->addWidget(Splitter1, 1);

    auto* buttons = new QHBoxLayout;
    const auto button = [this, buttons](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    btCheckAll = button("btCheckAll", "Check All");
    btUncheckAll = button("btUncheckAll", "Uncheck All");
    buttons->addStretch();
    btSavePatch = button("btSavePatch", "Save as Patch...");
    btTidyChecked = button("btTidyChecked", "Tidy Checked Files");
    btClose = button("btClose", "Close");
    layout->addLayout(buttons);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setWordWrap(true);
    lblStatus->hide();
    layout->addWidget(lblStatus);

    connect(btCheckAll, &QPushButton::clicked, this,
            [this] { m_session.List().SetAllChecked(true); });
    connect(btUncheckAll, &QPushButton::clicked, this,
            [this] { m_session.List().SetAllChecked(false); });
    connect(btSavePatch, &QPushButton::clicked, this, &TFormReviewChanges::btSavePatchClick);
    connect(btTidyChecked, &QPushButton::clicked, this, &TFormReviewChanges::btTidyCheckedClick);
    connect(btClose, &QPushButton::clicked, this, &TFormReviewChanges::btCloseClick);
}

void TFormReviewChanges::Review(BatchCommands& commands, const QString& base) {
    if (m_running)
        return;
    m_running = true;
    m_reviewing = true;
    m_commands = &commands;
    const bool reviewed = m_session.Review(commands, base, [this] {
        // The run begins: an earlier review is gone, the window shows the new one fill.
        m_model->SetBase(m_session.Base());
        SetStatus({});
        UpdateCounts();
        UpdateButtons();
        if (!m_settingsLoaded)
            LoadSettings();
        show();
        raise();
    });
    m_running = false;
    m_reviewing = false;
    if (!reviewed)
        return;
    UpdateCounts();
    UpdateButtons();
    activateWindow();
    lvFiles->setFocus();
}

QString TFormReviewChanges::CountsText() const {
    QString text = m_session.CountsText();
    if (m_reviewing)
        text += QLatin1Char(' ') + Translate(QStringLiteral("Reviewing..."));
    else if (m_session.Stopped())
        text += QLatin1Char(' ') +
                Translate(QStringLiteral("The review was stopped before the end of the list."));
    return text;
}

void TFormReviewChanges::UpdateCounts() {
    lblCounts->setText(CountsText());
}

void TFormReviewChanges::UpdateButtons() {
    const ReviewList& list = m_session.List();
    const bool any = list.Count() > 0 && !m_running;
    btTidyChecked->setEnabled(any && list.CheckedCount() > 0);
    btSavePatch->setEnabled(any && list.CheckedCount() > 0);
    btCheckAll->setEnabled(any && list.CheckedCount() < list.Count());
    btUncheckAll->setEnabled(any && list.CheckedCount() > 0);
}

void TFormReviewChanges::SetStatus(const QString& text) {
    lblStatus->setText(DisplayText(text));
    lblStatus->setVisible(!text.isEmpty());
}

void TFormReviewChanges::btTidyCheckedClick() {
    if (!m_commands || m_running)
        return;
    RunShowingErrors([this] {
        m_running = true;
        UpdateButtons();
        const ReviewSession::Result result = m_session.TidyChecked(*m_commands);
        m_running = false;
        UpdateButtons();
        // Tidied: the review has served. Otherwise it stays as it was.
        if (result == ReviewSession::Result::Done)
            EndReview();
    });
    m_running = false;
}

void TFormReviewChanges::btSavePatchClick() {
    if (!m_commands || m_running)
        return;
    RunShowingErrors([this] {
        const QString file =
            FileSaveDialog(Translate(QStringLiteral("Patch Files|*.patch;*.diff")),
                           QStringLiteral("patch"), m_session.Base(), QStringLiteral("tidy.patch"));
        if (file.isEmpty())
            return;
        m_running = true;
        UpdateButtons();
        struct Done {
            TFormReviewChanges* form;
            ~Done() {
                form->m_running = false;
                form->UpdateButtons();
            }
        } done{this};
        const ReviewSession::PatchResult patch = m_session.SavePatch(*m_commands, file);
        if (patch.result != ReviewSession::Result::Done)
            return;
        if (!patch.saved)
            SetStatus(Filled("Nothing was saved in %s: the patch was not finished.", {file}));
        else if (patch.leftOut > 0)
            SetStatus(
                Filled("The changes of %d files were saved in %s; %d files were left out "
                       "(see the run summary).",
                       {QString::number(patch.written), file, QString::number(patch.leftOut)}));
        else
            SetStatus(Filled("The changes of %d files were saved in %s.",
                             {QString::number(patch.written), file}));
    });
}

void TFormReviewChanges::btCloseClick() {
    close();
}

void TFormReviewChanges::closeEvent(QCloseEvent* event) {
    if (m_running) {
        event->ignore();
        return;
    }
    RunShowingErrors([this] { SaveSettings(); });
    QWidget::closeEvent(event);
    m_session.Clear();
    m_commands = nullptr;
    SetStatus({});
}

void TFormReviewChanges::EndReview() {
    close();
}

bool TFormReviewChanges::eventFilter(QObject* watched, QEvent* event) {
    // Space ticks or clears every selected file at once, as the current one goes.
    if (watched == lvFiles && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        const QModelIndexList rows = lvFiles->selectionModel()->selectedRows();
        const QModelIndex current = lvFiles->currentIndex();
        if (rows.size() > 1 && current.isValid()) {
            const bool check = !m_session.List().Checked(current.row());
            for (const QModelIndex& row : rows)
                m_session.List().SetChecked(row.row(), check);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFormReviewChanges::LoadSettings() {
    m_settingsLoaded = true;
    const IniFile& file = SettingsFile();
    if (QWidget* owner = parentWidget(); owner && owner->isVisible())
        move(owner->window()->frameGeometry().center() - rect().center());
    LoadWindowPlacement(this, file);
    LoadSizes(file, Splitter1);
    LoadSizes(file, Splitter2);
}

void TFormReviewChanges::SaveSettings() {
    if (!m_settingsLoaded)
        return;
    IniFile& file = SettingsFile();
    SaveWindowPlacement(this, file);
    SaveSizes(file, Splitter1);
    SaveSizes(file, Splitter2);
}

// The Review Changes window's middle and lower parts: the selected file as it is and as
// tidying leaves it, changed lines marked in both margins, scrolling in step, Next and
// Previous change; its Tidy messages, each leading to its line.
#include "engine/TidyEngine.h"
#include "fileops/gui/TFormReviewChanges.h"
#include "support/Translation.h"
#include "support/gui/ActionButton.h"
#include "support/gui/DisplayText.h"
#include "support/gui/HtmlTextView.h"
#include "support/gui/Scintilla.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// Markers of the views: the changed lines' background, their bar in the margin, and the
// place where the other text has lines that this one has not.
constexpr int kChangedLine = 0;
constexpr int kChangeBar = 1;
constexpr int kGap = 2;
constexpr int kSymbolMargin = 1;
// A change is brought into sight with this many lines above it.
constexpr int kLead = 3;

void PrepareView(QsciScintilla* view, const QColor& line, const QColor& bar) {
    view->setMarginType(0, QsciScintilla::NumberMargin);
    view->setMarginLineNumbers(0, true);
    view->setMarginWidth(0, QStringLiteral("99999"));
    view->setMarginMarkerMask(0, 0);
    view->setMarginType(kSymbolMargin, QsciScintilla::SymbolMargin);
    view->setMarginWidth(kSymbolMargin, 8);
    view->setMarginMarkerMask(kSymbolMargin, (1 << kChangeBar) | (1 << kGap));
    view->markerDefine(QsciScintilla::Background, kChangedLine);
    view->setMarkerBackgroundColor(line, kChangedLine);
    view->markerDefine(QsciScintilla::FullRectangle, kChangeBar);
    view->setMarkerBackgroundColor(bar, kChangeBar);
    view->setMarkerForegroundColor(bar, kChangeBar);
    view->markerDefine(QsciScintilla::RightTriangle, kGap);
    view->setMarkerBackgroundColor(bar, kGap);
    view->setMarkerForegroundColor(bar, kGap);
}

QWidget* Titled(QLabel* title, QsciScintilla* view, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(title);
    layout->addWidget(view, 1);
    return box;
}

void Mark(QsciScintilla* view, int line, int count) {
    const int lines = std::max(1, view->lines());
    if (count == 0) {
        view->markerAdd(std::clamp(line, 0, lines - 1), kGap);
        return;
    }
    for (int i = line; i < line + count && i < lines; ++i) {
        view->markerAdd(i, kChangedLine);
        view->markerAdd(i, kChangeBar);
    }
}

int LinesOnScreen(QsciScintilla* view) {
    return int(view->SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN));
}

} // namespace

QWidget* TFormReviewChanges::CreateComparePanel() {
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("pnlCompare"));
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    auto* row = new QHBoxLayout;
    lblFile = new QLabel(panel);
    lblFile->setObjectName(QStringLiteral("lblFile"));
    lblFile->setTextFormat(Qt::PlainText);
    lblFile->setMinimumWidth(1); // a long path must not widen the window
    lblChange = new QLabel(panel);
    lblChange->setObjectName(QStringLiteral("lblChange"));
    btPreviousChange = new QPushButton(panel);
    btPreviousChange->setObjectName(QStringLiteral("btPreviousChange"));
    btNextChange = new QPushButton(panel);
    btNextChange->setObjectName(QStringLiteral("btNextChange"));
    for (QPushButton* button : {btPreviousChange, btNextChange})
        button->setAutoDefault(false);
    BindButtonToAction(btPreviousChange, actPreviousChange);
    BindButtonToAction(btNextChange, actNextChange);
    row->addWidget(lblFile, 1);
    row->addWidget(lblChange);
    row->addWidget(btPreviousChange);
    row->addWidget(btNextChange);
    layout->addLayout(row);

    lblNote = new QLabel(panel);
    lblNote->setObjectName(QStringLiteral("lblNote"));
    lblNote->setTextFormat(Qt::PlainText);
    lblNote->setWordWrap(true);
    lblNote->setFrameShape(QFrame::StyledPanel);
    lblNote->setMargin(4);
    lblNote->hide();
    layout->addWidget(lblNote);

    Splitter2 = new QSplitter(Qt::Horizontal, panel);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setChildrenCollapsible(false);
    lblOriginal = new QLabel(QStringLiteral("As it is"), panel);
    lblOriginal->setObjectName(QStringLiteral("lblOriginal"));
    lblTidied = new QLabel(QStringLiteral("Tidied"), panel);
    lblTidied->setObjectName(QStringLiteral("lblTidied"));
    MemoOriginal = CreateHtmlTextView(QStringLiteral("MemoOriginal"), panel);
    MemoTidied = CreateHtmlTextView(QStringLiteral("MemoTidied"), panel);
    PrepareView(MemoOriginal, QColor(0xff, 0xe3, 0xe3), QColor(0xc8, 0x3c, 0x3c));
    PrepareView(MemoTidied, QColor(0xe0, 0xf4, 0xe0), QColor(0x38, 0x98, 0x38));
    Splitter2->addWidget(Titled(lblOriginal, MemoOriginal, Splitter2));
    Splitter2->addWidget(Titled(lblTidied, MemoTidied, Splitter2));
    layout->addWidget(Splitter2, 1);

    for (QsciScintilla* view : {MemoOriginal, MemoTidied}) {
        QsciScintilla* other = view == MemoOriginal ? MemoTidied : MemoOriginal;
        connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this,
                [this, view] { FollowScroll(view); });
        connect(view->horizontalScrollBar(), &QScrollBar::valueChanged, this,
                [this, other](int value) {
                    if (m_following)
                        return;
                    m_following = true;
                    other->horizontalScrollBar()->setValue(value);
                    m_following = false;
                });
    }
    UpdateChangeLabel();
    return panel;
}

void TFormReviewChanges::ShowRow(const QModelIndex& current) {
    if (!current.isValid() || current.row() >= m_session.List().Count()) {
        m_preview->Cancel();
        ClearViews();
        return;
    }
    lblFile->setText(DisplayText(m_session.List().Path(current.row())));
    m_preview->Show(m_session.List(), current.row(), m_session.Options());
}

void TFormReviewChanges::ClearViews() {
    m_shown = ShownFile();
    m_shown.path.clear();
    m_change = -1;
    lblFile->clear();
    lblNote->hide();
    for (QsciScintilla* view : {MemoOriginal, MemoTidied}) {
        view->markerDeleteAll();
        SetHtmlViewText(view, {});
    }
    lvMessages->clear();
    UpdateChangeLabel();
}

void TFormReviewChanges::FileReady(const ShownFile& file) {
    m_shown = file;
    lblFile->setText(DisplayText(file.path));
    QString note;
    switch (file.state) {
    case ShownFile::State::AsReviewed:
        break;
    case ShownFile::State::FileChanged:
        note = Translate(QStringLiteral(
            "This file changed since it was reviewed: what tidying would change now is shown. "
            "Tidy Checked Files leaves it as it is; review it again to tidy it."));
        break;
    case ShownFile::State::TidiedDiffers:
        note = Translate(QStringLiteral(
            "Tidying this file no longer gives the text that was reviewed: what it gives now is "
            "shown. Tidy Checked Files leaves it as it is; review it again to tidy it."));
        break;
    case ShownFile::State::Unreadable:
        note = file.problem;
        break;
    case ShownFile::State::CannotTidy:
        note = Translate(QStringLiteral("This file cannot be tidied now.")) +
               (file.problem.isEmpty() ? QString() : QLatin1Char(' ') + file.problem);
        break;
    }
    lblNote->setText(DisplayText(note));
    lblNote->setVisible(!note.isEmpty());
    m_following = true;
    // The marks follow the diff, whose lines end at line feeds.
    SetHtmlViewText(MemoOriginal, file.original, true);
    SetHtmlViewText(MemoTidied, file.tidied, true);
    m_following = false;
    MarkChanges();
    ShowMessages();
    m_change = -1;
    if (!m_shown.changes.blocks.isEmpty())
        GoToChange(0);
    UpdateChangeLabel();
    Q_EMIT FileShown();
}

void TFormReviewChanges::MarkChanges() {
    for (QsciScintilla* view : {MemoOriginal, MemoTidied})
        view->markerDeleteAll();
    for (const ChangeBlock& block : m_shown.changes.blocks) {
        Mark(MemoOriginal, block.originalLine, block.originalCount);
        Mark(MemoTidied, block.tidiedLine, block.tidiedCount);
    }
}

void TFormReviewChanges::ShowMessages() {
    lvMessages->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(m_shown.reports.size());
    for (const TidyReport& report : m_shown.reports) {
        if (report.muted)
            continue; // muted messages are shown nowhere
        auto* item = new QTreeWidgetItem(QStringList(FormatTidyMessage(
            report.level, report.line, report.column, QString::fromUtf8(report.text))));
        item->setData(0, Qt::UserRole, report.line);
        item->setData(0, Qt::UserRole + 1, report.column);
        items.append(item);
    }
    lvMessages->addTopLevelItems(items);
}

void TFormReviewChanges::MessageActivated(QTreeWidgetItem* item) {
    if (item == nullptr)
        return;
    const int line = item->data(0, Qt::UserRole).toInt();
    if (line <= 0 || line > MemoOriginal->lines())
        return;
    // The library counts from 1, the views from 0; its lines are those of the page as it is.
    MemoOriginal->setCursorPosition(line - 1,
                                    std::max(0, item->data(0, Qt::UserRole + 1).toInt() - 1));
    MemoOriginal->ensureLineVisible(line - 1);
    MemoOriginal->setFocus();
    FollowScroll(MemoOriginal);
}

void TFormReviewChanges::FollowScroll(QsciScintilla* from) {
    if (m_following || m_shown.path.isEmpty())
        return;
    QsciScintilla* to = from == MemoOriginal ? MemoTidied : MemoOriginal;
    // The lines in the middle of both views stand for each other.
    const int middle = from->firstVisibleLine() + LinesOnScreen(from) / 2;
    const int target =
        MatchingLine(m_shown.changes.blocks, middle, from == MemoOriginal) - LinesOnScreen(to) / 2;
    m_following = true;
    to->setFirstVisibleLine(std::max(0, target));
    m_following = false;
}

void TFormReviewChanges::GoToChange(int index) {
    const QList<ChangeBlock>& blocks = m_shown.changes.blocks;
    if (index < 0 || index >= blocks.size())
        return;
    m_change = index;
    const ChangeBlock& block = blocks.at(index);
    m_following = true;
    MemoOriginal->setCursorPosition(std::min(block.originalLine, MemoOriginal->lines() - 1), 0);
    MemoTidied->setCursorPosition(std::min(block.tidiedLine, MemoTidied->lines() - 1), 0);
    MemoOriginal->setFirstVisibleLine(std::max(0, block.originalLine - kLead));
    MemoTidied->setFirstVisibleLine(std::max(0, block.tidiedLine - kLead));
    m_following = false;
    UpdateChangeLabel();
}

void TFormReviewChanges::actNextChangeExecute() {
    const QList<ChangeBlock>& blocks = m_shown.changes.blocks;
    if (blocks.isEmpty())
        return;
    int next = m_change + 1;
    // Scrolled away from the change in hand: the next one after what is read now.
    const int reading = MemoOriginal->firstVisibleLine() + kLead;
    if (m_change >= 0 &&
        std::max(0, blocks.at(m_change).originalLine - kLead) != MemoOriginal->firstVisibleLine())
        next = BlockAtOrAfter(blocks, reading + 1, true);
    GoToChange(std::min(next, int(blocks.size()) - 1));
}

void TFormReviewChanges::actPreviousChangeExecute() {
    const QList<ChangeBlock>& blocks = m_shown.changes.blocks;
    if (blocks.isEmpty())
        return;
    int previous = m_change - 1;
    const int reading = MemoOriginal->firstVisibleLine() + kLead;
    if (m_change >= 0 &&
        std::max(0, blocks.at(m_change).originalLine - kLead) != MemoOriginal->firstVisibleLine())
        previous = BlockAtOrAfter(blocks, reading, true) - 1;
    GoToChange(std::max(previous, 0));
}

void TFormReviewChanges::UpdateChangeLabel() {
    const qsizetype count = m_shown.changes.blocks.size();
    QString text;
    if (m_shown.path.isEmpty())
        text.clear();
    else if (count == 0)
        text = Translate(QStringLiteral("No changes"));
    else if (m_change < 0)
        text = FillTemplate(Translate(QStringLiteral("%d changes")), {QString::number(count)});
    else
        text = FillTemplate(Translate(QStringLiteral("Change %d of %d")),
                            {QString::number(m_change + 1), QString::number(count)});
    lblChange->setText(text);
    actNextChange->setEnabled(count > 0);
    actPreviousChange->setEnabled(count > 0);
}

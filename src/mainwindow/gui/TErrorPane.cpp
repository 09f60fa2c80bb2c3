#include "mainwindow/gui/TErrorPane.h"

#include "engine/TidyEngine.h"
#include "mainwindow/gui/TErrorTabBar.h"
#include "support/Translation.h"
#include "support/gui/DisplayText.h"
#include "support/gui/Scintilla.h"
#include "support/gui/TextViewFont.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// While pages keep coming, the text view follows at most this often.
constexpr int kSyncIntervalMs = 250;

QAction* NewAction(QObject* owner, const char* name, const char* caption) {
    auto* action = new QAction(QString::fromLatin1(caption), owner);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

// The name of a file without its folder, as people read it.
QString FileNameOf(const QString& path) {
    return DisplayText(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
}

// Tab captions are names, not mnemonics: an '&' in a file name is shown as it is.
QString TabCaption(QString text) {
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

TErrorPane::TErrorPane(QWidget* parent)
    : QWidget(parent), actCloseErrorPage(NewAction(this, "actCloseErrorPage", "Close Page")),
      actCloseAllErrors(NewAction(this, "actCloseAllErrors", "Close All")),
      actCopyErrors(NewAction(this, "actCopyErrors", "Copy")),
      actViewErrors(NewAction(this, "actViewErrors", "Errors")) {
    setObjectName(QStringLiteral("ErrorPane"));
    resize(width(), 127);

    const QString closeHint = QStringLiteral("Close this error && warning page");
    actCloseErrorPage->setToolTip(closeHint);
    actCloseErrorPage->setStatusTip(closeHint);
    actCopyErrors->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    actViewErrors->setCheckable(true);
    connect(actCloseErrorPage, &QAction::triggered, this, &TErrorPane::actCloseErrorPageExecute);
    connect(actCloseAllErrors, &QAction::triggered, this, &TErrorPane::actCloseAllErrorsExecute);
    connect(actCopyErrors, &QAction::triggered, this, &TErrorPane::actCopyErrorsExecute);
    connect(actViewErrors, &QAction::triggered, this, &TErrorPane::actViewErrorsExecute);
    // The shortcuts work wherever the pane is shown, also on its own.
    addActions({actCloseErrorPage, actCloseAllErrors, actCopyErrors, actViewErrors});

    MemoErrors = new QsciScintilla(this);
    MemoErrors->setObjectName(QStringLiteral("MemoErrors"));
    MemoErrors->setUtf8(true);
    MemoErrors->setFont(TextViewFont());
    for (int margin = 0; margin < 5; ++margin)
        MemoErrors->setMarginWidth(margin, 0);
    MemoErrors->setMarginLineNumbers(0, false);
    MemoErrors->setFolding(QsciScintilla::NoFoldStyle);
    MemoErrors->setEolMode(QsciScintilla::EolUnix);
    // Ctrl+C is the pane's Copy, which copies the whole page when nothing is selected.
    if (QsciCommand* copy = MemoErrors->standardCommands()->find(QsciCommand::SelectionCopy))
        copy->setKey(0);
    MemoErrors->setContextMenuPolicy(Qt::ActionsContextMenu);
    MemoErrors->addActions({actCloseErrorPage, actCloseAllErrors, actCopyErrors});

    tcErrors = new TErrorTabBar(this);
    tcErrors->setObjectName(QStringLiteral("tcErrors"));
    connect(tcErrors, &TErrorTabBar::currentChanged, this, &TErrorPane::TabClicked);

    m_sync = new QTimer(this);
    m_sync->setSingleShot(true);
    connect(m_sync, &QTimer::timeout, this, &TErrorPane::SyncView);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(MemoErrors, 1);
    layout->addWidget(tcErrors);

    UpdateActions();
    // Hidden until a page is filled.
    setVisible(false);
}

TErrorPane::~TErrorPane() = default;

int TErrorPane::FindErrorPage(const QString& path) const {
    const TTidyErrors* page = m_firstPage.value(path);
    if (page == nullptr)
        return -1;
    // Pointers compare fast, also over thousands of pages; a new page is mostly the last one.
    for (int i = PageCount() - 1; i >= 0; --i)
        if (m_pages[std::size_t(i)].get() == page)
            return i;
    return -1;
}

int TErrorPane::AddErrorPage(const QString& path) {
    const int index = PageCount();
    InsertPage(index, std::make_unique<TTidyErrors>(path),
               TabCaption(FillTemplate(Translate(QStringLiteral("%s")), {FileNameOf(path)})));
    return index;
}

void TErrorPane::InsertPage(int index, std::unique_ptr<TTidyErrors> page, const QString& caption) {
    TTidyErrors* inserted = page.get();
    const int first =
        m_pagesOfPath[inserted->FileName]++ == 0 ? -1 : FindErrorPage(inserted->FileName);
    m_pages.insert(m_pages.begin() + index, std::move(page));
    if (first < 0 || index <= first)
        m_firstPage.insert(inserted->FileName, inserted);
    {
        const QSignalBlocker blocker(tcErrors);
        tcErrors->insertTab(index, caption);
    }
    if (PageCount() == 1)
        PageShown(); // the first tab is the current one
    UpdateActions();
}

void TErrorPane::ForgetPage(const TTidyErrors* page) {
    const auto count = m_pagesOfPath.find(page->FileName);
    if (count == m_pagesOfPath.end())
        return;
    if (--count.value() == 0) {
        m_pagesOfPath.erase(count);
        m_firstPage.remove(page->FileName);
        return;
    }
    if (m_firstPage.value(page->FileName) != page)
        return;
    // Two pages for one file are rare: the next one is looked for the slow way.
    for (const auto& other : m_pages)
        if (other && other.get() != page && other->FileName == page->FileName) {
            m_firstPage.insert(page->FileName, other.get());
            break;
        }
}

TTidyErrors* TErrorPane::Page(int index) {
    if (index < 0 || index >= PageCount())
        return nullptr;
    return m_pages[static_cast<std::size_t>(index)].get();
}

int TErrorPane::CurrentPage() const {
    return tcErrors->currentIndex();
}

void TErrorPane::SelectPage(int index) {
    if (index < 0 || index >= PageCount())
        return;
    {
        const QSignalBlocker blocker(tcErrors);
        tcErrors->setCurrentIndex(index);
    }
    PageShown();
}

void TErrorPane::ClosePage(int index) {
    if (index < 0 || index >= PageCount())
        return;
    {
        const std::unique_ptr<TTidyErrors> page = std::move(m_pages[std::size_t(index)]);
        m_pages.erase(m_pages.begin() + index);
        ForgetPage(page.get());
    }
    {
        const QSignalBlocker blocker(tcErrors);
        tcErrors->removeTab(index);
        tcErrors->setCurrentIndex(std::min(index, PageCount() - 1));
    }
    UpdateActions();
    if (PageCount() > 0)
        PageShown();
    else
        ShowErrorPane(false);
}

TKelvaneMessages* TErrorPane::SummaryPage() const {
    if (m_pages.empty())
        return nullptr;
    return dynamic_cast<TKelvaneMessages*>(m_pages.front().get());
}

TKelvaneMessages* TErrorPane::EnsureSummaryPage() {
    if (TKelvaneMessages* page = SummaryPage())
        return page;
    const QString caption = Translate(QStringLiteral("Tidy Errors"));
    auto page = std::make_unique<TKelvaneMessages>(caption);
    TKelvaneMessages* summary = page.get();
    InsertPage(0, std::move(page), TabCaption(caption));
    return summary;
}

void TErrorPane::RemoveSummaryPage() {
    if (SummaryPage() != nullptr)
        ClosePage(0);
}

void TErrorPane::PageShown() {
    m_textStale = true;
    if (m_sync->isActive())
        return;
    // The first page after a quiet spell shows at once, a stream of them a few times a second.
    const qint64 since = m_sinceSync.isValid() ? m_sinceSync.elapsed() : kSyncIntervalMs;
    m_sync->start(int(std::max<qint64>(0, kSyncIntervalMs - since)));
}

QsciScintilla* TErrorPane::TextView() const {
    const_cast<TErrorPane*>(this)->SyncView();
    return MemoErrors;
}

void TErrorPane::SyncView() {
    m_sync->stop();
    // A hidden pane shows its page when it is shown again.
    if (m_textStale && PaneVisible()) {
        m_sinceSync.start();
        ShowCurrentPage();
    }
}

void TErrorPane::TabClicked() {
    // The user chose a tab: its page, now.
    ShowCurrentPage();
}

void TErrorPane::ShowCurrentPage() {
    m_textStale = false;
    const TTidyErrors* page = Page(CurrentPage());
    if (page == nullptr) {
        SetViewText(QString());
        return;
    }
    QStringList lines;
    lines.reserve(page->Messages.size() + 2);
    lines << page->Heading << QString();
    lines += page->Messages;
    SetViewText(DisplayText(lines.join(QLatin1Char('\n'))));
}

void TErrorPane::SetViewText(const QString& text) {
    MemoErrors->setText(text);
    // What was typed into one page must not be undone into another.
    MemoErrors->SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
}

void TErrorPane::ShowErrorPane(bool visible) {
    const bool changed = visible != PaneVisible();
    setVisible(visible);
    actViewErrors->setChecked(visible);
    if (changed)
        Q_EMIT PaneVisibilityChanged(visible);
    if (visible)
        PageShown();
}

void TErrorPane::ShowRunSummary(const QString& heading, const QStringList& messages) {
    if (messages.isEmpty()) {
        RemoveSummaryPage();
        return;
    }
    TKelvaneMessages* page = EnsureSummaryPage();
    page->Messages = messages;
    page->Heading = heading;
    {
        const QSignalBlocker blocker(tcErrors);
        tcErrors->setCurrentIndex(0);
    }
    ShowErrorPane(true);
}

void TErrorPane::actCloseErrorPageExecute() {
    ClosePage(CurrentPage());
}

void TErrorPane::actCloseAllErrorsExecute() {
    ShowErrorPane(false);
    m_pages.clear();
    m_firstPage.clear();
    m_pagesOfPath.clear();
    {
        const QSignalBlocker blocker(tcErrors);
        tcErrors->clear();
    }
    UpdateActions();
    m_textStale = false;
    SetViewText(QString());
}

void TErrorPane::actCopyErrorsExecute() {
    SyncView();
    const long start = MemoErrors->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONSTART);
    const long end = MemoErrors->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONEND);
    QString text;
    if (start != end) {
        text = MemoErrors->selectedText();
    } else {
        text = MemoErrors->text();
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    }
    QGuiApplication::clipboard()->setText(text);
}

void TErrorPane::actViewErrorsExecute() {
    ShowErrorPane(!PaneVisible());
}

void TErrorPane::UpdateActions() {
    actViewErrors->setEnabled(!m_pages.empty());
}

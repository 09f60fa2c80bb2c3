#include "mainwindow/gui/TErrorPane.h"

#include "engine/TidyEngine.h"
#include "mainwindow/gui/TErrorTabBar.h"
#include "support/Translation.h"
#include "support/gui/Scintilla.h"
#include "support/gui/TextViewFont.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QSignalBlocker>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QAction* NewAction(QObject* owner, const char* name, const char* caption) {
    auto* action = new QAction(QString::fromLatin1(caption), owner);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

// The name of a file without its folder.
QString FileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
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
    tcErrors->setShape(QTabBar::RoundedSouth);
    tcErrors->setExpanding(false);
    tcErrors->setUsesScrollButtons(true);
    tcErrors->setElideMode(Qt::ElideNone);
    connect(tcErrors, &QTabBar::currentChanged, this, &TErrorPane::ShowCurrentPage);

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
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        if (m_pages[i] && m_pages[i]->FileName == path)
            return static_cast<int>(i);
    }
    return -1;
}

int TErrorPane::AddErrorPage(const QString& path) {
    m_pages.push_back(std::make_unique<TTidyErrors>(path));
    int index = 0;
    {
        const QSignalBlocker blocker(tcErrors);
        index = tcErrors->addTab(
            TabCaption(FillTemplate(Translate(QStringLiteral("%s")), {FileNameOf(path)})));
    }
    UpdateActions();
    return index;
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
    if (PaneVisible())
        ShowCurrentPage();
}

void TErrorPane::ClosePage(int index) {
    if (index < 0 || index >= PageCount())
        return;
    m_pages.erase(m_pages.begin() + index);
    {
        const QSignalBlocker blocker(tcErrors);
        tcErrors->removeTab(index);
    }
    UpdateActions();
    if (PageCount() > 0) {
        {
            const QSignalBlocker blocker(tcErrors);
            tcErrors->setCurrentIndex(std::min(index, PageCount() - 1));
        }
        ShowCurrentPage();
    } else {
        ShowErrorPane(false);
    }
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
    m_pages.insert(m_pages.begin(), std::move(page));
    {
        const QSignalBlocker blocker(tcErrors);
        tcErrors->insertTab(0, TabCaption(caption));
    }
    UpdateActions();
    return summary;
}

void TErrorPane::RemoveSummaryPage() {
    if (SummaryPage() != nullptr)
        ClosePage(0);
}

void TErrorPane::ShowCurrentPage() {
    const TTidyErrors* page = Page(CurrentPage());
    if (page == nullptr) {
        SetViewText(QString());
        return;
    }
    QStringList lines;
    lines.reserve(page->Messages.size() + 2);
    lines << page->Heading << QString();
    lines += page->Messages;
    SetViewText(lines.join(QLatin1Char('\n')));
}

void TErrorPane::SetViewText(const QString& text) {
    MemoErrors->setText(text);
    // What was typed into one page must not be undone into another.
    MemoErrors->SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
}

void TErrorPane::ShowErrorPane(bool visible) {
    setVisible(visible);
    actViewErrors->setChecked(visible);
    Q_EMIT PaneVisibilityChanged(visible);
    if (visible)
        ShowCurrentPage();
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
    // Hidden first, and the first tab selected: neither the layout of the tabs nor the choice
    // of a new current tab is then redone for every closed tab.
    ShowErrorPane(false);
    const QSignalBlocker blocker(tcErrors);
    tcErrors->setCurrentIndex(0);
    for (int index = PageCount() - 1; index >= 0; --index) {
        m_pages.erase(m_pages.begin() + index);
        tcErrors->removeTab(index);
    }
    UpdateActions();
    SetViewText(QString());
}

void TErrorPane::actCopyErrorsExecute() {
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

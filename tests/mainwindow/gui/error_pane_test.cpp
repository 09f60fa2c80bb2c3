#include "common/TestSupport.h"
#include "engine/TidyEngine.h"
#include "mainwindow/gui/TErrorPane.h"
#include "mainwindow/gui/TErrorTabBar.h"
#include "support/Translation.h"
#include "support/gui/Scintilla.h"
#include "support/gui/TranslateComponents.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMainWindow>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class ErrorPaneTest : public ::testing::Test {
protected:
    // A file page as the validate run fills it.
    int Validated(const QString& path, const QStringList& lines) {
        int index = pane.FindErrorPage(path);
        if (index < 0)
            index = pane.AddErrorPage(path);
        TTidyErrors* page = pane.Page(index);
        page->Heading = QStringLiteral("Validation results for file \"%1\"").arg(path);
        page->Messages = lines;
        pane.SelectPage(index);
        pane.ShowErrorPane(true);
        return index;
    }
    QString Shown() const { return pane.TextView()->text(); }
    QStringList Captions() const {
        QStringList captions;
        for (int i = 0; i < pane.Tabs()->count(); ++i)
            captions << pane.Tabs()->tabText(i);
        return captions;
    }

    TErrorPane pane;
};

} // namespace

TEST_F(ErrorPaneTest, FilePagesAreTitledByNameFoundByPathAndReused) {
    QSignalSpy shown(&pane, &TErrorPane::PaneVisibilityChanged);
    EXPECT_FALSE(pane.PaneVisible());
    EXPECT_FALSE(pane.actViewErrors->isEnabled());

    EXPECT_EQ(Validated("/site/Index.html", {"Line 1, Column 1 - Warning: one"}), 0);
    EXPECT_TRUE(pane.PaneVisible());
    EXPECT_TRUE(pane.actViewErrors->isEnabled());
    EXPECT_TRUE(pane.actViewErrors->isChecked());
    EXPECT_EQ(shown.size(), 1);
    EXPECT_EQ(Shown(), QStringLiteral("Validation results for file \"/site/Index.html\"\n\n"
                                      "Line 1, Column 1 - Warning: one"));

    // Names differ by case on Linux: two files, two pages. An '&' is no mnemonic.
    EXPECT_EQ(pane.FindErrorPage("/site/index.html"), -1);
    EXPECT_EQ(Validated("/site/index.html", {"x"}), 1);
    EXPECT_EQ(Validated("/site/R&D.htm", {"y"}), 2);
    EXPECT_EQ(Captions(), QStringList({"Index.html", "index.html", "R&&D.htm"}));

    // Validating again replaces the page's content and selects it.
    EXPECT_EQ(Validated("/site/Index.html", {"second", "result"}), 0);
    EXPECT_EQ(pane.PageCount(), 3);
    EXPECT_EQ(pane.CurrentPage(), 0);
    EXPECT_TRUE(Shown().endsWith(QStringLiteral("\n\nsecond\nresult")));

    // What the user types is lost when a page is shown again; a click on a tab shows its page.
    pane.TextView()->append(QStringLiteral("\ntyped"));
    pane.Tabs()->setCurrentIndex(2);
    EXPECT_EQ(Shown(), QStringLiteral("Validation results for file \"/site/R&D.htm\"\n\ny"));
    pane.Tabs()->setCurrentIndex(0);
    EXPECT_FALSE(Shown().contains(QStringLiteral("typed")));

    // The Errors action hides and shows the pane again.
    pane.actViewErrors->trigger();
    EXPECT_FALSE(pane.PaneVisible());
    EXPECT_FALSE(pane.actViewErrors->isChecked());
    pane.actViewErrors->trigger();
    EXPECT_TRUE(pane.PaneVisible());
    EXPECT_TRUE(pane.actViewErrors->isChecked());
    // Said when the pane comes and goes, not for every page filled while it is shown.
    EXPECT_EQ(shown.size(), 3);
    EXPECT_EQ(shown.last().first().toBool(), true);
}

TEST_F(ErrorPaneTest, RunSummaryStandsFirstAndGoesWhenARunHasNoMessages) {
    Validated("/site/a.htm", {"a1"});
    Validated("/site/b.htm", {"b1"});
    pane.ShowErrorPane(false);

    pane.ShowRunSummary("Kelvane - Restored 1 files out of 2",
                        {"/site/c.htm: No backup exists. This file cannot be restored."});
    ASSERT_NE(pane.SummaryPage(), nullptr);
    EXPECT_EQ(pane.SummaryPage()->FileName, QStringLiteral("Tidy Errors"));
    EXPECT_EQ(Captions(), QStringList({"Tidy Errors", "a.htm", "b.htm"}));
    EXPECT_EQ(pane.CurrentPage(), 0);
    EXPECT_TRUE(pane.PaneVisible());
    EXPECT_EQ(Shown(), QStringLiteral("Kelvane - Restored 1 files out of 2\n\n"
                                      "/site/c.htm: No backup exists. This file cannot be "
                                      "restored."));
    EXPECT_EQ(pane.FindErrorPage("/site/b.htm"), 2);

    // The next run reuses the page; an empty heading leaves two empty lines at the top.
    pane.ShowRunSummary(QString(), {"Cannot delete file \"/x\".", "Cannot delete file \"/y\"."});
    EXPECT_EQ(pane.PageCount(), 3);
    EXPECT_EQ(Shown(),
              QStringLiteral("\n\nCannot delete file \"/x\".\nCannot delete file \"/y\"."));

    // A run without messages removes it and leaves the pane as it was.
    pane.ShowRunSummary("Kelvane - Tidied 3 files out of 3", {});
    EXPECT_EQ(pane.SummaryPage(), nullptr);
    EXPECT_EQ(Captions(), QStringList({"a.htm", "b.htm"}));
    EXPECT_TRUE(pane.PaneVisible());
    pane.ShowErrorPane(false);
    pane.ShowRunSummary("Kelvane - Tidied 3 files out of 3", {});
    EXPECT_FALSE(pane.PaneVisible());
}

TEST_F(ErrorPaneTest, ClosingAPageSelectsTheOneInItsPlace) {
    struct CloseCase {
        const char* name;
        int selected;
        int closed;
        QStringList remaining;
        QString selectedAfter;
    };
    const CloseCase cases[] = {
        {"the selected middle page", 1, 1, {"a", "c", "d"}, "c"},
        {"the last page", 3, 3, {"a", "b", "c"}, "c"},
        {"a page before the selected one", 3, 0, {"b", "c", "d"}, "b"},
        {"no page: nothing", 2, -1, {"a", "b", "c", "d"}, "c"},
        {"past the end: nothing", 2, 4, {"a", "b", "c", "d"}, "c"},
    };
    for (const CloseCase& c : cases) {
        pane.actCloseAllErrors->trigger();
        for (const char* name : {"a", "b", "c", "d"})
            Validated(QStringLiteral("/p/") + QLatin1String(name), {QLatin1String(name)});
        pane.SelectPage(c.selected);
        pane.ClosePage(c.closed);
        EXPECT_EQ(Captions(), c.remaining) << c.name;
        EXPECT_EQ(pane.Tabs()->tabText(pane.CurrentPage()), c.selectedAfter) << c.name;
        EXPECT_TRUE(Shown().endsWith(QLatin1Char('\n') + c.selectedAfter)) << c.name;
        EXPECT_TRUE(pane.PaneVisible()) << c.name;
    }

    // Closing the only page hides the pane and disables Errors; Close Page then does nothing.
    QSignalSpy shown(&pane, &TErrorPane::PaneVisibilityChanged);
    pane.actCloseAllErrors->trigger();
    Validated("/p/only.htm", {"x"});
    pane.actCloseErrorPage->trigger();
    EXPECT_EQ(pane.PageCount(), 0);
    EXPECT_FALSE(pane.PaneVisible());
    EXPECT_FALSE(pane.actViewErrors->isEnabled());
    EXPECT_FALSE(pane.actViewErrors->isChecked());
    EXPECT_FALSE(shown.last().first().toBool());
    pane.actCloseErrorPage->trigger();
    EXPECT_EQ(pane.PageCount(), 0);

    // Close All with a summary and file pages.
    Validated("/p/a", {"a"});
    pane.ShowRunSummary("heading", {"line"});
    pane.actCloseAllErrors->trigger();
    EXPECT_EQ(pane.PageCount(), 0);
    EXPECT_EQ(pane.Tabs()->count(), 0);
    EXPECT_EQ(pane.SummaryPage(), nullptr);
    EXPECT_FALSE(pane.PaneVisible());
}

TEST_F(ErrorPaneTest, TabsAreAsWideAsTheirCaptionsAfterPagesCloseAndFontsChange) {
    for (const char* name : {"a.htm", "a-much-longer-page-name.html", "b.htm", "mid.htm"})
        Validated(QStringLiteral("/p/") + QLatin1String(name), {"x"});
    pane.ClosePage(1);
    pane.Tabs()->setFont(QFont(pane.Tabs()->font().family(), 20));
    QTabBar plain;
    plain.setShape(QTabBar::RoundedSouth);
    plain.setExpanding(false);
    plain.setElideMode(Qt::ElideNone);
    plain.setFont(pane.Tabs()->font());
    for (int i = 0; i < pane.Tabs()->count(); ++i) {
        plain.addTab(pane.Tabs()->tabText(i));
        EXPECT_EQ(pane.Tabs()->tabRect(i).width(), plain.tabRect(i).width())
            << pane.Tabs()->tabText(i).toStdString();
    }
}

TEST_F(ErrorPaneTest, CopyTakesTheSelectionOrTheWholePageWithCrLf) {
    pane.ShowRunSummary("Kelvane - Tidied 1 files out of 2", {"first line", "second line"});
    QClipboard* clipboard = QGuiApplication::clipboard();

    pane.actCopyErrors->trigger();
    EXPECT_EQ(clipboard->text(), QStringLiteral("Kelvane - Tidied 1 files out of 2\r\n\r\n"
                                                "first line\r\nsecond line"));

    pane.TextView()->setSelection(2, 0, 2, 5);
    pane.actCopyErrors->trigger();
    EXPECT_EQ(clipboard->text(), QStringLiteral("first"));

    // Ctrl+C in the text view is the pane's Copy, not the editor's own.
    clipboard->clear();
    pane.TextView()->setSelection(0, 0, 0, 0);
    pane.show();
    QApplication::setActiveWindow(&pane);
    if (!QTest::qWaitForWindowActive(&pane, 2000))
        GTEST_SKIP() << "this display activates no window (no window manager): no shortcuts";
    pane.TextView()->setFocus();
    QTest::keyClick(pane.TextView(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(clipboard->text().endsWith(QStringLiteral("\r\nfirst line\r\nsecond line")));
}

namespace {

// A window holding the pane, as the main window does.
class TFormPaneHost : public QMainWindow {
    Q_OBJECT
public:
    TFormPaneHost() {
        auto* splitter = new QSplitter(Qt::Vertical, this);
        splitter->addWidget(new QWidget);
        pane = new TErrorPane;
        splitter->addWidget(pane);
        setCentralWidget(splitter);
    }
    TErrorPane* pane;
};

} // namespace

TEST(ErrorPaneTranslation, ActionsUnderTheHoldingWindowPageTextsUnderTheStringTable) {
    QTemporaryDir language;
    ASSERT_TRUE(language.isValid());
    LoadLanguageText(language.path(), "<//TFormPaneHost-main window\n"
                                      "E=Close Page\nT=Seite schlie\xc3\x9f"
                                      "en\n"
                                      "E=Close this error && warning page\nT=Diese Seite zu\n"
                                      "E=Close All\nT=Alle schlie\xc3\x9f"
                                      "en\n"
                                      "E=Copy\nT=Kopieren\n"
                                      "E=Errors\nT=Fehler\n"
                                      "E=Tidy Errors\nT=wrong section\n"
                                      "<//STRING_TABLE-texts\n"
                                      "E=Tidy Errors\nT=Tidy-Fehler\n"
                                      "E=%s\nT=Datei %s\n");
    TFormPaneHost host;
    TranslateComponent(&host);
    TErrorPane& pane = *host.pane;
    EXPECT_EQ(pane.actCloseErrorPage->text(), QStringLiteral("Seite schließen"));
    EXPECT_EQ(pane.actCloseErrorPage->toolTip(), QStringLiteral("Diese Seite zu"));
    EXPECT_EQ(pane.actCloseErrorPage->statusTip(), QStringLiteral("Diese Seite zu"));
    EXPECT_EQ(pane.actCloseAllErrors->text(), QStringLiteral("Alle schließen"));
    EXPECT_EQ(pane.actCopyErrors->text(), QStringLiteral("Kopieren"));
    EXPECT_EQ(pane.actViewErrors->text(), QStringLiteral("Fehler"));

    pane.ShowRunSummary(QString(), {"line"});
    pane.AddErrorPage(QStringLiteral("/site/page.htm"));
    EXPECT_EQ(pane.SummaryPage()->FileName, QStringLiteral("Tidy-Fehler"));
    EXPECT_EQ(pane.Tabs()->tabText(0), QStringLiteral("Tidy-Fehler"));
    EXPECT_EQ(pane.Tabs()->tabText(1), QStringLiteral("Datei page.htm"));
    ClearTranslations();
}

#include "error_pane_test.moc"

// Review Changes as a user goes through it from the main window: the action and its key, the
// review window filled by a check run, the views of a file, a check box cleared from the
// keyboard, Tidy Checked Files, Save as Patch, and the window's size kept in the settings file.

#include "MainWindowFixture.h"
#include "engine/TidyEngine.h"
#include "fileops/BackupStore.h"
#include "fileops/gui/TFormReviewChanges.h"
#include "mainwindow/gui/TErrorPane.h"
#include "support/gui/Scintilla.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QSplitter>
#include <QTreeWidget>
#include <numeric>

namespace {

class ReviewWindow : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        WriteAll(at("page.html"), kPage);
        WriteAll(at("other.htm"), "<title>o</title><p>one");
        TFormKelvane& w = openWithRuns();
        w.show();
        QApplication::setActiveWindow(&w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        showFolder(site);
    }
    // Selects, lets the window become idle, presses Ctrl+Shift+T as a user does.
    TFormReviewChanges* review(std::initializer_list<const char*> names) {
        select(names);
        Idle();
        QApplication::setActiveWindow(window.get());
        window->fileList()->setFocus();
        prompts.optionsAnswers = {true};
        QTest::keyClick(window->fileList(), Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
        return window->ReviewWindow();
    }
    static QByteArray tidied(QByteArray page) {
        QString messages;
        EXPECT_TRUE(RunTidy(page, messages));
        return page;
    }
    static bool marked(QsciScintilla* view, int line) { return view->markersAtLine(line) != 0; }

    static constexpr const char* kPage =
        "<!DOCTYPE html>\n<html>\n<head>\n<title>t</title>\n"
        "</head>\n<body>\n<p>one\n<p>two <img src=\"a.gif\">\n</body>\n"
        "</html>\n";
};

TEST_F(ReviewWindow, ListsTheChangesShowsThemAndTidiesOnlyTheCheckedFiles) {
    TFormKelvane& w = *window;
    // In the Tidy menu after Tidy..., enabled where Tidy is.
    QMenu* tidyMenu = w.findChild<QMenu*>("miTidy");
    ASSERT_NE(tidyMenu, nullptr);
    const QList<QAction*> entries = tidyMenu->actions();
    ASSERT_GE(entries.indexOf(w.actReviewChanges), 1);
    EXPECT_EQ(entries.at(entries.indexOf(w.actReviewChanges) - 1), w.actTidy);
    select({"locked.html"});
    Idle();
    EXPECT_FALSE(w.actReviewChanges->isEnabled());

    TFormReviewChanges* form = review({"page.html", "other.htm", "locked.html"});
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(form->isVisible());
    EXPECT_EQ(ReadAll(at("page.html")), QByteArray(kPage)) << "a review writes nothing";
    EXPECT_FALSE(HasBackup(at("page.html")));
    QAbstractItemModel* model = form->FileList()->model();
    ASSERT_EQ(model->rowCount(), 2);
    // In the order of the work list, which is the file list's.
    EXPECT_EQ(model->index(0, 0).data().toString(), "other.htm");
    EXPECT_EQ(model->index(1, 0).data().toString(), "page.html");
    EXPECT_EQ(model->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(model->index(0, 1).data().toString(), ".");
    EXPECT_GT(model->index(0, 2).data().toInt(), 0);
    EXPECT_EQ(form->CountsText(),
              "Tidying would change 2 files; 0 would stay as they are; 1 could not be tidied.");
    // The read-only file's line is on the summary page, under the review's heading.
    ASSERT_NE(w.errorPane()->SummaryPage(), nullptr);
    EXPECT_EQ(w.errorPane()->SummaryPage()->Heading,
              "Kelvane - Reviewed 3 files: tidying would change 2 of them");

    // The first file is shown at once; page.html when chosen: both texts, the changes marked
    // on both sides, its messages.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Shown().path == at("other.htm"); }));
    form->FileList()->setCurrentIndex(model->index(1, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Shown().path == at("page.html"); }));
    EXPECT_EQ(form->OriginalView()->text().toUtf8(), QByteArray(kPage));
    EXPECT_EQ(form->TidiedView()->text().toUtf8(), tidied(kPage));
    EXPECT_EQ(form->Shown().state, ShownFile::State::AsReviewed);
    ASSERT_FALSE(form->Shown().changes.blocks.isEmpty());
    // Exactly the changed lines are marked, on each side.
    for (const bool original : {true, false}) {
        QsciScintilla* view = original ? form->OriginalView() : form->TidiedView();
        QSet<int> changed;
        for (const ChangeBlock& block : form->Shown().changes.blocks)
            for (int i = 0; i < (original ? block.originalCount : block.tidiedCount); ++i)
                changed.insert((original ? block.originalLine : block.tidiedLine) + i);
        int unchanged = 0;
        for (int line = 0; line < view->lines(); ++line) {
            EXPECT_EQ(marked(view, line), changed.contains(line)) << original << " " << line;
            unchanged += !changed.contains(line);
        }
        EXPECT_GT(unchanged, 0) << "a page with lines that tidying keeps";
    }
    EXPECT_EQ(form->CurrentChange(), 0);
    // A double-click on a message goes to its line of the page.
    QTreeWidget* messages = form->MessageList();
    QTreeWidgetItem* lacksAlt = nullptr;
    for (int i = 0; i < messages->topLevelItemCount(); ++i)
        if (messages->topLevelItem(i)->text(0).contains("lacks \"alt\""))
            lacksAlt = messages->topLevelItem(i);
    ASSERT_NE(lacksAlt, nullptr);
    EXPECT_TRUE(lacksAlt->text(0).startsWith("Line 8, Column ")) << lacksAlt->text(0).toStdString();
    messages->scrollToItem(lacksAlt);
    const QPoint where = messages->visualItemRect(lacksAlt).center();
    // As the system sends it: a click, then the double-click.
    QTest::mouseClick(messages->viewport(), Qt::LeftButton, {}, where);
    QTest::mouseDClick(messages->viewport(), Qt::LeftButton, {}, where);
    int line = -1, index = -1;
    form->OriginalView()->getCursorPosition(&line, &index);
    EXPECT_EQ(line, 7);
    // F8 goes to the next change, Shift+F8 back.
    const qsizetype changes = form->Shown().changes.blocks.size();
    form->activateWindow();
    QTest::keyClick(form->FileList(), Qt::Key_F8);
    EXPECT_EQ(form->CurrentChange(), changes > 1 ? 1 : 0);
    QTest::keyClick(form->FileList(), Qt::Key_F8, Qt::ShiftModifier);
    EXPECT_EQ(form->CurrentChange(), 0);

    // Space clears the current file's check box; Tidy Checked Files tidies the other one.
    form->FileList()->setFocus();
    QTest::keyClick(form->FileList(), Qt::Key_Space);
    EXPECT_EQ(model->index(1, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(model->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    auto* tidyChecked = form->findChild<QPushButton*>("btTidyChecked");
    ASSERT_NE(tidyChecked, nullptr);
    ASSERT_TRUE(tidyChecked->isEnabled());
    QTest::mouseClick(tidyChecked, Qt::LeftButton);

    EXPECT_FALSE(form->isVisible()) << "the review has served";
    EXPECT_EQ(ReadAll(at("page.html")), QByteArray(kPage));
    EXPECT_FALSE(HasBackup(at("page.html")));
    EXPECT_EQ(ReadAll(at("other.htm")), tidied("<title>o</title><p>one"));
    EXPECT_EQ(ReadAll(BackupPathOf(at("other.htm"))), QByteArray("<title>o</title><p>one"));
    EXPECT_EQ(w.errorPane()->SummaryPage(), nullptr) << "nothing to report";
    // The list is read again with the selection kept; the tidied file is marked.
    waitLoaded();
    EXPECT_EQ(item("other.htm").data(FileListModel::MarkRole).toInt(), FileListModel::MarkTidied);
    EXPECT_EQ(w.SelectedPaths(),
              (QStringList{at("page.html"), at("other.htm"), at("locked.html")}));
}

TEST_F(ReviewWindow, SavesAPatchAndKeepsItsSizeAndASecondReviewReplacesTheFirst) {
    TFormReviewChanges* form = review({"page.html", "other.htm"});
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->FileList()->model()->rowCount(), 2);
    form->Session().List().SetChecked(0, false); // other.htm
    const QString patchFile = dir.filePath("tidy.patch");
    prompts.saveAnswers = {patchFile};
    QTest::mouseClick(form->findChild<QPushButton*>("btSavePatch"), Qt::LeftButton);
    ASSERT_EQ(prompts.asked.last().what, "save");
    EXPECT_EQ(prompts.asked.last().save.initialFolder, site);
    const QByteArray patch = ReadAll(patchFile);
    EXPECT_TRUE(patch.startsWith("--- a/page.html\n+++ b/page.html\n")) << patch.constData();
    EXPECT_FALSE(patch.contains("other.htm"));
    EXPECT_EQ(ReadAll(at("page.html")), QByteArray(kPage));
    auto* status = form->findChild<QLabel*>("lblStatus");
    EXPECT_EQ(status->text(), "The changes of 1 files were saved in " + patchFile + ".");
    EXPECT_TRUE(form->isVisible());

    // Resized and closed: the size and the splitters are kept, the review is gone.
    form->resize(1000, 700);
    auto* splitter = form->findChild<QSplitter*>("Splitter1");
    splitter->setSizes({100, 400, 150});
    const QList<int> sizes = splitter->sizes();
    QTest::mouseClick(form->findChild<QPushButton*>("btClose"), Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->Session().List().Count(), 0);
    EXPECT_EQ(ReadAll(at("page.html")), QByteArray(kPage)) << "Close writes nothing";
    EXPECT_EQ(SettingsFile().ReadInteger("FormReviewChanges", "Width", 0), 1000);

    // Another window of the same program opens at that size.
    window.reset();
    TFormKelvane& again = open();
    again.show();
    showFolder(site);
    form = review({"other.htm"});
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->size(), QSize(1000, 700));
    // In the same proportions (the room they share may differ by the status line).
    const QList<int> restored = form->findChild<QSplitter*>("Splitter1")->sizes();
    ASSERT_EQ(restored.size(), sizes.size());
    const double scale = double(std::accumulate(restored.begin(), restored.end(), 0)) /
                         std::accumulate(sizes.begin(), sizes.end(), 0);
    for (qsizetype i = 0; i < sizes.size(); ++i)
        EXPECT_NEAR(restored.at(i), sizes.at(i) * scale, 3) << i;
    EXPECT_EQ(form->FileList()->model()->rowCount(), 1);

    // A review cancelled at its options keeps the one in hand.
    prompts.optionsAnswers = {false};
    select({"page.html"});
    Idle();
    again.actReviewChanges->trigger();
    EXPECT_EQ(form->FileList()->model()->rowCount(), 1);
    EXPECT_EQ(form->Session().List().Path(0), at("other.htm"));
}

TEST_F(ReviewWindow, CarriageReturnsThatEndNoLineKeepTheMarksOnTheDiffsLines) {
    // An old Mac page: its lines end at CR only, so for the diff it is one line.
    WriteAll(at("page.html"), "<title>m</title>\r<p>one\r<p>two\r");
    TFormReviewChanges* form = review({"page.html"});
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Shown().path == at("page.html"); }));
    EXPECT_EQ(form->Shown().changes.blocks.first().originalCount, 1);
    EXPECT_EQ(form->OriginalView()->lines(), 1);
    EXPECT_EQ(form->OriginalView()->text(),
              QString("<title>m</title>\u240D<p>one\u240D<p>two\u240D"));
    EXPECT_TRUE(marked(form->OriginalView(), 0));
}

} // namespace

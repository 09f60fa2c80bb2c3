// Batch runs started from the main window as a user starts them: the real actions and
// shortcuts, the progress and scanning windows, the in-process tidy engine, and scripted
// answers to the options dialog and the questions.

#include "MainWindowFixture.h"
#include "engine/TidyEngine.h"
#include "fileops/BackupStore.h"
#include "mainwindow/gui/TErrorPane.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>

namespace {

class WindowRuns : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        WriteAll(at("page.html"), kPage);
        TFormKelvane& w = openWithRuns();
        w.show();
        QApplication::setActiveWindow(&w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        showFolder(site);
    }
    // What a user does: select, let the window become idle, press the keys in it. (The
    // offscreen platform has no window manager to give the window back its activation when a
    // modal window closes.)
    void press(QWidget* where, Qt::Key key) {
        Idle();
        QApplication::setActiveWindow(window.get());
        where->setFocus();
        QTest::keyClick(where, key, Qt::ControlModifier);
    }

    static constexpr const char* kPage = "<title>t</title><p>one<p>two";
};

TEST_F(WindowRuns, TidyReselectsMarkedFilesAndRestoreBringsTheBytesBack) {
    TFormKelvane& w = *window;
    TErrorPane& pane = *w.errorPane();
    select({"page.html", "locked.html"});
    prompts.optionsAnswers = {true};
    press(w.fileList(), Qt::Key_T);

    ASSERT_EQ(prompts.asked.size(), 1);
    EXPECT_EQ(prompts.asked.first().what, QStringLiteral("options"));
    EXPECT_NE(ReadAll(at("page.html")), QByteArray(kPage));
    EXPECT_EQ(ReadAll(BackupPathOf(at("page.html"))), QByteArray(kPage));
    EXPECT_EQ(ReadAll(at("locked.html")), QByteArray("<p>x"));
    EXPECT_FALSE(w.Busy());
    // The run's one problem is on the summary page, in front.
    ASSERT_NE(pane.SummaryPage(), nullptr);
    EXPECT_EQ(pane.SummaryPage()->Heading, QStringLiteral("Kelvane - Tidied 1 files out of 2"));
    EXPECT_EQ(pane.SummaryPage()->Messages,
              QStringList{at("locked.html") + ": File is read-only. This file cannot be tidied."});
    EXPECT_TRUE(w.ErrorAreaVisible());

    // The list is read again: the same files selected, the tidied one marked.
    waitLoaded();
    EXPECT_EQ(w.SelectedPaths(), (QStringList{at("page.html"), at("locked.html")}));
    EXPECT_EQ(item("page.html").data(FileListModel::MarkRole).toInt(), FileListModel::MarkTidied);
    EXPECT_EQ(item("locked.html").data(FileListModel::MarkRole).toInt(),
              FileListModel::MarkReadOnly);

    // Restore asks first, puts the bytes back, selects the file again and, having nothing to
    // report, takes the summary away.
    select({"page.html"});
    Idle();
    ASSERT_TRUE(w.actRevert->isEnabled());
    prompts.messageAnswers = {mrYes};
    w.actRevert->trigger();
    EXPECT_TRUE(prompts.asked.last().text.startsWith("This will restore the selected files."));
    EXPECT_EQ(ReadAll(at("page.html")), QByteArray(kPage));
    EXPECT_FALSE(HasBackup(at("page.html")));
    EXPECT_EQ(pane.SummaryPage(), nullptr);
    EXPECT_FALSE(w.ErrorAreaVisible());
    waitLoaded();
    EXPECT_EQ(w.SelectedPaths(), QStringList{at("page.html")});
    EXPECT_EQ(item("page.html").data(FileListModel::MarkRole).toInt(), FileListModel::NoMark);

    // Remove Backups leaves nothing selected once the list is read again.
    prompts.optionsAnswers = {true};
    press(w.fileList(), Qt::Key_T);
    waitLoaded();
    ASSERT_TRUE(HasBackup(at("page.html")));
    select({"page.html"});
    Idle();
    ASSERT_TRUE(w.actDeleteBackup->isEnabled());
    prompts.messageAnswers = {mrYes};
    w.actDeleteBackup->trigger();
    EXPECT_FALSE(HasBackup(at("page.html")));
    waitLoaded();
    EXPECT_EQ(w.SelectedPaths(), QStringList());
}

TEST_F(WindowRuns, CancelledOptionsTouchNothing) {
    select({"page.html"});
    prompts.optionsAnswers = {false};
    press(window->fileList(), Qt::Key_T);
    EXPECT_EQ(ReadAll(at("page.html")), QByteArray(kPage));
    EXPECT_FALSE(QDir(BackupFolderOf(at("page.html"))).exists());
    EXPECT_EQ(window->errorPane()->PageCount(), 0);
}

TEST_F(WindowRuns, ValidateFillsAPageThatCtrlCCopiesFromTheFileList) {
    TFormKelvane& w = *window;
    TErrorPane& pane = *w.errorPane();
    select({"other.htm"});
    Idle();
    ASSERT_TRUE(w.actValidate->isEnabled());
    w.actValidate->trigger();

    const int index = pane.FindErrorPage(at("other.htm"));
    ASSERT_GE(index, 0);
    const TTidyErrors* page = pane.Page(index);
    EXPECT_EQ(page->Heading, "Validation results for file \"" + at("other.htm") + "\"");
    ASSERT_FALSE(page->Messages.isEmpty());
    EXPECT_TRUE(page->Messages.first().startsWith("Line 1, Column 1 - "))
        << page->Messages.first().toStdString();
    EXPECT_EQ(ReadAll(at("other.htm")), QByteArray("<p>x"));
    EXPECT_TRUE(w.ErrorAreaVisible());

    // The shortcut belongs to Copy, so it copies the page while the list has the focus, also
    // after the list's own menu (which shows no Copy) has been open.
    w.fileList()->setFocus();
    w.PopupSharedMenu(w.fileList()->mapToGlobal(QPoint(5, 5)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.sharedMenu()->isVisible(); }));
    EXPECT_FALSE(pane.actCopyErrors->isVisible());
    w.sharedMenu()->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.sharedMenu()->isVisible(); }));
    QGuiApplication::clipboard()->clear();
    press(w.fileList(), Qt::Key_C);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              page->Heading + "\r\n\r\n" + page->Messages.join("\r\n"));
}

} // namespace

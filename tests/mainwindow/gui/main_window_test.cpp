// The main window as a user drives it: browsing and history, the actions' enabling, the
// context menu, preferences, the settings it keeps and the items it selects again after a run.

#include "MainWindowFixture.h"
#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "fileops/BackupStore.h"
#include "mainwindow/MainSettings.h"
#include "mainwindow/gui/FileListModel.h"
#include "mainwindow/gui/TErrorPane.h"
#include "mainwindow/gui/TFormKelvane.h"
#include "platform/UserRegistry.h"
#include "support/Errors.h"
#include "support/IniFile.h"
#include "support/Preferences.h"
#include "support/RememberedAnswers.h"
#include "support/SettingsFile.h"
#include "support/Translation.h"
#include "support/gui/Scintilla.h"
#include "support/gui/TFormKelvaneOptions.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <gtest/gtest.h>
#include <memory>

namespace {

TEST_F(MainWindow, HistoryFollowsTheTreeBackForwardAndUp) {
    TFormKelvane& w = open();
    showFolder(at("A"));
    w.History().Clear();
    w.History().AddCopy(at("A"));
    for (const char* folder : {"B", "C"})
        w.GoToFolder(at(folder));
    EXPECT_EQ(w.NavigationHint(-1), QStringLiteral("Back to B"));
    EXPECT_EQ(w.NavigationHint(1), QString());

    w.actNavBackExecute();
    EXPECT_EQ(w.CurrentFolder(), at("B"));
    EXPECT_EQ(w.addressBox()->currentText(), at("B"));
    EXPECT_EQ(w.StatusText(), at("B"));
    EXPECT_EQ(w.NavigationHint(1), QStringLiteral("Forward to C"));
    w.actNavBackExecute();
    EXPECT_EQ(w.CurrentFolder(), at("A"));
    EXPECT_EQ(w.History().Count(), 3); // moves record nothing
    w.UpdateActions();
    EXPECT_FALSE(w.actNavBack->isEnabled());
    EXPECT_TRUE(w.actNavForward->isEnabled());

    w.GoToFolder(at("D"));
    EXPECT_EQ(w.History().Entries(), (QStringList{at("A"), at("D")}));
    w.UpdateActions();
    EXPECT_FALSE(w.actNavForward->isEnabled());
    EXPECT_TRUE(w.actNavBack->isEnabled());

    // Up selects the parent and records it like any other change.
    w.actNavUpExecute();
    EXPECT_EQ(w.CurrentFolder(), site);
    EXPECT_EQ(w.History().Entries(), (QStringList{at("A"), at("D"), site}));

    // A folder that is gone is still offered; the tree stops at its nearest parent.
    ASSERT_TRUE(QDir(at("D")).removeRecursively());
    w.actNavBackExecute();
    EXPECT_EQ(w.CurrentFolder(), site);

    w.GoToFolder(QStringLiteral("/"));
    w.UpdateActions();
    EXPECT_FALSE(w.actNavUp->isEnabled());
}

TEST_F(MainWindow, ActionsFollowTheSelectionWhenIdle) {
    ASSERT_TRUE(QDir().mkpath(BackupFolderOf(at("locked.html"))));
    WriteAll(BackupPathOf(at("locked.html")), "old");
    TFormKelvane& w = open();
    showFolder(site);

    QList<QAction*> fileActions{w.actTidy,         w.actValidate, w.actRevert,
                                w.actDeleteBackup, w.actEditHTML, w.actViewWebPage};
    const struct {
        const char* name;
        std::initializer_list<const char*> items;
        QList<bool> enabled; // in the order of fileActions
    } cases[] = {
        {"nothing", {}, {false, false, false, false, false, false}},
        {"a read-only file with a backup", {"locked.html"}, {false, true, true, true, true, true}},
        {"a folder", {"B"}, {true, false, true, true, false, false}},
        {"a folder and a file", {"B", "page.html"}, {true, true, true, true, true, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        select(c.items);
        // No explicit update: the idle pass of the event loop evaluates the rules.
        Idle();
        for (qsizetype i = 0; i < fileActions.size(); ++i)
            EXPECT_EQ(fileActions.at(i)->isEnabled(), c.enabled.at(i))
                << fileActions.at(i)->objectName().toStdString();
    }
    EXPECT_EQ(w.SelectedPaths(), (QStringList{at("B"), at("page.html")}));
    EXPECT_EQ(w.addressBox()->currentText(), at("B")); // the first selected item only

    // The batch commands see the list's selection in list order and the tree's folder.
    const QList<SelectedItem> items = w.SelectedItems();
    ASSERT_EQ(items.size(), 2);
    EXPECT_TRUE(items.at(0).folder);
    EXPECT_EQ(w.TreeFolder()->path, site);
    EXPECT_EQ(w.FileFilter(), kDefaultFileFilter);

    // Edit Files passes over the folder; View Files opens both.
    w.actEditHTMLExecute();
    w.actViewWebPageExecute();
    EXPECT_EQ(opened, (QStringList{"edit " + at("page.html"), "open " + at("B"),
                                   "open " + at("page.html")}));
}

TEST_F(MainWindow, BatchActionsRunTheirHandlers) {
    TFormKelvane& w = open();
    QStringList ran;
    BatchHandlers handlers;
    handlers.tidy = [&] { ran << "tidy"; };
    handlers.folderRemoveBackups = [&] { throw KelvaneError(QStringLiteral("disk gone")); };
    w.SetBatchHandlers(handlers);
    w.actTidy->setEnabled(true);
    w.actTidy->trigger();
    w.actFolderDeleteBackups->trigger();
    w.actValidate->setEnabled(true);
    w.actValidate->trigger(); // no handler: nothing happens
    EXPECT_EQ(ran, QStringList{"tidy"});
    EXPECT_EQ(prompts.messages(), QStringList{"disk gone"});
}

TEST_F(MainWindow, ContextMenuShowsTheEntriesOfTheFocusedPart) {
    TFormKelvane& w = open();
    TErrorPane& pane = *w.errorPane();
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));

    QList<QAction*> entries = w.sharedMenu()->actions();
    EXPECT_EQ(entries.mid(0, 3), (QList<QAction*>{pane.actCloseErrorPage, pane.actCloseAllErrors,
                                                  pane.actCopyErrors}));
    EXPECT_TRUE(entries.at(3)->isSeparator());
    EXPECT_EQ(w.findChild<QMenu*>(QStringLiteral("miView"))->actions().first(), pane.actViewErrors);

    w.fileList()->setFocus();
    w.PrepareSharedMenu();
    EXPECT_TRUE(w.actSelectAll->isVisible());
    EXPECT_FALSE(pane.actCloseErrorPage->isVisible() || pane.actCloseAllErrors->isVisible() ||
                 pane.actCopyErrors->isVisible());

    // A filled page shows the area below the list; the text's menu is the window's.
    pane.ShowRunSummary(QStringLiteral("Kelvane - Tidied 1 files out of 2"), {"one line"});
    EXPECT_TRUE(w.ErrorAreaVisible());
    pane.TextView()->setFocus();
    w.PrepareSharedMenu();
    EXPECT_FALSE(w.actSelectAll->isVisible());
    EXPECT_TRUE(pane.actCloseErrorPage->isVisible() && pane.actCloseAllErrors->isVisible() &&
                pane.actCopyErrors->isVisible());
    for (QAction* entry : w.sharedMenu()->actions())
        EXPECT_TRUE(!entry->isSeparator() || entry->isVisible());
    EXPECT_EQ(pane.TextView()->contextMenuPolicy(), Qt::CustomContextMenu);

    // Errors is enabled by the pages and checked by the pane's visibility.
    w.UpdateActions();
    EXPECT_TRUE(pane.actViewErrors->isEnabled());
    EXPECT_TRUE(pane.actViewErrors->isChecked());
    pane.actViewErrors->trigger();
    EXPECT_FALSE(w.ErrorAreaVisible());
    EXPECT_TRUE(w.fileList()->hasFocus()); // the focus left with the pane
    w.UpdateActions();
    EXPECT_TRUE(pane.actViewErrors->isEnabled());
    EXPECT_FALSE(pane.actViewErrors->isChecked());
    pane.actCloseAllErrors->trigger();
    w.UpdateActions();
    EXPECT_FALSE(pane.actViewErrors->isEnabled());
}

TEST_F(MainWindow, SettingsKeepPlacementBarsAndFolder) {
    {
        TFormKelvane& w = open();
        w.show();
        QTest::qWait(20); // the start-up reads the (missing) settings
        w.GoToFolder(at("B"));
        w.findChild<QToolBar*>(QStringLiteral("twAddressBar"))->hide();
        w.statusBar()->hide();
        w.move(40, 30);
        w.resize(700, 500);
        window.reset();
    }
    const IniFile file(SettingsFilePath());
    EXPECT_EQ(ReadActiveDirectory(file), at("B"));
    EXPECT_EQ(file.ReadInteger(kMainWindowSection, QStringLiteral("Width"), 0), 700);
    for (const char* bar : {"tbMainMenu", "tbTidyToolbar", "twAddressBar"})
        EXPECT_EQ(
            file.ReadInteger(kMainWindowSection + QLatin1String(bar), QStringLiteral("Rev"), 0),
            2000)
            << bar;

    TFormKelvane& w = open();
    w.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.CurrentFolder() == at("B"); }));
    EXPECT_TRUE(w.findChild<QToolBar*>(QStringLiteral("twAddressBar"))->isHidden());
    EXPECT_FALSE(w.findChild<QToolBar*>(QStringLiteral("tbTidyToolbar"))->isHidden());
    // A real window manager answers the restored size after its first placement.
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.size() == QSize(700, 500); }, 2000))
        << w.width() << "x" << w.height();
    // The restored folder starts the history; nothing before it.
    EXPECT_EQ(w.History().Entries(), QStringList{at("B")});
    w.UpdateActions();
    EXPECT_FALSE(w.actViewAddressBar->isChecked());
    EXPECT_TRUE(w.actViewTidyToolbar->isChecked());
}

TEST_F(MainWindow, StoredFileOpensItsFolderWithTheFileSelected) {
    IniFile file(SettingsFilePath());
    WriteActiveDirectory(file, at("page.html"));
    TFormKelvane& w = open();
    w.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.SelectedPaths().isEmpty(); }));
    EXPECT_EQ(w.CurrentFolder(), site);
    EXPECT_EQ(w.SelectedPaths(), QStringList{at("page.html")});
}

TEST_F(MainWindow, PreferencesCancelDefaultsAndTheFolderQuestion) {
    TFormKelvane& w = openWithRuns();
    auto* options = new TFormKelvaneOptions(&w);
    WriteAll(at("B/in.txt"), "x");
    showFolder(site);
    // The work list of a selected folder, as a tidy run gathers it.
    auto gatherFolderB = [&] {
        select({"B"});
        QStringList list;
        GatherSelection(w, *scanner, list, true);
        return list;
    };
    EXPECT_EQ(listedNames(),
              (QStringList{"A", "B", "C", "D", "locked.html", "other.htm", "page.html"}));

    // Cancel: nothing is applied or stored, and the dialog shows the old values again.
    auto stored = [] {
        QFile file(SettingsFilePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = stored();
    WhenModal([](QWidget* dialog) {
        dialog->findChild<QLineEdit*>(QStringLiteral("EditFileFilter"))->setText("*.txt");
        Click(dialog, "btnCancel");
    });
    w.actViewAppOptionsExecute();
    EXPECT_EQ(options->FileFilter(), kDefaultFileFilter);
    EXPECT_EQ(stored(), before);
    EXPECT_TRUE(listedNames().contains("page.html"));

    // OK with the filter changed and the folder question switched off.
    WhenModal([](QWidget* dialog) {
        dialog->findChild<QLineEdit*>(QStringLiteral("EditFileFilter"))->setText("*.txt");
        dialog->findChild<QCheckBox*>(QStringLiteral("CBFolders"))->setChecked(false);
        Click(dialog, "btnOK");
    });
    w.actViewAppOptionsExecute();
    waitLoaded();
    EXPECT_EQ(w.FileFilter(), QStringLiteral("*.txt"));
    EXPECT_EQ(listedNames(), (QStringList{"A", "B", "C", "D", "notes.txt"}));
    EXPECT_TRUE(IsAnswerRemembered(FolderQuestionText()));
    EXPECT_EQ(gatherFolderB(), QStringList{at("B/in.txt")}); // processed without a question
    EXPECT_TRUE(prompts.asked.isEmpty());
    const IniFile file(SettingsFilePath());
    EXPECT_EQ(file.ReadString(QStringLiteral("FormKelvaneOptions"),
                              QStringLiteral("EditFileFilter.Text"), {}),
              QStringLiteral("*.txt"));

    // Defaults then Cancel changes nothing; Defaults then OK restores every design value
    // and asks the folder question again.
    bool boxBeforeDefaults = true;
    WhenModal([&](QWidget* dialog) {
        boxBeforeDefaults = dialog->findChild<QCheckBox*>(QStringLiteral("CBFolders"))->isChecked();
        Click(dialog, "btnDefaults");
        Click(dialog, "btnCancel");
    });
    w.actViewAppOptionsExecute();
    EXPECT_FALSE(boxBeforeDefaults); // the box shows the remembered answer
    EXPECT_EQ(options->FileFilter(), QStringLiteral("*.txt"));
    WhenModal([](QWidget* dialog) {
        dialog->findChild<QCheckBox*>(QStringLiteral("cbLargeIcons"))->setChecked(false);
        Click(dialog, "btnDefaults");
        Click(dialog, "btnOK");
    });
    w.actViewAppOptionsExecute();
    EXPECT_EQ(options->FileFilter(), kDefaultFileFilter);
    EXPECT_TRUE(options->LargeIcons() && options->ShowCaptions() && options->ShowHiddenItems());
    EXPECT_FALSE(IsAnswerRemembered(FolderQuestionText()));
    waitLoaded();
    EXPECT_TRUE(listedNames().contains("page.html"));
    prompts.messageAnswers = {mrNo};
    EXPECT_EQ(gatherFolderB(), QStringList{at("B")});
    ASSERT_EQ(prompts.asked.size(), 1);
    EXPECT_EQ(prompts.asked.first().text, FolderQuestionText());
}

TEST_F(MainWindow, MessageKeysOnErrorPagesAreAPreferenceThatStartsOff) {
    TFormKelvane& w = openWithRuns();
    auto* options = new TFormKelvaneOptions(&w);
    EXPECT_FALSE(options->ShowMessageKeys());
    EXPECT_FALSE(w.errorPane()->ShowsMessageKeys());
    WhenModal([](QWidget* dialog) {
        dialog->findChild<QCheckBox*>(QStringLiteral("cbShowMessageKeys"))->setChecked(true);
        Click(dialog, "btnOK");
    });
    w.actViewAppOptionsExecute();
    EXPECT_TRUE(w.errorPane()->ShowsMessageKeys());
    EXPECT_EQ(IniFile(SettingsFilePath())
                  .ReadString(QStringLiteral("FormKelvaneOptions"),
                              QStringLiteral("cbShowMessageKeys.Checked"), {}),
              QStringLiteral("1"));
    WhenModal([](QWidget* dialog) {
        Click(dialog, "btnDefaults");
        Click(dialog, "btnOK");
    });
    w.actViewAppOptionsExecute();
    EXPECT_FALSE(w.errorPane()->ShowsMessageKeys());
}

TEST_F(MainWindow, PreferencesShapeTheToolbarAndHiddenItems) {
    WriteAll(at(".hidden.html"), "x");
    TFormKelvane& w = open();
    showFolder(site);
    EXPECT_TRUE(listedNames().contains(".hidden.html"));
    Preferences preferences;
    preferences.showHiddenItems = false;
    preferences.largeIcons = false;
    preferences.showCaptions = false;
    preferences.fileFilter = QStringLiteral("*.htm;[z");
    w.ApplyPreferences(preferences);
    waitLoaded();
    EXPECT_EQ(listedNames(), (QStringList{"A", "B", "C", "D", "other.htm"}));
    auto* bar = w.findChild<QToolBar*>(QStringLiteral("tbTidyToolbar"));
    EXPECT_EQ(bar->iconSize(), QSize(16, 16));
    EXPECT_EQ(bar->toolButtonStyle(), Qt::ToolButtonIconOnly);
    ASSERT_EQ(prompts.messages().size(), 1); // the malformed mask, said once
    EXPECT_TRUE(prompts.messages().first().contains("is an invalid mask"))
        << prompts.messages().first().toStdString();
    w.ApplyPreferences(preferences);
    EXPECT_EQ(prompts.messages().size(), 1);
}

TEST_F(MainWindow, ReselectAfterRunSelectsTheFilesAgainWithFreshMarks) {
    TFormKelvane& w = open();
    showFolder(site);
    select({"page.html", "other.htm"});
    const QModelIndex page = item("page.html");
    EXPECT_EQ(page.data(FileListModel::MarkRole).toInt(), FileListModel::NoMark);
    EXPECT_EQ(item("locked.html").data(FileListModel::MarkRole).toInt(),
              FileListModel::MarkReadOnly);
    EXPECT_EQ(item("locked.html").data(Qt::ToolTipRole).toString(),
              QStringLiteral("locked.html - This file is read only and cannot be tidied"));

    // A run made a backup of page.html and changed the list's selection meanwhile.
    ASSERT_TRUE(QDir().mkpath(BackupFolderOf(at("page.html"))));
    WriteAll(BackupPathOf(at("page.html")), "old");
    w.fileList()->selectionModel()->clear();
    WriteAll(at("new.html"), "x"); // a file the run brought, listed only after the refresh
    QStringList reselect{at("other.htm"), at("page.html"), at("gone.html"), at("new.html")};
    w.ReselectAfterRun(reselect);
    EXPECT_TRUE(reselect.isEmpty());
    waitLoaded();
    EXPECT_EQ(w.SelectedPaths(), (QStringList{at("other.htm"), at("page.html"), at("new.html")}));
    EXPECT_EQ(item("page.html").data(FileListModel::MarkRole).toInt(), FileListModel::MarkTidied);
    EXPECT_EQ(item("page.html").data(Qt::ToolTipRole).toString(),
              QStringLiteral("page.html - This file has been tidied and can be restored"));

    // Nothing to select again (Remove Backups): the fresh list selects nothing.
    QStringList none;
    w.ReselectAfterRun(none);
    waitLoaded();
    EXPECT_EQ(w.SelectedPaths(), QStringList());
    EXPECT_TRUE(w.fileList()->selectionModel()->selectedRows().isEmpty());
}

} // namespace

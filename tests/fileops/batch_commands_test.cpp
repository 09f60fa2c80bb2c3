// The validate, restore and backup-removal runs, and the command frames the main window's
// actions call (Busy, confirmations, what is gathered and selected again).

#include "BatchDoubles.h"
#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "fileops/BackupStore.h"
#include "fileops/TidyAhead.h"
#include "support/Preferences.h"
#include "support/RememberedAnswers.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class BatchCommandsTest : public BatchRunFixture {
protected:
    void SetUp() override {
        BatchRunFixture::SetUp();
        ForgetAnswer(FolderQuestionText());
    }
    // A page that was tidied: its backup holds `before`.
    QString Tidied(const QString& name, const QByteArray& before) {
        const QString path = Page(name, before);
        EXPECT_FALSE(MakeBackup(path).isEmpty());
        WriteAll(path, "tidied:" + before);
        return path;
    }
    void Validate(const QStringList& paths) {
        ListWorkItems items(paths);
        rig.commands.RunValidateBatch(items);
    }
};

} // namespace

// The page lines stay exactly as they are unless the keys are turned on; muted messages show on
// no page, and a file with nothing but muted messages is clean.
TEST_F(BatchCommandsTest, PagesShowMessageKeysOnlyWhenAskedAndNoMutedMessage) {
    const QString keyed = Page("keyed.html", "keys: one");
    const QString muted = Page("muted.html", "keys:muted");
    Validate({keyed, muted});
    ASSERT_NE(rig.pages.PageFor(keyed), nullptr);
    EXPECT_EQ(rig.pages.PageFor(keyed)->Messages, QStringList{"Line 1, Column 1 - Warninig: w"});
    EXPECT_EQ(rig.pages.PageFor(muted), nullptr);

    rig.pages.showsKeys = true;
    Validate({keyed});
    EXPECT_EQ(rig.pages.PageFor(keyed)->Messages,
              QStringList{"Line 1, Column 1 - Warninig: w [MISSING_DOCTYPE]"});

    Validate({muted});
    EXPECT_EQ(prompts.messages().back(), "No HTML errors found");
}

TEST_F(BatchCommandsTest, ValidationFillsOnePagePerFileAndPraisesACleanRun) {
    const QString clean = Page("clean.html", "<p>fine");
    const QString other = Page("other.html", "<p>fine too");
    const QString messy = Page("messy.html", "tokens:9 messy");
    QDir().mkpath(root + "folder");

    Validate({clean, other, root + "folder", root + "gone.html"});
    EXPECT_EQ(prompts.messages(), QStringList{"No HTML errors found"});
    EXPECT_TRUE(rig.pages.pages.empty());
    EXPECT_EQ(rig.view.captions, QStringList{"Validating Files..."});

    Validate({clean, messy});
    EXPECT_EQ(prompts.messages().size(), 1) << "messages found: no box";
    TTidyErrors* page = rig.pages.PageFor(messy);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Heading, "Validation results for file \"" + messy + "\"");
    EXPECT_EQ(page->Messages, QStringList{"Line 1, Column 1 - Warninig: w w w"});
    EXPECT_TRUE(rig.pages.paneVisible);

    // Validated again: the same page, with the new lines, selected.
    WriteAll(messy, "tokens:8 still messy");
    Validate({messy});
    EXPECT_EQ(rig.pages.pages.size(), 1u);
    EXPECT_EQ(rig.pages.PageFor(messy)->Messages, QStringList{"Line 1, Column 1 - Warninig: w w"});
    EXPECT_EQ(rig.pages.selected, 0);

    // Fixed outside the program: the page closes and the run is clean.
    WriteAll(messy, "<p>fixed");
    Validate({messy});
    EXPECT_TRUE(rig.pages.pages.empty());
    EXPECT_EQ(prompts.messages().size(), 2);
    EXPECT_EQ(rig.pages.summaries, 0) << "validation leaves the summary page alone";
}

TEST_F(BatchCommandsTest, ValidationReportsWhatCannotBeReadWithoutBlockingOnAPipe) {
    const QString fifo = root + "pipe.html";
    ASSERT_EQ(::mkfifo(fifo.toUtf8().constData(), 0644), 0);
    Validate({fifo});
    ASSERT_NE(rig.pages.PageFor(fifo), nullptr);
    EXPECT_EQ(rig.pages.PageFor(fifo)->Messages,
              QStringList{"Cannot access file \"" + fifo + "\""});
    EXPECT_EQ(rig.observer.Outcomes(), QList<FileOutcome>{FileOutcome::Unreadable});
}

TEST_F(BatchCommandsTest, RestoreCountsWhatCameBackAndSaysWhatCouldNot) {
    const QString restored = Tidied("a.html", "<p>a");
    const QString never = Page("never.html", "<p>n");
    const QString readOnly = Tidied("ro.html", "<p>ro");
    SetReadOnly(readOnly, true);
    // A copy inside a backup folder, with a backup of its own from an earlier double tidy.
    const QString copy = Tidied("Kelvane Backup/b.html", "<p>original b");
    QDir().mkpath(root + "folder");

    ListWorkItems items({restored, never, readOnly, copy, root + "folder"});
    rig.commands.RunRestoreBatch(items);

    EXPECT_EQ(ReadAll(restored), "<p>a");
    EXPECT_FALSE(HasBackup(restored));
    EXPECT_EQ(ReadAll(readOnly), "tidied:<p>ro");
    EXPECT_TRUE(HasBackup(readOnly));
    EXPECT_EQ(ReadAll(copy), "tidied:<p>original b") << "backup copies are passed over";
    EXPECT_EQ(Heading(), "Kelvane - Restored 1 files out of 5");
    EXPECT_EQ(rig.pages.Summary()->Messages,
              QStringList({never + ": No backup exists. This file cannot be restored.",
                           readOnly + ": The backup could not be restored. The file may be "
                                      "read-only or in use."}));
    EXPECT_EQ(rig.view.marks, QList<MessageMark>({MessageMark::Notice, MessageMark::Error}));
    EXPECT_EQ(rig.view.captions, QStringList{"Restoring Files..."});
    SetReadOnly(readOnly, false);

    // Everything restored: no line, so the summary page goes.
    const QString again = Tidied("c.html", "<p>c");
    ListWorkItems clean({again});
    rig.commands.RunRestoreBatch(clean);
    EXPECT_EQ(rig.pages.Summary(), nullptr);
}

TEST_F(BatchCommandsTest, RemovingBackupsNamesTheSelectedFileWhoseBackupResisted) {
    const QString removed = Tidied("a.html", "<p>a");
    const QString stuck = Tidied("b.html", "<p>b");
    SetReadOnly(BackupPathOf(stuck), true);
    const QString without = Page("c.html", "<p>c");

    ListWorkItems items({removed, stuck, without});
    rig.commands.RunRemoveBackupsBatch(items);
    EXPECT_FALSE(HasBackup(removed));
    EXPECT_TRUE(HasBackup(stuck));
    EXPECT_EQ(ReadAll(removed), "tidied:<p>a") << "the file itself is never touched";
    ASSERT_NE(rig.pages.Summary(), nullptr);
    EXPECT_EQ(Heading(), "");
    EXPECT_EQ(
        rig.pages.Summary()->Messages,
        QStringList{"Cannot delete file \"" + stuck + "\". This file may be read-only or in use."});
    EXPECT_TRUE(QDir(root + "Kelvane Backup").exists()) << "backup folders stay";
    SetReadOnly(BackupPathOf(stuck), false);
}

TEST_F(BatchCommandsTest, CommandFramesConfirmGatherAndSelectAgainAsEachCommandShould) {
    const QString page = Tidied("site/a.html", "<p>a");
    Page("site/b.html", "<p>b");
    rig.selection.items = {{page, true, false}, {root + "site", true, true}};
    rig.selection.tree = SelectedItem{root + "site", true, true};

    struct Case {
        const char* name;
        void (BatchCommands::*command)();
        bool confirmed;     // a Yes/No warning comes first
        int reselects;      // ReselectAfterRun calls
        bool keepsReselect; // ReselectPaths holds the unexpanded selection then
        QString caption;    // progress caption; empty: no run
    };
    const Case cases[] = {
        {"Validate", &BatchCommands::Validate, false, 0, false, "Validating Files..."},
        {"Restore", &BatchCommands::Restore, true, 1, true, "Restoring Files..."},
        {"Remove Backups", &BatchCommands::RemoveBackups, true, 1, false,
         "Removing Backup files..."},
        {"Restore Folder", &BatchCommands::FolderRestore, true, 0, false, "Restoring Files..."},
        {"Remove backup files", &BatchCommands::FolderRemoveBackups, true, 1, false,
         "Removing Backup files..."},
    };
    for (const Case& c : cases) {
        for (const bool yes : {false, true}) {
            if (!c.confirmed && !yes)
                continue;
            rig.view.captions.clear();
            rig.reselects = 0;
            rig.reselected.clear();
            prompts.asked.clear();
            prompts.messageAnswers = {yes ? mrYes : mrNo, mrYes, mrOk}; // question, folder, box
            (rig.commands.*c.command)();
            const bool ran = yes || !c.confirmed;
            EXPECT_EQ(rig.view.captions, ran ? QStringList{c.caption} : QStringList())
                << c.name << yes;
            EXPECT_EQ(rig.reselects, ran ? c.reselects : 0) << c.name << yes;
            if (ran && c.reselects) {
                EXPECT_EQ(rig.reselected,
                          c.keepsReselect ? QStringList({page, root + "site"}) : QStringList())
                    << c.name;
            }
            if (c.confirmed) {
                ASSERT_FALSE(prompts.asked.isEmpty()) << c.name;
                EXPECT_EQ(prompts.asked[0].kind, DialogKind::Warning) << c.name;
            }
            EXPECT_TRUE(rig.commands.ReselectPaths().isEmpty()) << c.name;
            EXPECT_FALSE(rig.commands.Busy());
        }
    }
}

TEST_F(BatchCommandsTest, ACommandStartedDuringARunIsIgnoredButTidyStillSelectsAgain) {
    const QString page = Page("a.html", "<p>a");
    rig.selection.items = {{page, true, false}};
    int nested = 0;
    rig.view.betweenItems = [&] {
        if (nested++)
            return;
        EXPECT_TRUE(rig.commands.Busy());
        rig.commands.Validate();
        rig.commands.Tidy();
    };
    prompts.optionsAnswers = {true};
    rig.commands.Tidy();
    EXPECT_EQ(rig.view.captions, QStringList{"Tidying Files..."}) << "one run only";
    EXPECT_EQ(rig.reselects, 2) << "the ignored Tidy selects again too";
    EXPECT_EQ(ReadAll(page), "tidied:<p>a");
    EXPECT_FALSE(rig.commands.Busy());
}

TEST_F(BatchCommandsTest, TidyFolderScansTheTreeFolderAndRunsNothingWhenItIsEmpty) {
    const QString a = Page("site/a.html", "<p>a");
    const QString copy = Page("site/Kelvane Backup/a.html", "<p>the original");
    rig.selection.tree = SelectedItem{root + "site", true, true};
    prompts.optionsAnswers = {true};
    rig.commands.FolderTidy();
    EXPECT_EQ(ReadAll(a), "tidied:<p>a");
    EXPECT_EQ(ReadAll(BackupPathOf(a)), "<p>a");
    EXPECT_FALSE(HasBackup(copy)) << "the copy in the backup folder is passed over";
    EXPECT_EQ(rig.reselects, 0);

    rig.selection.tree = SelectedItem{root + "missing", true, true};
    rig.commands.FolderTidy();
    EXPECT_EQ(prompts.asked.size(), 1) << "no options dialog for an empty list";
}

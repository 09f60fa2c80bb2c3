// The batch tidy run: what happens to each kind of entry, the questions inside a step, the
// options dialog, cancelling, files that change while the run works on them, and a run through
// the engine's helper processes.

#include "BatchDoubles.h"
#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "engine/TidyLibraryRun.h"
#include "engine/TidyOptionMapping.h"
#include "engine/TidyProcessPool.h"
#include "fileops/BackupStore.h"
#include "fileops/DurableWrites.h"
#include "fileops/RewriteQueue.h"
#include "platform/UniqueFd.h"
#include "fileops/TidyAhead.h"
#include "platform/FileNames.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class TidyRunTest : public BatchRunFixture {
protected:
    // Runs the tidy batch over `paths`, confirming the options dialog.
    void Run(const QStringList& paths) {
        prompts.optionsAnswers.push_back(true);
        ListWorkItems items(paths);
        rig.commands.RunTidyBatch(items);
    }
    // The questions asked, each up to its first line break.
    QStringList Questions() const {
        QStringList texts;
        for (const ScriptedPrompts::Asked& asked : prompts.asked)
            if (asked.what == QLatin1String("message"))
                texts << asked.text.left(asked.text.indexOf(QLatin1Char('\r')));
        return texts;
    }
};

const char kManyWarnings[] = "Tidying this file has produced a large number of HTML warnings. "
                             "Automatically tidying  this file may delete some valid content.";

} // namespace

TEST_F(TidyRunTest, EveryKindOfEntryIsTidiedOrReportedAndCountedInTheTotal) {
    const QString good = Page("good.html", "<p>good");
    const QString readOnly = Page("ro.html", "<p>ro");
    SetReadOnly(readOnly, true);
    QFile program(QStringLiteral("/bin/true"));
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    const QString elf = Page("prog.html", program.readAll());
    const QString exe = Page("tool.EXE", "<p>html in a program's name");
    const QString folder = root + "declined";
    QDir().mkpath(folder);
    const QString copy = Page("Kelvane Backup/old.html", "<p>a backup copy");
    const QString fifo = root + "pipe.html";
    ASSERT_EQ(::mkfifo(fifo.toUtf8().constData(), 0644), 0);
    const QString gone = root + "gone.html";
    const QString many = Page("many.html", "tokens:301");
    const QString fails = Page("fails.html", "fail");
    const QString odd = root + platform::DecodeFileName("bad\xffname.html");
    const QByteArray oddNative = platform::EncodeFileName(odd);
    const int oddFd = ::open(oddNative.constData(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::write(oddFd, "<p>odd", 6), 6);
    ASSERT_EQ(::close(oddFd), 0);
    const QString huge = Page("huge.html", "<p>");
    ASSERT_EQ(::truncate(huge.toUtf8().constData(), kMaxDocumentBytes + 1), 0); // sparse
    const QString last = Page("last.html", "<p>last");
    prompts.messageAnswers = {mrNo, mrYes}; // many warnings: No; continue after a failure: Yes

    Run({good, readOnly, elf, exe, folder, copy, fifo, gone, many, fails, odd, huge, last});

    EXPECT_EQ(ReadAll(good), "tidied:<p>good");
    EXPECT_EQ(ReadAll(BackupPathOf(good)), "<p>good");
    EXPECT_EQ(ReadAll(last), "tidied:<p>last");
    // A name that is not UTF-8 is rewritten in place, never beside itself.
    EXPECT_EQ(ReadAll(odd), "tidied:<p>odd");
    EXPECT_EQ(ReadAll(BackupPathOf(odd)), "<p>odd");
    int namesLikeOdd = 0;
    if (DIR* dir = ::opendir(platform::EncodeFileName(root).constData())) {
        while (const dirent* entry = ::readdir(dir))
            namesLikeOdd += QByteArray(entry->d_name).contains("name.html");
        ::closedir(dir);
    }
    EXPECT_EQ(namesLikeOdd, 1);
    for (const QString& untouched : {readOnly, elf, exe, copy, many, fails})
        EXPECT_FALSE(HasBackup(untouched)) << untouched.toStdString();
    EXPECT_EQ(ReadAll(copy), "<p>a backup copy");
    EXPECT_EQ(ReadAll(many), "tokens:301");
    EXPECT_FALSE(QDir(root + "Kelvane Backup/Kelvane Backup").exists());

    EXPECT_EQ(rig.commands.SuccessCount(), 3);
    EXPECT_EQ(Heading(), "Kelvane - Tidied 3 files out of 13");
    EXPECT_EQ(SummaryLines(),
              QStringList({readOnly + ": File is read-only. This file cannot be tidied.",
                           elf + ": File is forbidden and cannot be tidied. It may be a program "
                                 "or other binary file.",
                           exe + ": File is forbidden and cannot be tidied. It may be a program "
                                 "or other binary file.",
                           fifo + ": This is not a regular file. It may be a pipe, a device or a "
                                  "socket, and cannot be tidied.",
                           gone + ": The file no longer exists. It was moved or deleted while "
                                  "the run was under way.",
                           fails + ": The file cannot be tidied. It may have too many HTML "
                                   "errors for Kelvane to process.",
                           huge + ": File is too large to be tidied."}));
    EXPECT_EQ(Questions(), QStringList({kManyWarnings, "Do you wish to continue tidying files?"}));
    EXPECT_EQ(
        rig.observer.Outcomes(),
        QList<FileOutcome>({FileOutcome::Tidied, FileOutcome::ReadOnly, FileOutcome::Forbidden,
                            FileOutcome::Forbidden, FileOutcome::Folder,
                            FileOutcome::InBackupFolder, FileOutcome::Unreadable,
                            FileOutcome::Vanished, FileOutcome::Declined, FileOutcome::TidyFailed,
                            FileOutcome::Tidied, FileOutcome::Unreadable, FileOutcome::Tidied}));
    EXPECT_EQ(rig.view.captions, QStringList{"Tidying Files..."});
    EXPECT_EQ(rig.view.shown.first(), "Processing good.html");
    EXPECT_EQ(rig.progress.MessageTexts(), QStringList()) << "reset after the run";
}

TEST_F(TidyRunTest, ManyWarningsQuestionComesAbove300ItemsAndYesToAllLastsOneRun) {
    struct Case {
        const char* name;
        int tokens;
        std::deque<int> answers;
        int questions;
        bool tidied;
    };
    const Case cases[] = {
        {"300 items: no question", 300, {}, 0, true},
        {"301 items, Yes", 301, {mrYes}, 2, true},
        {"301 items, No", 301, {mrNo, mrNo}, 2, false},
        {"301 items, Yes to All", 301, {mrYesToAll}, 1, true},
    };
    for (const Case& c : cases) {
        prompts.asked.clear();
        prompts.messageAnswers = c.answers;
        const QByteArray content = "tokens:" + QByteArray::number(c.tokens);
        const QStringList pages = {Page("a.html", content), Page("b.html", content)};
        Run(pages);
        EXPECT_EQ(Questions().count(kManyWarnings), c.questions) << c.name;
        for (const QString& page : pages)
            EXPECT_EQ(ReadAll(page), c.tidied ? "tidied:" + content : content) << c.name;
        EXPECT_EQ(rig.pages.Summary(), nullptr) << c.name << ": declining adds no line";
        QDir(root + "Kelvane Backup").removeRecursively();
    }
    // Yes to All held for its run only.
    prompts.asked.clear();
    prompts.messageAnswers = {mrYes};
    Run({Page("c.html", "tokens:301")});
    EXPECT_EQ(Questions().count(kManyWarnings), 1);
}

TEST_F(TidyRunTest, ADocumentTheEngineCannotProcessAsksWhetherToGoOn) {
    struct Case {
        const char* name;
        QList<QByteArray> contents;
        std::deque<int> answers;
        QStringList questions;
        QList<bool> tidied;
    };
    const QString goOn = QStringLiteral("Do you wish to continue tidying files?");
    const QString box = QStringLiteral("File cannot be tidied.");
    const Case cases[] = {
        {"the last entry gets a box", {"<p>a", "fail"}, {mrOk}, {box}, {true, false}},
        {"No ends the run", {"fail", "<p>b"}, {mrNo}, {goOn}, {false, false}},
        {"Yes to All asks no more",
         {"fail", "fail", "<p>c"},
         {mrYesToAll},
         {goOn},
         {false, false, true}},
    };
    for (const Case& c : cases) {
        prompts.asked.clear();
        prompts.messageAnswers = c.answers;
        QStringList pages;
        for (qsizetype i = 0; i < c.contents.size(); ++i)
            pages << Page(QStringLiteral("p%1.html").arg(i), c.contents[i]);
        Run(pages);
        EXPECT_EQ(Questions(), c.questions) << c.name;
        for (qsizetype i = 0; i < pages.size(); ++i)
            EXPECT_EQ(ReadAll(pages[i]).startsWith("tidied:"), c.tidied[i]) << c.name << i;
        EXPECT_TRUE(Heading().startsWith("Kelvane - Tidied")) << c.name;
        QDir(root + "Kelvane Backup").removeRecursively();
    }
}

TEST_F(TidyRunTest, CancelCompletesTheFileInHandAfterTheQuestion) {
    for (const int answer : {mrYes, mrNo}) {
        const QStringList pages = {Page("a.html", "<p>a"), Page("b.html", "<p>b"),
                                   Page("c.html", "<p>c")};
        bool pressed = false;
        rig.view.betweenItems = [&] {
            if (!std::exchange(pressed, true))
                rig.progress.Cancel();
        };
        prompts.asked.clear();
        prompts.messageAnswers = {answer};
        Run(pages);
        EXPECT_EQ(Questions(), QStringList{"This will stop the tidy operation. Are you sure?"});
        if (answer == mrYes) {
            EXPECT_EQ(Heading(), "Kelvane - Tidied 1 files out of 3");
            EXPECT_EQ(SummaryLines(), QStringList{"Tidy cancelled"});
            EXPECT_EQ(ReadAll(pages[1]), "<p>b");
        } else {
            EXPECT_EQ(rig.commands.SuccessCount(), 3);
            EXPECT_EQ(rig.pages.Summary(), nullptr);
        }
        EXPECT_EQ(ReadAll(pages[0]), "tidied:<p>a");
        rig.view.betweenItems = nullptr;
        QDir(root + "Kelvane Backup").removeRecursively();
    }
}

TEST_F(TidyRunTest, OptionsDialogGetsTheFirstReadableNonEmptySampleAndCancelTouchesNothing) {
    QDir().mkpath(root + "folder");
    const QString empty = Page("empty.html", "");
    const QString sample = Page("sample.html", "<p>sample");
    prompts.optionsAnswers = {false};
    ListWorkItems items({root + "folder", root + "gone.html", empty, sample});
    rig.commands.RunTidyBatch(items);
    ASSERT_EQ(prompts.asked.size(), 1);
    EXPECT_EQ(prompts.asked[0].what, "options");
    EXPECT_EQ(prompts.asked[0].text, sample);
    EXPECT_EQ(ReadAll(sample), "<p>sample");
    EXPECT_FALSE(QDir(root + "Kelvane Backup").exists());
    EXPECT_TRUE(rig.view.captions.isEmpty()) << "no progress window";

    ListWorkItems none(QStringList{});
    rig.commands.RunTidyBatch(none);
    EXPECT_EQ(prompts.asked.size(), 1) << "an empty list opens no dialog";
}

TEST_F(TidyRunTest, EachFileIsTidiedOnceFromItsOriginalWhateverItsNamesAndHowOftenItIsRun) {
    // A repeated name and the user's own link lead to one file: tidied once.
    const QString page = Page("a.html", "<p>a");
    const QString link = root + "link.html";
    ASSERT_TRUE(QFile::link(page, link));
    // Another name of the same file (a hard link): its own file once the first is rewritten,
    // still holding the original, so it is tidied with a backup of its own.
    const QString other = Page("b.html", "<p>b");
    const QString second = root + "b2.html";
    ASSERT_EQ(::link(QFile::encodeName(other).constData(), QFile::encodeName(second).constData()),
              0);
    Run({page, link, page, other, second});
    EXPECT_EQ(ReadAll(page), "tidied:<p>a");
    EXPECT_EQ(ReadAll(BackupPathOf(page)), "<p>a") << "the original stays in the backup";
    EXPECT_FALSE(HasBackup(link));
    for (const QString& name : {other, second}) {
        EXPECT_EQ(ReadAll(name), "tidied:<p>b") << name.toStdString();
        EXPECT_EQ(ReadAll(BackupPathOf(name)), "<p>b") << name.toStdString();
    }
    EXPECT_EQ(rig.observer.Outcomes(),
              (QList<FileOutcome>{FileOutcome::Tidied, FileOutcome::TidiedBefore,
                                  FileOutcome::TidiedBefore, FileOutcome::Tidied,
                                  FileOutcome::Tidied}));
    EXPECT_EQ(rig.commands.SuccessCount(), 3);

    // Run again (after an interruption, say): what its backup tidies to is passed over, and the
    // backup keeps the original.
    rig.observer.records.clear();
    Run({link, page, other, second});
    EXPECT_EQ(ReadAll(page), "tidied:<p>a");
    EXPECT_EQ(ReadAll(BackupPathOf(page)), "<p>a");
    EXPECT_EQ(ReadAll(BackupPathOf(second)), "<p>b");
    EXPECT_EQ(rig.observer.Outcomes(), QList<FileOutcome>(4, FileOutcome::AlreadyTidied));
    EXPECT_EQ(rig.commands.SuccessCount(), 0);
    EXPECT_TRUE(SummaryLines().last().startsWith("4 files were already what tidying their "))
        << SummaryLines().join(u'\n').toStdString();

    // Edited since: tidied again, and its backup takes what it held.
    WriteAll(page, "<p>edited");
    Run({page});
    EXPECT_EQ(ReadAll(page), "tidied:<p>edited");
    EXPECT_EQ(ReadAll(BackupPathOf(page)), "<p>edited");
}

TEST_F(TidyRunTest, WhatHappensToAFileAtItsLastMomentEndsUpInTheFileOrItsBackup) {
    const QString outside = Page("../outside-" + QFileInfo(root.chopped(1)).fileName(), "keep");
    struct Case {
        const char* name;
        std::function<void(const QString& page)> meanwhile;
        QByteArray page; // after the run
        FileOutcome outcome;
    } cases[] = {
        // Appended to just before the rename: the edit stays in the file.
        {"appended",
         [](const QString& page) {
             QFile file(page);
             ASSERT_TRUE(file.open(QIODevice::Append));
             file.write(" and more");
         },
         "<p>x and more", FileOutcome::Changed},
        // Swapped for a link to a file elsewhere: the rewrite must not go through it.
        {"swapped",
         [&](const QString& page) {
             ASSERT_EQ(::rename(QFile::encodeName(page).constData(),
                                QFile::encodeName(page + ".moved").constData()),
                       0);
             ASSERT_TRUE(QFile::link(outside, page));
         },
         "keep", FileOutcome::Changed},
        // Left alone: tidied.
        {"untouched", [](const QString&) {}, "tidied:<p>x", FileOutcome::Tidied},
    };
    for (const Case& c : cases) {
        const QString page = Page(QString::fromLatin1(c.name) + ".html", "<p>x");
        SetBeforeReplaceHookForTests([&](const PageFile& file) {
            if (file.path == page)
                c.meanwhile(page);
        });
        rig.observer.records.clear();
        Run({page});
        SetBeforeReplaceHookForTests(nullptr);
        EXPECT_EQ(ReadAll(page), c.page) << c.name;
        EXPECT_EQ(rig.observer.Outcomes(), QList<FileOutcome>{c.outcome}) << c.name;
        EXPECT_EQ(ReadAll(outside), "keep") << c.name;
        // Whatever the file held before the run is in it or in its backup; a file that was
        // not tidied leaves the backup folder as it was.
        EXPECT_TRUE(c.page.startsWith("<p>x") ||
                    (HasBackup(page) && ReadAll(BackupPathOf(page)).startsWith("<p>x")) ||
                    ReadAll(page + ".moved") == "<p>x")
            << c.name;
        EXPECT_EQ(HasBackup(page), c.outcome == FileOutcome::Tidied) << c.name;
    }

    // Another run holds the file: it is left to that run.
    const QString held = Page("held.html", "<p>held");
    const platform::UniqueFd other(::open(QFile::encodeName(held).constData(), O_RDONLY));
    ASSERT_EQ(::flock(other.get(), LOCK_EX), 0);
    rig.observer.records.clear();
    Run({held});
    EXPECT_EQ(ReadAll(held), "<p>held");
    EXPECT_FALSE(HasBackup(held));
    EXPECT_EQ(rig.observer.Outcomes(), QList<FileOutcome>{FileOutcome::InUse});
}

TEST_F(TidyRunTest, AFileThatChangesWhileItIsTidiedIsNeverOverwrittenWithAStaleResult) {
    // Changed between the read and the backup: nothing is replaced, the older backup stays.
    const QString page = Page("a.html", "<p>a");
    Page("Kelvane Backup/a.html", "older backup");
    engine.during = [&](const QByteArray&) { WriteAll(page, "<p>edited meanwhile"); };
    Run({page});
    EXPECT_EQ(ReadAll(page), "<p>edited meanwhile");
    EXPECT_EQ(ReadAll(BackupPathOf(page)), "older backup");
    EXPECT_EQ(SummaryLines(), QStringList{page + ": The file changed while it was being "
                                                 "tidied. It was left as it is."});
    EXPECT_EQ(rig.observer.Outcomes(), QList<FileOutcome>{FileOutcome::Changed});

    // Changed while its question was open: tidied again from what it holds now.
    engine.during = nullptr;
    const QString asked = Page("b.html", "tokens:301");
    class EditingPrompts final : public ScriptedPrompts {
    public:
        int Message(const QString& text, DialogKind kind, Buttons buttons) override {
            WriteAll(file, "<p>new and longer");
            return ScriptedPrompts::Message(text, kind, buttons);
        }
        QString file;
    } editing;
    editing.file = asked;
    editing.messageAnswers = {mrYes};
    editing.optionsAnswers = {true};
    ScopedPrompts scoped(editing);
    ListWorkItems items({asked});
    rig.commands.RunTidyBatch(items);
    EXPECT_EQ(ReadAll(asked), "tidied:<p>new and longer");
    EXPECT_EQ(ReadAll(BackupPathOf(asked)), "<p>new and longer");
}

TEST_F(TidyRunTest, AnErrorWhileWritingEndsTheRunAtThatFile) {
    const QStringList pages = {Page("a.html", "<p>a"), Page("b.html", "<p>b"),
                               Page("c.html", "<p>c")};
    // The disk fills up as b's tidied text is written.
    SetWriteFailureForTests([](const QByteArray& bytes) { return bytes == "tidied:<p>b" ? ENOSPC : 0; });
    prompts.messageAnswers = {mrOk};
    Run(pages);
    SetWriteFailureForTests(nullptr);
    EXPECT_TRUE(rig.commands.RunFailed());
    ASSERT_EQ(prompts.messages().size(), 1);
    EXPECT_TRUE(prompts.messages()[0].contains(QStringLiteral("b.html")))
        << prompts.messages()[0].toStdString();
    EXPECT_EQ(ReadAll(pages[0]), "tidied:<p>a");
    EXPECT_EQ(ReadAll(pages[1]), "<p>b");
    // c's step may have run before b's rewrite failed; its rewrite, if under way by then, was
    // finished, and then it has its backup.
    EXPECT_TRUE(ReadAll(pages[2]) == "<p>c" ? !HasBackup(pages[2])
                                            : ReadAll(BackupPathOf(pages[2])) == "<p>c");
    // The summary says how much of the list was left: c, unless its rewrite was under way.
    ASSERT_EQ(rig.pages.summaries, 1);
    EXPECT_TRUE(SummaryLines().last().contains(QStringLiteral("not processed")))
        << SummaryLines().join(u'\n').toStdString();
    EXPECT_EQ(Heading(), "Kelvane - Tidied 1 files out of 3") << "the list's total";
    EXPECT_EQ(rig.progress.State(), fpsIdle);
}

TEST_F(TidyRunTest, AFileThatCannotBeOpenedIsALineAndTheWindowsRunGoesOn) {
    const QString first = Page("a.html", "<p>a");
    // A folder on the way that the system cannot resolve (a loop of links): root opens
    // everything else.
    ASSERT_EQ(::symlink("loop", QFile::encodeName(root + "loop").constData()), 0);
    const QString unopenable = root + "loop/b.html";
    const QString last = Page("c.html", "<p>c");
    Run({first, unopenable, last});
    EXPECT_FALSE(rig.commands.RunFailed());
    EXPECT_TRUE(prompts.messages().isEmpty()) << "no error box ends the run";
    EXPECT_EQ(ReadAll(last), "tidied:<p>c");
    EXPECT_EQ(Heading(), "Kelvane - Tidied 2 files out of 3");
    ASSERT_EQ(SummaryLines().size(), 1);
    EXPECT_TRUE(SummaryLines()[0].contains(unopenable) &&
                SummaryLines()[0].contains(QStringLiteral("Too many levels of symbolic links")))
        << SummaryLines()[0].toStdString();
    EXPECT_EQ(
        rig.observer.Outcomes(),
        QList<FileOutcome>({FileOutcome::Tidied, FileOutcome::Unreadable, FileOutcome::Tidied}));
}

TEST_F(TidyRunTest, AFileWhoseTextTheSystemRefusesIsALineAndTheRunGoesOn) {
    const QStringList pages = {Page("a.html", "<p>a"), Page("b.html", "<p>b"),
                               Page("c.html", "<p>c")};
    Page("Kelvane Backup/b.html", "<p>b's older backup");
    // b's folder takes no new file (say).
    SetWriteFailureForTests(
        [](const QByteArray& bytes) { return bytes == "tidied:<p>b" ? EACCES : 0; });
    Run(pages);
    SetWriteFailureForTests(nullptr);
    EXPECT_FALSE(rig.commands.RunFailed());
    EXPECT_EQ(rig.observer.Outcomes(),
              (QList<FileOutcome>{FileOutcome::Tidied, FileOutcome::WriteRefused,
                                  FileOutcome::Tidied}));
    EXPECT_EQ(ReadAll(pages[0]), "tidied:<p>a");
    EXPECT_EQ(ReadAll(pages[1]), "<p>b");
    EXPECT_EQ(ReadAll(BackupPathOf(pages[1])), "<p>b's older backup");
    EXPECT_EQ(ReadAll(pages[2]), "tidied:<p>c");
    EXPECT_EQ(SummaryLines(), QStringList{pages[1] + ": The tidied text could not be written here "
                                                     "(Permission denied). The file and its "
                                                     "backup were left as they were."});
    EXPECT_EQ(Heading(), "Kelvane - Tidied 2 files out of 3");
}

TEST_F(TidyRunTest, CheckRunReportsOriginalAndTidiedBytesAndWritesNothing) {
    const QString page = Page("a.html", "<p>a");
    rig.commands.SetTidyWriteMode(TidyWriteMode::Check);
    Run({page});
    EXPECT_EQ(ReadAll(page), "<p>a");
    EXPECT_FALSE(QDir(root + "Kelvane Backup").exists());
    ASSERT_EQ(rig.observer.records.size(), 1);
    EXPECT_EQ(rig.observer.records[0].outcome, FileOutcome::WouldChange);
    EXPECT_EQ(rig.observer.records[0].original, "<p>a");
    EXPECT_EQ(rig.observer.records[0].tidied, "tidied:<p>a");
}

// The program's road: the helpers tidy ahead in parallel while the run writes in list order.
TEST(TidyRunInHelpers, MatchesTheLibraryKeepsListOrderAndRetidiesAFileChangedAfterItWasRead) {
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    ScopedPrompts scopedPrompts(prompts);
    TidyPoolSettings settings = DefaultTidyPoolSettings();
    settings.helperPath = BinPath(QStringLiteral("kelvane-engine"));
    settings.helperCount = 2;
    TidyProcessPool pool(settings);
    ScopedTidyRunner scopedEngine(pool);
    BatchRig rig;

    const QDir site(ExamplesPath(QStringLiteral("site")));
    const QStringList names = site.entryList({QStringLiteral("*.html")}, QDir::Files);
    ASSERT_FALSE(names.isEmpty());
    QStringList paths;
    QList<QByteArray> originals;
    const QString readOnly = dir.path() + QStringLiteral("/0-read-only.html");
    WriteAll(readOnly, "<p>x");
    SetReadOnly(readOnly, true);
    paths << readOnly;
    originals << "<p>x";
    for (int i = 0; paths.size() < 40; ++i) {
        const QString path = dir.path() + QStringLiteral("/page%1.html").arg(i);
        originals << ReadAll(site.filePath(names[i % names.size()]));
        WriteAll(path, originals.last());
        paths << path;
    }
    // When the first step reports, the files after it have been read ahead: change one.
    const QString changed = paths[5];
    rig.observer.onFile = [&](const FileRecord& record) {
        if (record.path == readOnly)
            WriteAll(changed, ReadAll(changed) + "<p>appended later");
    };
    prompts.optionsAnswers = {true};
    prompts.fallback = mrYes; // many warnings: tidy anyway
    ListWorkItems items(paths);
    rig.commands.RunTidyBatch(items);

    const ResolvedTidyOptions options = ResolveOptions(CurrentOptionSet());
    QStringList order;
    for (const FileRecord& record : rig.observer.records)
        order << record.path;
    EXPECT_EQ(order, paths);
    EXPECT_EQ(rig.commands.SuccessCount(), 39);
    for (qsizetype i = 1; i < paths.size(); ++i) {
        const QByteArray before =
            paths[i] == changed ? originals[i] + "<p>appended later" : originals[i];
        EXPECT_EQ(ReadAll(BackupPathOf(paths[i])), before) << i;
        EXPECT_EQ(ReadAll(paths[i]), RunTidyLibrary({options, before}).output) << i;
    }
    SetReadOnly(readOnly, false);
}

// Review Changes without a window: the line blocks the views mark, the review list and its
// checks, patch names, and whole reviews on a copy of the example site with the real engine —
// the list against what tidying each page gives, Tidy Checked Files writing only what was
// reviewed, and Save as Patch giving a patch that `patch -p1` applies.

#include "BatchDoubles.h"
#include "engine/TidyOptionMapping.h"
#include "engine/TidyOptionSet.h"
#include "engine/TidyOracle.h"
#include "fileops/BackupStore.h"
#include "fileops/ReviewDiff.h"
#include "fileops/ReviewPatch.h"
#include "fileops/ReviewSession.h"
#include "support/Preferences.h"
#include "support/RememberedAnswers.h"

#include <QDirIterator>
#include <QMap>
#include <QProcess>

namespace {

TEST(ReviewDiff, BlocksAndCountsFollowTheUnifiedDiff) {
    struct Case {
        const char* name;
        QByteArray original, tidied;
        QList<ChangeBlock> blocks;
        int changedLines;
    };
    const QByteArray ten = "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n";
    const QList<Case> cases = {
        {"equal", "a\nb\n", "a\nb\n", {}, 0},
        {"one line replaced", "a\nb\nc\n", "a\nB\nc\n", {{1, 1, 1, 1}}, 1},
        {"two lines become three", "a\nb\nc\nd\n", "a\nB\nC\nX\nd\n", {{1, 2, 1, 3}}, 3},
        {"insertion", "a\nc\n", "a\nb\nc\n", {{1, 0, 1, 1}}, 1},
        {"removal at the start", "x\na\n", "a\n", {{0, 1, 0, 0}}, 1},
        {"from nothing", "", "a\nb\n", {{0, 0, 0, 2}}, 2},
        {"last line gets its line break", "a\nb", "a\nb\n", {{1, 1, 1, 1}}, 1},
        {"CR LF lines", "a\r\nb\r\n", "a\nb\r\n", {{0, 1, 0, 1}}, 1},
        // Far apart: two hunks, the second numbered from its own header.
        {"two hunks", "x\n" + ten + "y\n", "X\n" + ten + "Y\n", {{0, 1, 0, 1}, {11, 1, 11, 1}}, 2},
        {"shifted second hunk",
         "x\n" + ten + "y\n",
         "X\nX2\n" + ten,
         {{0, 1, 0, 2}, {11, 1, 12, 0}},
         3},
    };
    for (const Case& c : cases) {
        const TextChanges changes = CompareTexts(c.original, c.tidied);
        EXPECT_EQ(changes.blocks, c.blocks) << c.name;
        EXPECT_EQ(changes.changedLines, c.changedLines) << c.name;
    }
}

TEST(ReviewDiff, MatchingLinesAndBlocksKeepBothViewsInStep) {
    // Lines 2-3 of the page became line 2 only; line 6 gained two lines after it.
    const QList<ChangeBlock> blocks = {{2, 2, 2, 1}, {7, 0, 6, 2}};
    struct Case {
        int line;
        bool fromOriginal;
        int matching;
    };
    for (const Case& c : QList<Case>{{0, true, 0},
                                     {1, true, 1},
                                     {2, true, 2},
                                     {3, true, 2}, // inside the block: its last line at most
                                     {4, true, 3},
                                     {6, true, 5},
                                     {7, true, 8},
                                     {20, true, 21},
                                     {2, false, 2},
                                     {3, false, 4},
                                     {6, false, 7},
                                     {7, false, 7},
                                     {8, false, 7},
                                     {9, false, 8}})
        EXPECT_EQ(MatchingLine(blocks, c.line, c.fromOriginal), c.matching)
            << c.line << (c.fromOriginal ? " of the page" : " of the tidied text");
    EXPECT_EQ(BlockAtOrAfter(blocks, 0, true), 0);
    EXPECT_EQ(BlockAtOrAfter(blocks, 3, true), 0);
    EXPECT_EQ(BlockAtOrAfter(blocks, 4, true), 1);
    EXPECT_EQ(BlockAtOrAfter(blocks, 7, true), 1) << "an insertion before line 7";
    EXPECT_EQ(BlockAtOrAfter(blocks, 8, true), 2);
}

ReviewSummary Summary(const QString& path, const QByteArray& original, const QByteArray& tidied) {
    ReviewSummary summary;
    summary.path = path;
    summary.original = DigestOf(original);
    summary.tidied = DigestOf(tidied);
    summary.changedLines = 3;
    summary.changes = 1;
    summary.messages = 2;
    return summary;
}

TEST(ReviewListTest, ChecksCountsAndTheComparisonWithWhatWasReviewed) {
    ReviewList list;
    int checkSignals = 0;
    QObject::connect(&list, &ReviewList::ChecksChanged, [&] { ++checkSignals; });
    list.Add({Summary("/site/a.html", "a", "A"), Summary("/site/sub/b.html", "b", "B"),
              Summary("/c.html", "c", "C")});
    list.CountUnchanged();
    list.CountNotTidied();
    list.CountNotTidied();
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Unchanged(), 1);
    EXPECT_EQ(list.NotTidied(), 2);
    EXPECT_EQ(list.Folder(1), "/site/sub");
    EXPECT_EQ(list.Name(1), "b.html");
    EXPECT_EQ(list.Folder(2), "/");
    EXPECT_EQ(list.Path(2), "/c.html");
    EXPECT_EQ(list.Find("/site/sub/b.html"), 1);
    EXPECT_EQ(list.Find("/site/b.html"), -1);

    EXPECT_EQ(list.CheckedCount(), 3);
    list.SetChecked(1, false);
    list.SetChecked(1, false); // no change, no signal
    EXPECT_EQ(list.CheckedPaths(), (QStringList{"/site/a.html", "/c.html"}));
    list.SetAllChecked(false);
    EXPECT_EQ(list.CheckedCount(), 0);
    list.SetAllChecked(true);
    EXPECT_EQ(list.CheckedCount(), 3);
    EXPECT_EQ(checkSignals, 3);

    EXPECT_EQ(list.Compare("/site/a.html", "a", "A"), ReviewMismatch::None);
    EXPECT_EQ(list.Compare("/site/a.html", "a2", "A"), ReviewMismatch::FileChanged);
    EXPECT_EQ(list.Compare("/site/a.html", "a", "A2"), ReviewMismatch::TidiedDiffers);
    EXPECT_EQ(list.Compare("/site/z.html", "a", "A"), ReviewMismatch::NotReviewed);

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Unchanged() + list.NotTidied() + list.CheckedCount(), 0);
    EXPECT_EQ(list.Find("/site/a.html"), -1);
}

TEST(ReviewPatchNames, RelativeToTheFolderTheReviewStartedIn) {
    EXPECT_EQ(CommonFolder({"/site/a.html", "/site/news"}), "/site");
    EXPECT_EQ(CommonFolder({"/site/news/a.html", "/site/b/c.html"}), "/site");
    EXPECT_EQ(CommonFolder({"/site/a.html", "/sitemap/b.html"}), "/");
    EXPECT_EQ(CommonFolder({"/a.html"}), "/");
    EXPECT_EQ(CommonFolder({}), "");

    EXPECT_EQ(PatchName("/site", "/site/news/a.html"), "news/a.html");
    EXPECT_EQ(PatchName("/site", "/sitemap/a.html"), "sitemap/a.html") << "not below: whole";
    EXPECT_EQ(PatchName("/", "/site/a.html"), "site/a.html");
    // A name that is not UTF-8 keeps its bytes.
    EXPECT_EQ(PatchName("/site", "/site/caf" + QString(QChar(0xDCE9)) + ".html"),
              QByteArray("caf\xe9.html"));
}

// A copy of the example site selected as one folder in a window stand-in, with the real engine.
class ReviewRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ForgetAnswer(FolderQuestionText());
        saved = CurrentOptionSet();
        CurrentOptionSet() = TidyOptionSet();
        site = Copy("site");
        rig.selection.items = {{site, true, true}};
        prompts.fallback = mrYes; // the folder question
    }
    void TearDown() override { CurrentOptionSet() = saved; }

    QString Copy(const QString& name) {
        const QString source = ExamplesPath(QStringLiteral("site"));
        const QString target = dir.filePath(name);
        QDirIterator it(source, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            QDir().mkpath(QFileInfo(target + file.mid(source.size())).path());
            EXPECT_TRUE(QFile::copy(file, target + file.mid(source.size())));
        }
        return target;
    }
    // Every file under `folder` but backups, by relative name.
    static QMap<QString, QByteArray> Snapshot(const QString& folder) {
        QMap<QString, QByteArray> files;
        QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (!path.contains(QLatin1String("/Kelvane Backup/")))
                files.insert(path.mid(folder.size() + 1), ReadAll(path));
        }
        return files;
    }
    // What the `tidy` program gives for each page of the site that tidying changes.
    QMap<QString, QByteArray> Tidied(const QMap<QString, QByteArray>& files) const {
        QStringList names;
        QList<QByteArray> pages;
        for (auto it = files.begin(); it != files.end(); ++it) {
            if (MatchesAnyMask(QFileInfo(it.key()).fileName(), MaskList(rig.selection.filter))) {
                names << it.key();
                pages << it.value();
            }
        }
        QTemporaryDir work;
        const std::vector<tidy_oracle::Answer> answers = tidy_oracle::Run(
            pages, tidy_oracle::ConfigText(ResolveOptions(CurrentOptionSet()), work.path()),
            work.path());
        QMap<QString, QByteArray> tidied;
        for (qsizetype i = 0; i < names.size(); ++i)
            if (answers[size_t(i)].output != pages.at(i))
                tidied.insert(names.at(i), answers[size_t(i)].output);
        return tidied;
    }
    QStringList Listed() const {
        QStringList paths;
        for (qsizetype i = 0; i < session.List().Count(); ++i)
            paths << session.List().Path(i).mid(site.size() + 1);
        return paths;
    }
    bool Review() {
        prompts.optionsAnswers = {true};
        return session.Review(rig.commands, dir.path(), [this] { ++started; });
    }

    QTemporaryDir dir;
    QString site;
    TidyOptionSet saved;
    ScriptedPrompts prompts;
    ScopedPrompts scopedPrompts{prompts};
    BatchRig rig;
    ReviewSession session;
    int started = 0;
};

TEST_F(ReviewRun, ListsWhatTidyingWouldChangeAndTidiesOnlyTheCheckedFilesAsReviewed) {
    const QMap<QString, QByteArray> before = Snapshot(site);
    const QMap<QString, QByteArray> tidied = Tidied(before);
    ASSERT_GE(tidied.size(), 5);

    ASSERT_TRUE(Review());
    EXPECT_EQ(started, 1);
    EXPECT_EQ(Snapshot(site), before) << "a review writes nothing";
    EXPECT_FALSE(QDir(site + "/Kelvane Backup").exists());
    QStringList listed = Listed();
    listed.sort();
    EXPECT_EQ(listed, QStringList(tidied.keys()));
    EXPECT_FALSE(session.Stopped());
    EXPECT_EQ(rig.view.captions, QStringList{"Reviewing Changes..."});
    EXPECT_EQ(session.List().CheckedCount(), session.List().Count());
    const qint64 pages = std::count_if(before.keyBegin(), before.keyEnd(), [&](const QString& k) {
        return MatchesAnyMask(QFileInfo(k).fileName(), MaskList(rig.selection.filter));
    });
    EXPECT_EQ(session.List().Count() + session.List().Unchanged() + session.List().NotTidied(),
              pages);
    for (qsizetype i = 0; i < session.List().Count(); ++i)
        EXPECT_GT(session.List().ChangedLines(i), 0) << session.List().Path(i).toStdString();
    // broken.html has hundreds of messages: listed without the question.
    for (const ScriptedPrompts::Asked& asked : prompts.asked)
        EXPECT_FALSE(asked.text.startsWith("Tidying this file")) << "asked during the review";
    EXPECT_GE(session.List().Find(site + "/broken.html"), 0);

    // One file unchecked, one edited after the review.
    const qsizetype unchecked = session.List().Find(site + "/about.html");
    ASSERT_GE(unchecked, 0);
    session.List().SetChecked(unchecked, false);
    const QString edited = site + "/index.html";
    ASSERT_GE(session.List().Find(edited), 0);
    WriteAll(edited, before.value("index.html") + "<!-- edited -->");

    prompts.messageAnswers = {mrYesToAll}; // the many-warnings question
    EXPECT_EQ(session.TidyChecked(rig.commands), ReviewSession::Result::Done);
    const QMap<QString, QByteArray> after = Snapshot(site);
    for (auto it = before.begin(); it != before.end(); ++it) {
        const QString path = site + QLatin1Char('/') + it.key();
        if (it.key() == "about.html" || !tidied.contains(it.key())) {
            EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString();
            EXPECT_FALSE(HasBackup(path)) << it.key().toStdString();
        } else if (it.key() == "index.html") {
            EXPECT_EQ(after.value(it.key()), it.value() + "<!-- edited -->");
            EXPECT_FALSE(HasBackup(path));
        } else {
            EXPECT_EQ(after.value(it.key()), tidied.value(it.key())) << it.key().toStdString();
            EXPECT_EQ(ReadAll(BackupPathOf(path)), it.value()) << it.key().toStdString();
        }
    }
    ASSERT_NE(rig.pages.Summary(), nullptr);
    EXPECT_EQ(rig.pages.Summary()->Heading, QStringLiteral("Kelvane - Tidied %1 files out of %2")
                                                .arg(tidied.size() - 2)
                                                .arg(session.List().CheckedCount()));
    EXPECT_EQ(rig.pages.Summary()->Messages,
              QStringList{edited + ": The file changed since its changes were reviewed. It was "
                                   "left as it is."});
}

TEST_F(ReviewRun, SavedPatchAppliesWithPatchP1AndChangedOptionsStopTheRuns) {
    const QMap<QString, QByteArray> before = Snapshot(site);
    const QMap<QString, QByteArray> tidied = Tidied(before);
    ASSERT_TRUE(Review());
    session.List().SetChecked(session.List().Find(site + "/about.html"), false);
    const QString patchFile = dir.filePath("tidy.patch");
    const ReviewSession::PatchResult saved = session.SavePatch(rig.commands, patchFile);
    EXPECT_TRUE(saved.saved);
    EXPECT_EQ(saved.written, tidied.size() - 1);
    EXPECT_EQ(saved.leftOut, 0);
    EXPECT_EQ(Snapshot(site), before) << "saving a patch writes no page";
    const QByteArray patchText = ReadAll(patchFile);
    EXPECT_TRUE(patchText.startsWith("--- a/site/")) << patchText.left(80).constData();

    // Applied in a copy of the folder the review started in, it gives the checked changes.
    const QString copy = dir.filePath("copy");
    QDir().mkpath(copy);
    const QString copySite = Copy("copy/site");
    QProcess patch;
    patch.setWorkingDirectory(copy);
    patch.setStandardInputFile(patchFile);
    patch.start("patch", {"-s", "-p1"});
    ASSERT_TRUE(patch.waitForFinished(20000));
    EXPECT_EQ(patch.exitCode(), 0) << patch.readAll().constData();
    QMap<QString, QByteArray> expected = before;
    for (auto it = tidied.begin(); it != tidied.end(); ++it)
        if (it.key() != "about.html")
            expected[it.key()] = it.value();
    EXPECT_EQ(Snapshot(copySite), expected);

    // Options changed since the review: nothing is run, and the user is told once.
    CurrentOptionSet().CBIndent = !CurrentOptionSet().CBIndent;
    prompts.asked.clear();
    EXPECT_EQ(session.TidyChecked(rig.commands), ReviewSession::Result::OptionsChanged);
    EXPECT_EQ(session.SavePatch(rig.commands, dir.filePath("other.patch")).result,
              ReviewSession::Result::OptionsChanged);
    EXPECT_FALSE(QFile::exists(dir.filePath("other.patch")));
    ASSERT_EQ(prompts.messages().size(), 2);
    EXPECT_TRUE(prompts.messages().value(0).startsWith("The tidy options have changed"));
    EXPECT_TRUE(prompts.messages().value(1).startsWith("The tidy options have changed"));
    EXPECT_EQ(Snapshot(site), before);
}

TEST_F(ReviewRun, AFileThatCannotBeOpenedIsCountedAndTheReviewGoesOn) {
    // A link that leads to itself, selected by name (a folder scan passes over it): opening it
    // fails (ELOOP), whoever runs the test.
    ASSERT_TRUE(QFile::link(site + "/loop.html", site + "/loop.html"));
    rig.selection.items.append({site + "/loop.html", true, false});
    ASSERT_TRUE(Review());
    EXPECT_FALSE(session.Stopped());
    EXPECT_EQ(session.List().NotTidied(), 1);
    EXPECT_GE(session.List().Count(), 5);
    ASSERT_NE(rig.pages.Summary(), nullptr);
    EXPECT_EQ(rig.pages.Summary()->Messages.size(), 1);
    EXPECT_TRUE(rig.pages.Summary()->Messages.value(0).contains("loop.html"))
        << rig.pages.Summary()->Messages.value(0).toStdString();
}

TEST_F(ReviewRun, ACancelledReviewKeepsWhatItReachedAndACancelledPatchSavesNothing) {
    int files = 0;
    rig.view.betweenItems = [&] {
        if (++files == 3) {
            prompts.messageAnswers = {mrYes}; // "This will stop the tidy operation..."
            rig.progress.Cancel();
        }
    };
    ASSERT_TRUE(Review());
    EXPECT_TRUE(session.Stopped());
    EXPECT_LE(session.List().Count() + session.List().Unchanged() + session.List().NotTidied(), 3);

    rig.view.betweenItems = nullptr;
    ASSERT_TRUE(Review());
    ASSERT_GE(session.List().Count(), 2);
    files = 0;
    rig.view.betweenItems = [&] {
        if (++files == 1) {
            prompts.messageAnswers = {mrYes};
            rig.progress.Cancel();
        }
    };
    const QString patchFile = dir.filePath("tidy.patch");
    WriteAll(patchFile, "old patch");
    const ReviewSession::PatchResult saved = session.SavePatch(rig.commands, patchFile);
    EXPECT_FALSE(saved.saved);
    EXPECT_EQ(ReadAll(patchFile), QByteArray("old patch")) << "an earlier file stays whole";
    EXPECT_EQ(QDir(dir.path()).entryList({"tidy.patch*"}, QDir::Files), QStringList{"tidy.patch"});
}

} // namespace

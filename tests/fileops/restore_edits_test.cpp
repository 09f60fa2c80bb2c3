// Restore and edits made after tidying: a page that is not what its tidy wrote is replaced only
// when the user (or --force) agrees, and never without its text in the trash.

#include "BatchDoubles.h"
#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "fileops/BackupMark.h"
#include "fileops/BackupStore.h"
#include "fileops/RunFiles.h"
#include "platform/UniqueFd.h"
#include "support/RememberedAnswers.h"
#include "support/Translation.h"

#include <QDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/xattr.h>

namespace {

bool HasMark(const QString& path) {
    return ::getxattr(QFile::encodeName(path).constData(), kBackupMarkName, nullptr, 0) >= 0;
}

class RestoreEdits : public BatchRunFixture {
protected:
    void SetUp() override {
        BatchRunFixture::SetUp();
        qputenv("XDG_DATA_HOME", QFile::encodeName(Trash()));
        ForgetAnswer(Translate(EditedPageQuestion()));
    }
    void TearDown() override {
        ForgetAnswer(Translate(EditedPageQuestion()));
        qputenv("XDG_DATA_HOME", savedData);
    }
    QString Trash() const { return root + "data"; }
    QStringList Trashed() const {
        return QDir(Trash() + "/Trash/files").entryList(QDir::Files, QDir::Name);
    }
    // A page backed up with `before` and now holding `now`; the backup marked with `written`
    // when given (as a tidy of this version marks it).
    QString Tidied(const QString& name, const QByteArray& before, const QByteArray& now,
                   const std::optional<QByteArray>& written) {
        const QString path = Page(name, before);
        EXPECT_FALSE(MakeBackup(path).isEmpty());
        WriteAll(path, now);
        if (written) {
            const platform::UniqueFd backup(
                ::open(QFile::encodeName(BackupPathOf(path)).constData(), O_RDONLY | O_CLOEXEC));
            MarkBackup(backup.get(), *written);
            EXPECT_TRUE(HasMark(BackupPathOf(path)));
        }
        return path;
    }

    const QByteArray savedData = qgetenv("XDG_DATA_HOME");
};

} // namespace

TEST_F(RestoreEdits, OnlyAPageThatIsNotWhatItsTidyWroteIsAskedAboutAndItsTextIsKept) {
    struct Case {
        const char* name;
        QByteArray before;              // the backup
        QByteArray now;                 // the page
        std::optional<QByteArray> mark; // what the backup's mark says was written
        bool replace;                   // the answer, when asked
        bool asked;
        RestoreResult result;
    };
    const std::optional<QByteArray> none;
    const Case cases[] = {
        {"as its tidy wrote it", "<p>a", "tidied:<p>a", "tidied:<p>a", true, false, rrRestored},
        {"edited after tidying, and replaced", "<p>b", "tidied:<p>b and more", "tidied:<p>b", true,
         true, rrRestored},
        {"edited after tidying, and kept", "<p>c", "tidied:<p>c and more", "tidied:<p>c", false,
         true, rrEdited},
        {"an older backup without a mark: what tidying it gives", "<p>d", "tidied:<p>d", none, true,
         false, rrRestored},
        {"an older backup without a mark, edited", "<p>e", "edited <p>e", none, true, true,
         rrRestored},
        {"without a mark, and the backup cannot be tidied: cannot tell", "fail <p>f",
         "tidied:fail <p>f", none, false, true, rrEdited},
        {"the page is its backup's text: restoring loses nothing", "<p>g", "<p>g", "other", true,
         false, rrRestored},
        {"the mark says another text of the same size", "<p>h", "tidied:<p>H", "tidied:<p>h", false,
         true, rrEdited},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString page =
            Tidied(QStringLiteral("page%1.html").arg(index++), c.before, c.now, c.mark);
        const QStringList trashedBefore = Trashed();
        bool asked = false;
        RestorePolicy policy;
        policy.replaceEdited = [&](const QString& path) {
            EXPECT_EQ(path, page);
            asked = true;
            return c.replace;
        };
        RunFiles files;
        const BackupAction action = RestorePage(files, page, policy);
        EXPECT_EQ(action.result, c.result);
        EXPECT_EQ(asked, c.asked);
        const bool replacedEdit = c.asked && c.replace;
        EXPECT_EQ(Trashed().size(), trashedBefore.size() + (replacedEdit ? 1 : 0));
        if (c.result == rrRestored) {
            EXPECT_EQ(ReadAll(page), c.before);
            EXPECT_FALSE(HasBackup(page));
            EXPECT_FALSE(HasMark(page)) << "a restored page keeps no mark of ours";
        } else {
            EXPECT_EQ(ReadAll(page), c.now);
            EXPECT_EQ(ReadAll(BackupPathOf(page)), c.before);
        }
        if (replacedEdit) {
            ASSERT_EQ(action.trashed.size(), 1);
            EXPECT_EQ(ReadAll(action.trashed.first()), c.now) << "the edit is in the trash";
        } else {
            EXPECT_TRUE(action.trashed.isEmpty());
        }
    }
}

TEST_F(RestoreEdits, AnEditThatNoTrashCanTakeIsNotReplaced) {
    const QString page = Tidied("a.html", "<p>a", "edited", "tidied:<p>a");
    WriteAll(Trash(), "not a folder");
    RunFiles files;
    const BackupAction action = RestorePage(files, page); // replace: the one-path way
    EXPECT_EQ(action.result, rrFailed);
    EXPECT_TRUE(action.refusal.contains("could not be put in the trash"))
        << action.refusal.toStdString();
    EXPECT_EQ(action.details.size(), 1) << "the system's reason";
    EXPECT_EQ(ReadAll(page), "edited");
    EXPECT_EQ(ReadAll(BackupPathOf(page)), "<p>a");

    // A missing page has no text to lose.
    QFile::remove(page);
    EXPECT_EQ(RestoreFromBackup(page), rrRestored);
    EXPECT_EQ(ReadAll(page), "<p>a");
}

TEST_F(RestoreEdits, TheWindowAsksPerEditedPageAndCanBeToldToRememberTheAnswer) {
    const QString clean = Tidied("clean.html", "<p>a", "tidied:<p>a", "tidied:<p>a");
    const QString kept = Tidied("kept.html", "<p>b", "edited b", "tidied:<p>b");
    prompts.messageAnswers = {mrNo};
    ListWorkItems first({clean, kept});
    rig.commands.RunRestoreBatch(first);

    ASSERT_EQ(prompts.asked.size(), 1) << "only the edited page is asked about";
    const ScriptedPrompts::Asked& question = prompts.asked.first();
    EXPECT_EQ(question.what, "check");
    EXPECT_EQ(question.kind, DialogKind::Warning);
    EXPECT_EQ(question.caption, "Don't ask again");
    EXPECT_TRUE(question.text.contains(kept)) << "the question names the page";
    EXPECT_EQ(ReadAll(clean), "<p>a");
    EXPECT_EQ(ReadAll(kept), "edited b");
    EXPECT_EQ(rig.observer.Outcomes(),
              QList<FileOutcome>({FileOutcome::Restored, FileOutcome::EditedKept}));
    EXPECT_EQ(SummaryLines(),
              QStringList{kept + ": This file was changed after it was tidied, so it was not "
                                 "restored. The file and its backup were left as they are."});

    // Yes, and don't ask again: this page and every later one is replaced, its text trashed.
    prompts.messageAnswers = {mrYes};
    prompts.checkBoxTicks = {true};
    const QString later = Tidied("later.html", "<p>c", "edited c", "tidied:<p>c");
    ListWorkItems second({kept, later});
    rig.commands.RunRestoreBatch(second);
    EXPECT_EQ(prompts.asked.size(), 2) << "asked for the first page only";
    EXPECT_EQ(ReadAll(kept), "<p>b");
    EXPECT_EQ(ReadAll(later), "<p>c");
    EXPECT_EQ(Trashed(), QStringList({"kept.html", "later.html"}));
    EXPECT_EQ(ReadAll(Trash() + "/Trash/files/later.html"), "edited c");
    EXPECT_EQ(SummaryLines().size(), 2);
    EXPECT_EQ(SummaryLines().value(1),
              later +
                  ": This file had been changed after it was tidied. That text was moved to "
                  "the trash, as " +
                  Trash() + "/Trash/files/later.html.");
    EXPECT_TRUE(IsAnswerRemembered(Translate(EditedPageQuestion())))
        << "remembered under the question, whatever page it named";
}

TEST_F(RestoreEdits, APageThatIsItsOwnBackupLosesOnlyTheSecondName) {
    // What a run of an earlier version, killed before it replaced the page, could leave.
    const QString page = Page("a.html", "<p>a");
    ASSERT_TRUE(QDir().mkpath(root + "Kelvane Backup"));
    ASSERT_EQ(::link(QFile::encodeName(page).constData(),
                     QFile::encodeName(BackupPathOf(page)).constData()),
              0);
    RunFiles files;
    EXPECT_EQ(RestorePage(files, page).result, rrRestored);
    EXPECT_EQ(ReadAll(page), "<p>a");
    EXPECT_FALSE(QFile::exists(BackupPathOf(page))) << "the page no longer is its own backup";
    EXPECT_TRUE(Trashed().isEmpty()) << "nothing was replaced";
}

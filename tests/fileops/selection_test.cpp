// Work lists from the file list's selection and from the tree's folder.

#include "BatchDoubles.h"
#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "fileops/Selection.h"
#include "support/Preferences.h"
#include "support/RememberedAnswers.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path() + QLatin1Char('/');
        for (const char* name :
             {"a.htm", "b.txt", "one/x.htm", "one/y.html", "one/z.htm", "two/p.htm", "two/q.htm"}) {
            QDir().mkpath(QFileInfo(root + name).path());
            WriteAll(root + name, "<p>x");
        }
        ForgetAnswer(FolderQuestionText());
    }
    void TearDown() override { ForgetAnswer(FolderQuestionText()); }

    SelectedItem File(const char* name) const { return {root + name, true, false}; }
    SelectedItem Folder(const char* name) const { return {root + name, true, true}; }
    QStringList Relative(const QStringList& paths) const {
        QStringList out;
        for (const QString& path : paths)
            out << (path.startsWith(root) ? path.mid(root.size()) : path);
        return out;
    }

    QTemporaryDir dir;
    QString root;
    ScriptedPrompts prompts;
    ScopedPrompts scoped{prompts};
    FakeSelection selection;
    CancellableScanner scanner;
};

struct GatherCase {
    const char* name;
    bool expand;
    std::deque<int> answers;
    int cancelAfterMatches;
    int questions;
    QStringList expected; // relative, in order; scanned folders sorted within
};

} // namespace

TEST_F(SelectionTest, GatherSelectionAsksOnceAndExpandsOrKeepsFolders) {
    const GatherCase cases[] = {
        {"without expansion no question", false, {}, -1, 0, {"a.htm", "one", "two", "b.txt"}},
        {"yes expands every folder",
         true,
         {mrYes},
         -1,
         1,
         {"a.htm", "one/x.htm", "one/y.html", "one/z.htm", "two/p.htm", "two/q.htm", "b.txt"}},
        {"no keeps the folders", true, {mrNo}, -1, 1, {"a.htm", "one", "two", "b.txt"}},
        {"a cancelled scan keeps what it found",
         true,
         {mrYes},
         1,
         1,
         {"a.htm", "one/?", "two/?", "b.txt"}},
    };
    for (const GatherCase& c : cases) {
        prompts.asked.clear();
        prompts.messageAnswers = c.answers;
        scanner.cancelAfterMatches = c.cancelAfterMatches;
        selection.items = {File("a.htm"), {QString(), false, false},
                           Folder("one"), {root + "virtual", false, true},
                           Folder("two"), File("b.txt")};
        QStringList list{QStringLiteral("stale")};
        GatherSelection(selection, scanner, list, c.expand);
        QStringList got = Relative(list);
        // A cancelled scan keeps one file of each folder, whichever the file system gave first.
        if (c.cancelAfterMatches > 0)
            for (QString& entry : got)
                if (const qsizetype slash = entry.indexOf(QLatin1Char('/')); slash > 0)
                    entry = entry.left(slash + 1) + QLatin1Char('?');
        // Within one folder the file system decides the order.
        std::sort(got.begin() + 1, got.end() - 1);
        QStringList expected = c.expected;
        std::sort(expected.begin() + 1, expected.end() - 1);
        EXPECT_EQ(got, expected) << c.name;
        EXPECT_EQ(prompts.asked.size(), c.questions) << c.name;
        if (c.questions) {
            EXPECT_EQ(prompts.asked[0].what, "check") << c.name;
        }
    }
}

TEST_F(SelectionTest, RememberedFolderAnswerIsUsedWithoutAQuestion) {
    prompts.messageAnswers = {mrNo};
    prompts.checkBoxTicks = {true};
    selection.items = {Folder("one")};
    QStringList list;
    GatherSelection(selection, scanner, list, true);
    EXPECT_EQ(Relative(list), QStringList{"one"});
    GatherSelection(selection, scanner, list, true);
    EXPECT_EQ(Relative(list), QStringList{"one"});
    EXPECT_EQ(prompts.asked.size(), 1) << "the second walk used the stored No";
    EXPECT_TRUE(IsAnswerRemembered(FolderQuestionText()));
}

TEST_F(SelectionTest, TreeFolderIsScannedWithoutAQuestionAndACancelEmptiesTheList) {
    QStringList list;
    selection.tree = std::nullopt;
    GatherTreeFolder(selection, scanner, list);
    EXPECT_TRUE(list.isEmpty());
    selection.tree = SelectedItem{root + "one", false, true}; // not a file-system folder
    GatherTreeFolder(selection, scanner, list);
    EXPECT_TRUE(list.isEmpty());
    EXPECT_TRUE(scanner.scanned.isEmpty());

    selection.tree = SelectedItem{root + "one", true, true};
    GatherTreeFolder(selection, scanner, list);
    EXPECT_EQ(list.size(), 3);
    EXPECT_EQ(scanner.scanned.last(), root + "one/") << "scanned with a trailing separator";

    list.clear();
    scanner.cancelAfterMatches = 1;
    GatherTreeFolder(selection, scanner, list);
    EXPECT_TRUE(list.isEmpty()) << "unlike a selected folder, a cancelled tree scan keeps nothing";

    selection.tree = SelectedItem{root + "gone", true, true};
    GatherTreeFolder(selection, scanner, list);
    EXPECT_TRUE(list.isEmpty());
    EXPECT_TRUE(prompts.asked.isEmpty());
}

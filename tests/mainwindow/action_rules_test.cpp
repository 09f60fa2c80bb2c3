// The enabling rules of the main window's actions, and the selection they read.

#include "common/TestSupport.h"
#include "fileops/BackupStore.h"
#include "mainwindow/ActionRules.h"
#include "mainwindow/SelectedPaths.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(ActionRules, SelectionDecidesTheFileActions) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString writable = dir.filePath(QStringLiteral("page.html"));
    const QString readOnly = dir.filePath(QStringLiteral("locked.html"));
    const QString tidiedReadOnly = dir.filePath(QStringLiteral("tidied.html"));
    const QString folder = dir.filePath(QStringLiteral("sub"));
    WriteAll(writable, "x");
    WriteAll(readOnly, "x");
    WriteAll(tidiedReadOnly, "x");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QDir().mkpath(BackupFolderOf(tidiedReadOnly)));
    WriteAll(BackupPathOf(tidiedReadOnly), "old");
    SetReadOnly(readOnly, true);
    SetReadOnly(tidiedReadOnly, true);

    // tidy, validate, restore and remove backups, edit, view
    const struct {
        const char* name;
        QStringList selection;
        bool tidy, validate, restore, edit;
    } cases[] = {
        {"nothing", {}, false, false, false, false},
        {"a writable file", {writable}, true, true, false, true},
        {"a read-only file", {readOnly}, false, true, false, true},
        {"a read-only file with a backup", {tidiedReadOnly}, false, true, true, true},
        {"a folder", {folder}, true, false, true, false},
        {"a path that is gone",
         {dir.filePath(QStringLiteral("gone.html"))},
         false,
         false,
         false,
         false},
        {"gone, then read-only, then writable",
         {dir.filePath("gone"), readOnly, writable},
         true,
         true,
         false,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ActionEnabling e = EnablingFor(SelectionFactsOf(c.selection), {}, false);
        EXPECT_EQ(e.tidy, c.tidy);
        EXPECT_EQ(e.validate, c.validate);
        EXPECT_EQ(e.revert, c.restore);
        EXPECT_EQ(e.deleteBackup, c.restore);
        EXPECT_EQ(e.editHtml, c.edit);
        EXPECT_EQ(e.viewWebPage, c.edit);
    }
    SetReadOnly(readOnly, false);
    SetReadOnly(tidiedReadOnly, false);
}

TEST(ActionRules, NavigationAndErrors) {
    const ActionEnabling none = EnablingFor({}, {false, false, true}, false);
    EXPECT_FALSE(none.navBack || none.navForward || none.navUp || none.viewErrors);
    const ActionEnabling all = EnablingFor({}, {true, true, false}, true);
    EXPECT_TRUE(all.navBack && all.navForward && all.navUp && all.viewErrors);
}

TEST(SelectedPaths, KeepsSelectionOrderAndRemovesTheFirstEqualEntry) {
    SelectedPaths paths;
    EXPECT_TRUE(paths.ItemSelected(QStringLiteral("/b")));
    EXPECT_FALSE(paths.ItemSelected(QStringLiteral("/a")));
    EXPECT_FALSE(paths.ItemSelected(QStringLiteral("/b")));
    paths.ItemDeselected(QStringLiteral("/b"));
    EXPECT_EQ(paths.Paths(), (QStringList{"/a", "/b"}));
    paths.ItemDeselected(QStringLiteral("/A")); // another file on this system
    EXPECT_EQ(paths.Paths(), (QStringList{"/a", "/b"}));

    // Many at once, as when a large selection is cleared.
    QStringList many;
    for (int i = 0; i < 1000; ++i)
        many << QStringLiteral("/f%1").arg(i);
    paths.Assign(many + many);
    paths.ItemsDeselected(many.mid(0, 999));
    EXPECT_EQ(paths.Paths().size(), 1001);
    EXPECT_EQ(paths.Paths().first(), QStringLiteral("/f999"));
    EXPECT_EQ(paths.Paths().at(1), QStringLiteral("/f0"));
}

TEST(SelectedPaths, ReselectTakesEachRowOnce) {
    const QStringList items{"/s/a.html", "/s/b.html", "/s/a.html", "/s/c.html"};
    EXPECT_EQ(ReselectRows(items, {"/s/c.html", "/s/a.html", "/s/a.html", "/s/a.html", "/s/x"}),
              (QList<qsizetype>{3, 0, 2}));
    EXPECT_TRUE(ReselectRows(items, {}).isEmpty());
    EXPECT_TRUE(ReselectRows(items, {"/s/A.HTML"}).isEmpty());
}

} // namespace

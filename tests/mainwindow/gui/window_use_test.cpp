// The main window as people use it on a Linux desktop: the keys of file managers, one Enter in
// the address field, what the list says and how its columns share the width, a desktop that
// opens nothing, and where the window opens.

#include "MainWindowFixture.h"
#include "mainwindow/MainSettings.h"
#include "mainwindow/gui/FolderTreeModel.h"
#include "mainwindow/gui/TIEAddress.h"
#include "support/IniFile.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCompleter>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>

namespace {

class WindowUse : public MainWindow {
protected:
    TFormKelvane& shown() {
        TFormKelvane& w = open();
        w.show();
        QApplication::setActiveWindow(&w);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
        Idle(); // the start-up after the first show
        return w;
    }
    void key(QWidget* where, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        where->setFocus();
        QTest::keyClick(where, Qt::Key(key), modifiers);
        Idle();
    }
};

TEST_F(WindowUse, KeysOfLinuxFileManagersMoveThroughFoldersAndIntoTheAddress) {
    TFormKelvane& w = shown();
    showFolder(site);
    showFolder(at("B"));
    showFolder(at("B/inner"));
    QTreeView* list = w.fileList();

    key(list, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(w.CurrentFolder(), at("B"));
    key(list, Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(w.CurrentFolder(), at("B/inner"));
    key(list, Qt::Key_Backspace);
    EXPECT_EQ(w.CurrentFolder(), at("B"));
    key(w.folderTree(), Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(w.CurrentFolder(), at("B/inner"));

    // Ctrl+L, Alt+D and F6 put the focus into the address field with all its text selected.
    QLineEdit* field = w.addressBox()->lineEdit();
    for (const QKeyCombination& focus :
         {QKeyCombination(Qt::CTRL, Qt::Key_L), QKeyCombination(Qt::ALT, Qt::Key_D),
          QKeyCombination(Qt::Key_F6)}) {
        key(list, focus.key(), focus.keyboardModifiers());
        EXPECT_TRUE(field->hasFocus());
        EXPECT_EQ(field->selectedText(), at("B/inner"));
    }
    // Backspace in a text field edits the text; it does not go Back.
    key(field, Qt::Key_End);
    key(field, Qt::Key_Backspace);
    EXPECT_EQ(w.CurrentFolder(), at("B/inner"));
    EXPECT_EQ(field->text(), at("B/inne"));

    // F5 reads the folder again: a file made meanwhile is listed.
    showFolder(site);
    WriteAll(at("fresh.html"), "<p>x");
    key(list, Qt::Key_F5);
    waitLoaded();
    EXPECT_TRUE(item("fresh.html").isValid());
}

TEST_F(WindowUse, OneEnterGoesToTheTypedFolderWhileSuggestionsShow) {
    TFormKelvane& w = shown();
    QLineEdit* field = w.addressBox()->lineEdit();
    QAbstractItemView* suggestions = w.addressBar()->findChild<QCompleter*>()->popup();
    auto typeAfterCtrlL = [&](const QString& text) {
        key(w.fileList(), Qt::Key_L, Qt::ControlModifier);
        QTest::keyClicks(field, text);
        ASSERT_TRUE(QTest::qWaitFor([&] { return suggestions->isVisible(); }));
    };

    // The typed text, not the first suggestion ("B/" of the site), is where Enter goes.
    typeAfterCtrlL(at("B"));
    QTest::keyClick(suggestions, Qt::Key_Return);
    EXPECT_EQ(w.CurrentFolder(), at("B"));
    EXPECT_FALSE(suggestions->isVisible());

    // A suggestion chosen with Down is what the field shows, and where Enter goes.
    typeAfterCtrlL(at("B/in"));
    QTest::keyClick(suggestions, Qt::Key_Down);
    EXPECT_EQ(field->text(), at("B/inner/"));
    QTest::keyClick(suggestions, Qt::Key_Enter);
    EXPECT_EQ(w.CurrentFolder(), at("B/inner"));
}

TEST_F(WindowUse, ListSaysWhatItCannotShowFitsItsColumnsAndTellsWhenNothingOpensAFile) {
    TFormKelvane& w = shown();
    w.resize(900, 600);
    showFolder(site);
    auto* note = w.findChild<QLabel*>(QStringLiteral("lblListNote"));
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->isHidden());

    // Name takes the width the others leave, and they are as wide as what they show.
    QHeaderView* header = w.fileList()->header();
    int widths = 0;
    for (int column = 0; column < header->count(); ++column)
        widths += header->sectionSize(column);
    EXPECT_EQ(widths, w.fileList()->viewport()->width());
    const QFontMetrics metrics = w.fileList()->fontMetrics();
    const QString type =
        item("page.html").siblingAtColumn(FileListModel::ColType).data().toString();
    EXPECT_GT(header->sectionSize(FileListModel::ColType), metrics.horizontalAdvance(type));
    const int name = header->sectionSize(FileListModel::ColName);
    w.resize(1100, 600);
    Idle();
    EXPECT_EQ(header->sectionSize(FileListModel::ColName), name + 200);

    // A folder that cannot be read says so instead of showing an empty list.
    w.fileListModel()->SetFolder(at("gone"));
    waitLoaded();
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(note->text().startsWith(QStringLiteral("This folder cannot be read: ")))
        << note->text().toStdString();
    w.fileListModel()->SetFolder(site);
    waitLoaded();
    EXPECT_TRUE(note->isHidden());

    // A desktop that opens nothing is said once for the whole command.
    MainWindowOpeners none;
    w.setOpeners(none);
    select({"page.html", "other.htm"});
    Idle();
    w.actViewWebPage->trigger();
    ASSERT_EQ(prompts.asked.size(), 1);
    EXPECT_TRUE(prompts.asked.first().text.startsWith(
        QStringLiteral("Kelvane found no program to open \"") + at("other.htm") + "\"."));
    EXPECT_TRUE(prompts.asked.first().text.contains(QStringLiteral("Nor for 1 other files.")));
    w.actEditHTML->trigger();
    EXPECT_EQ(prompts.asked.size(), 2);

    // A selection of hundreds of files is looked at off the interface thread; the actions
    // follow once it has been.
    ASSERT_TRUE(QDir(site).mkpath(QStringLiteral("many")));
    for (int i = 0; i < 300; ++i)
        WriteAll(at("many/") + QStringLiteral("p%1.html").arg(i), "<p>x");
    showFolder(at("many"));
    w.fileList()->selectAll();
    ASSERT_EQ(w.SelectedPaths().size(), 300);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.actValidate->isEnabled(); }));
    EXPECT_TRUE(w.actTidy->isEnabled());
    EXPECT_FALSE(w.actRevert->isEnabled());
    EXPECT_TRUE(
        prompts.asked.last().text.startsWith(QStringLiteral("Kelvane found no program to edit")));
}

TEST_F(WindowUse, OpensLargeAndCentredFirstThenWhereItWasLeft) {
    QPoint corner;
    {
        TFormKelvane& w = shown();
        const QRect screen = w.screen()->availableGeometry();
        const QSize expected =
            (screen.size() * 3 / 4).expandedTo(QSize(641, 554)).boundedTo(screen.size());
        EXPECT_EQ(w.size(), expected);
        // Placed before the window manager adds its frame, whose size is known only later: under
        // a real one the window sits up to the frame's thickness off the middle.
        const QSize frame = w.frameGeometry().size() - w.geometry().size();
        EXPECT_LE((w.geometry().center() - screen.center()).manhattanLength(),
                  4 + frame.width() + frame.height());
        w.move(60, 50);
        Idle();
        corner = w.frameGeometry().topLeft();
        window.reset();
    }
    // Three starts later the frame is where it was left.
    for (int start = 0; start < 3; ++start) {
        TFormKelvane& w = shown();
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.StartupDone(); }));
        Idle();
        EXPECT_EQ(w.frameGeometry().topLeft(), corner) << start;
        window.reset();
    }
    const IniFile file(SettingsFilePath());
    EXPECT_EQ(file.ReadInteger(kMainWindowSection, QStringLiteral("Left"), -1), corner.x());
    EXPECT_EQ(file.ReadInteger(kMainWindowSection, QStringLiteral("Top"), -1), corner.y());
}

TEST_F(WindowUse, FolderTreeScrollsSidewaysOnlyAsFarAsTheRowsInSightNeed) {
    const QString deepest =
        at("deep/a rather long folder name/another quite long folder name/and the deepest one");
    ASSERT_TRUE(QDir().mkpath(deepest));
    TFormKelvane& w = shown();
    w.resize(641, 554);
    QTreeView* tree = w.folderTree();
    auto* model = static_cast<FolderTreeModel*>(tree->model());
    w.GoToFolder(deepest);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->Idle(); }));
    Idle();
    QScrollBar* sideways = tree->horizontalScrollBar();
    EXPECT_GT(sideways->value(), 0) << "the deep folder's name is brought into sight";
    EXPECT_TRUE(
        tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex()).topLeft()));

    // Scrolled up by the user, the top rows show where they begin (their expand signs too).
    tree->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    Idle();
    EXPECT_EQ(sideways->value(), 0);

    // An arrow of the sideways bar moves one level, and the view stays where it was put.
    sideways->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    Idle();
    EXPECT_EQ(sideways->value(), tree->indentation());
    WriteAll(at("deep/new file.html"), "x"); // the folder changes on disk meanwhile
    QTest::qWait(400);
    EXPECT_EQ(sideways->value(), tree->indentation());
}

} // namespace

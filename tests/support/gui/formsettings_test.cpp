// Copying a window's controls and placement to and from the settings stores.

#include "common/TestSupport.h"
#include "engine/OptionStorage.h"
#include "support/DefaultsSnapshot.h"
#include "support/Errors.h"
#include "support/IniFile.h"
#include "support/gui/FormSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

template <typename T> T* Named(QWidget* parent, const char* name) {
    auto* widget = new T(parent);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// A small preferences-like dialog: controls inside a group box, plus things to skip.
struct SampleForm {
    SampleForm() {
        window.setObjectName(QStringLiteral("FormSample"));
        auto* group = Named<QGroupBox>(&window, "gbFiles");
        filter = Named<QLineEdit>(group, "EditFileFilter");
        filter->setText(QStringLiteral("*.htm;*.html"));
        folders = Named<QCheckBox>(group, "CBFolders");
        folders->setChecked(true);
        encoding = Named<QComboBox>(&window, "CBEncoding");
        encoding->addItems(
            {QStringLiteral("ascii"), QStringLiteral("latin1"), QStringLiteral("raw")});
        encoding->setCurrentIndex(2);
        tabSize = Named<QComboBox>(&window, "CBTabSize");
        tabSize->setEditable(true);
        tabSize->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
        notes = Named<QPlainTextEdit>(&window, "MemoNotes");
        notes->setPlainText(QStringLiteral("first"));
        new QCheckBox(&window); // no name: not stored
        Named<QPushButton>(&window, "btOK");
        Named<QLabel>(&window, "lblTitle");
        Named<QSpinBox>(&window, "seCount");
        Named<QTextBrowser>(&window, "tbView");
        // A layout added afterwards must not change anything.
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(encoding);
        layout->addWidget(group);
    }

    QDialog window;
    QLineEdit* filter;
    QCheckBox* folders;
    QComboBox* encoding;
    QComboBox* tabSize;
    QPlainTextEdit* notes;
};

TEST(FormControlsTest, ControlsAreWrittenInCreationOrderWithTheirEncodings) {
    SampleForm form;
    DefaultsSnapshot store;
    SaveFormControls(&form.window, store);
    EXPECT_EQ(store.ReadSections(), QStringList{QStringLiteral("FormSample")});
    EXPECT_EQ(
        store.ReadSection(QStringLiteral("FormSample")),
        (QStringList{QStringLiteral("EditFileFilter.Text"), QStringLiteral("CBFolders.Checked"),
                     QStringLiteral("CBEncoding.ItemIndex"), QStringLiteral("CBEncoding.Text"),
                     QStringLiteral("CBTabSize.ItemIndex"), QStringLiteral("CBTabSize.Text"),
                     QStringLiteral("MemoNotes.Text")}));
    auto read = [&](const char* key) {
        return store.ReadString(QStringLiteral("FormSample"), QLatin1String(key),
                                QStringLiteral("?"));
    };
    EXPECT_EQ(read("EditFileFilter.Text"), QStringLiteral("*.htm;*.html"));
    EXPECT_EQ(read("CBFolders.Checked"), QStringLiteral("1"));
    EXPECT_EQ(read("CBEncoding.ItemIndex"), QStringLiteral("2"));
    EXPECT_EQ(read("CBEncoding.Text"), QStringLiteral("raw"));
    EXPECT_EQ(read("CBTabSize.ItemIndex"), QStringLiteral("0"));
}

TEST(FormControlsTest, RoundTripThroughTheFileRestoresEveryControl) {
    QTemporaryDir dir;
    IniFile file(dir.filePath(QStringLiteral("Settings.ini")));
    {
        SampleForm form;
        form.filter->setText(QStringLiteral("*.php"));
        form.folders->setChecked(false);
        form.encoding->setCurrentIndex(0);
        form.tabSize->setCurrentIndex(-1);
        form.tabSize->setEditText(QStringLiteral("12"));
        form.notes->setPlainText(QStringLiteral("note"));
        SaveFormControls(&form.window, file);
    }
    SampleForm form;
    QSignalSpy toggled(form.folders, &QCheckBox::toggled);
    LoadFormControls(&form.window, file);
    EXPECT_EQ(form.filter->text(), QStringLiteral("*.php"));
    EXPECT_FALSE(form.folders->isChecked());
    EXPECT_EQ(toggled.count(), 1); // dependent controls follow as after a click
    EXPECT_EQ(form.encoding->currentIndex(), 0);
    EXPECT_EQ(form.tabSize->currentIndex(), -1);
    EXPECT_EQ(form.tabSize->currentText(), QStringLiteral("12"));
    EXPECT_EQ(form.notes->toPlainText(), QStringLiteral("note"));
}

TEST(FormControlsTest, MissingOrBadValuesLeaveControlsAndTheIndexDecides) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Settings.ini"));
    WriteAll(path, "[formsample]\n"
                   "CBFolders.Checked=maybe\n"
                   "CBEncoding.ItemIndex=1\n"
                   "CBEncoding.Text=ascii\n"
                   "CBTabSize.ItemIndex=2\n"
                   "CBTabSize.Text=7\n");
    SampleForm form;
    LoadFormControls(&form.window, IniFile(path));
    EXPECT_EQ(form.filter->text(), QStringLiteral("*.htm;*.html"));
    EXPECT_TRUE(form.folders->isChecked());
    EXPECT_EQ(form.encoding->currentIndex(), 1);
    EXPECT_EQ(form.encoding->currentText(), QStringLiteral("latin1"));
    EXPECT_EQ(form.tabSize->currentIndex(), 2);
    EXPECT_EQ(form.tabSize->currentText(), QStringLiteral("3"));

    // An index outside the list selects nothing.
    WriteAll(path, "[FormSample]\nCBEncoding.ItemIndex=9\n");
    LoadFormControls(&form.window, IniFile(path));
    EXPECT_EQ(form.encoding->currentIndex(), -1);
}

TEST(FormControlsTest, DefaultsSnapshotRestoresDesignValues) {
    SampleForm form;
    DefaultsSnapshot defaults;
    SaveFormControls(&form.window, defaults);
    form.filter->setText(QStringLiteral("changed"));
    form.folders->setChecked(false);
    form.encoding->setCurrentIndex(0);
    LoadFormControls(&form.window, defaults);
    EXPECT_EQ(form.filter->text(), QStringLiteral("*.htm;*.html"));
    EXPECT_TRUE(form.folders->isChecked());
    EXPECT_EQ(form.encoding->currentIndex(), 2);
}

TEST(FormControlsTest, ARefusedWriteEndsTheSave) {
    QTemporaryDir dir;
    WriteAll(dir.filePath(QStringLiteral("plain")), "x");
    IniFile file(dir.filePath(QStringLiteral("plain/Settings.ini")));
    SampleForm form;
    EXPECT_THROW(SaveFormControls(&form.window, file), KelvaneError);
}

// The options dialog binds its controls to the option record; stored through either path, the
// file must come out the same.
TEST(FormControlsTest, OptionRecordIsStoredAsItsDialogControlsWouldBe) {
    QWidget window;
    window.setObjectName(kTidyOptionsSection);
    const TidyOptionSet defaults;
    for (const QString& key : TidyOptionKeys()) {
        const QString name = key.section(u'.', 0, 0);
        if (window.findChild<QWidget*>(name))
            continue;
        if (key.endsWith(QLatin1String(".Checked"))) {
            auto* box = new QCheckBox(&window);
            box->setObjectName(name);
            box->setChecked(name.startsWith(QLatin1String("cbUppercase")) ||
                            name == QLatin1String("CBDropEmptyParas") ||
                            name == QLatin1String("CBWord2000") ||
                            name == QLatin1String("CBBare") || name == QLatin1String("CBClean"));
        } else if (key.endsWith(QLatin1String(".ItemIndex"))) {
            auto* combo = new QComboBox(&window);
            combo->setObjectName(name);
            const bool tabs = name == QLatin1String("CBTabSize");
            combo->setEditable(tabs);
            combo->addItems(tabs ? kTabSizeItems : kTidyEncodingNames);
            combo->setCurrentIndex(tabs ? 0 : 2);
        } else {
            auto* edit = new QLineEdit(&window);
            edit->setObjectName(name);
            edit->setText(name == QLatin1String("EditWrapWidth") ? defaults.EditWrapWidth
                                                                 : defaults.EditAltText);
        }
    }
    QTemporaryDir dir;
    IniFile fromControls(dir.filePath(QStringLiteral("controls.ini")));
    IniFile fromRecord(dir.filePath(QStringLiteral("record.ini")));
    SaveFormControls(&window, fromControls);
    SaveOptionSet(defaults, fromRecord);
    EXPECT_EQ(ReadAll(fromControls.FileName()), ReadAll(fromRecord.FileName()));
}

class PlacementTest : public ::testing::Test {
protected:
    PlacementTest() : file(dir.filePath(QStringLiteral("Settings.ini"))) {
        window.setObjectName(QStringLiteral("FormKelvane"));
        window.setGeometry(100, 80, 500, 300);
    }
    QTemporaryDir dir;
    IniFile file;
    QWidget window;
};

TEST_F(PlacementTest, BoundsAndStateRoundTrip) {
    window.move(40, 30);
    window.resize(640, 480);
    SaveWindowPlacement(&window, file);
    EXPECT_EQ(file.ReadSection(QStringLiteral("FormKelvane")),
              (QStringList{QStringLiteral("Left"), QStringLiteral("Top"), QStringLiteral("Width"),
                           QStringLiteral("Height"), QStringLiteral("WindowState")}));
    EXPECT_EQ(file.ReadInteger(QStringLiteral("FormKelvane"), QStringLiteral("WindowState"), -1),
              0);

    QWidget other;
    other.setObjectName(QStringLiteral("FormKelvane"));
    LoadWindowPlacement(&other, file);
    EXPECT_EQ(other.pos(), QPoint(40, 30));
    EXPECT_EQ(other.size(), QSize(640, 480));
    EXPECT_FALSE(other.isMaximized());
}

TEST_F(PlacementTest, MaximisedStateStopsBeforeTheBounds) {
    WriteAll(file.FileName(), "[FormKelvane]\nLeft=1\nTop=2\nWidth=333\nHeight=222\n"
                              "WindowState=2\n");
    LoadWindowPlacement(&window, file);
    EXPECT_TRUE(window.windowState().testFlag(Qt::WindowMaximized));
    EXPECT_EQ(window.size(), QSize(500, 300));
    EXPECT_NE(window.pos(), QPoint(1, 2));

    window.setWindowState(Qt::WindowMaximized);
    SaveWindowPlacement(&window, file);
    EXPECT_EQ(file.ReadInteger(QStringLiteral("FormKelvane"), QStringLiteral("WindowState"), -1),
              2);
}

TEST_F(PlacementTest, ANonNumberLeavesThatBoundUnchanged) {
    WriteAll(file.FileName(), "[FormKelvane]\nLeft=15\nTop=25\nWidth=wide\nHeight=$100\n"
                              "WindowState=0\n");
    window.setWindowState(Qt::WindowMaximized);
    LoadWindowPlacement(&window, file);
    EXPECT_FALSE(window.isMaximized());
    EXPECT_EQ(window.pos(), QPoint(15, 25));
    EXPECT_EQ(window.height(), 256);
    EXPECT_EQ(window.width(), 500);
}

TEST_F(PlacementTest, NoSectionLeavesTheWindowAsItIs) {
    LoadWindowPlacement(&window, file);
    EXPECT_EQ(window.geometry(), QRect(100, 80, 500, 300));
    EXPECT_FALSE(QFile::exists(file.FileName()));
}

} // namespace

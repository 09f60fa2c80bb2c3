// Toolbar positions of a main window through the settings file.

#include "common/TestSupport.h"
#include "support/Errors.h"
#include "support/IniFile.h"
#include "support/gui/ToolbarSettings.h"

#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QToolBar>
#include <gtest/gtest.h>

namespace {

class ToolbarSettingsTest : public ::testing::Test {
protected:
    ToolbarSettingsTest() : path(dir.filePath(QStringLiteral("Settings.ini"))), file(path) {
        window.setObjectName(QStringLiteral("FormKelvane"));
        window.setCentralWidget(new QLabel(QStringLiteral("files")));
        mainMenu = Bar("tbMainMenu", {"File", "Edit"});
        tidy = Bar("tbTidyToolbar", {"Back", "Forward", "Tidy"});
        address = Bar("twAddressBar", {"Go"});
        window.addToolBar(Qt::TopToolBarArea, mainMenu);
        window.addToolBarBreak(Qt::TopToolBarArea);
        window.addToolBar(Qt::TopToolBarArea, tidy);
        window.addToolBar(Qt::TopToolBarArea, address);
        window.resize(900, 600);
        window.show();
        Settle();
    }

    QToolBar* Bar(const char* name, std::initializer_list<const char*> actions) {
        auto* bar = new QToolBar(&window);
        bar->setObjectName(QLatin1String(name));
        for (const char* text : actions)
            bar->addAction(QLatin1String(text));
        return bar;
    }

    void Settle() {
        window.layout()->activate();
        QApplication::processEvents();
    }

    void Save() { SaveToolbarPositions(&window, path, QStringLiteral("FormKelvane")); }
    void Load() {
        LoadToolbarPositions(&window, path, QStringLiteral("FormKelvane"));
        Settle();
    }
    QString Read(const QString& bar, const char* key) {
        return file.ReadString(QStringLiteral("FormKelvane") + bar, QLatin1String(key),
                               QStringLiteral("<none>"));
    }

    QTemporaryDir dir;
    QString path;
    IniFile file;
    QMainWindow window;
    QToolBar* mainMenu;
    QToolBar* tidy;
    QToolBar* address;
};

TEST_F(ToolbarSettingsTest, DockedBarsAreWrittenWithTheirRowsAndPositions) {
    Save();
    EXPECT_EQ(file.ReadSections(), (QStringList{QStringLiteral("FormKelvanetbMainMenu"),
                                                QStringLiteral("FormKelvanetbTidyToolbar"),
                                                QStringLiteral("FormKelvanetwAddressBar")}));
    EXPECT_EQ(
        file.ReadSection(QStringLiteral("FormKelvanetbTidyToolbar")),
        (QStringList{QStringLiteral("Rev"), QStringLiteral("Visible"), QStringLiteral("DockedTo"),
                     QStringLiteral("LastDock"), QStringLiteral("DockRow"),
                     QStringLiteral("DockPos"), QStringLiteral("FloatLeft"),
                     QStringLiteral("FloatTop"), QStringLiteral("FloatRightX")}));
    EXPECT_EQ(file.ReadSection(QStringLiteral("FormKelvanetwAddressBar")).mid(8),
              (QStringList{QStringLiteral("ClientWidth"), QStringLiteral("ClientHeight")}));
    EXPECT_EQ(Read(QStringLiteral("tbMainMenu"), "Rev"), QStringLiteral("2000"));
    EXPECT_EQ(Read(QStringLiteral("tbMainMenu"), "Visible"), QStringLiteral("1"));
    EXPECT_EQ(Read(QStringLiteral("tbMainMenu"), "DockedTo"), QStringLiteral("tbDockTop"));
    EXPECT_EQ(Read(QStringLiteral("tbMainMenu"), "LastDock"), QStringLiteral("tbDockTop"));
    EXPECT_EQ(Read(QStringLiteral("tbMainMenu"), "DockRow"), QStringLiteral("0"));
    EXPECT_EQ(Read(QStringLiteral("tbTidyToolbar"), "DockRow"), QStringLiteral("1"));
    EXPECT_EQ(Read(QStringLiteral("tbTidyToolbar"), "DockPos"), QStringLiteral("0"));
    EXPECT_EQ(Read(QStringLiteral("twAddressBar"), "DockRow"), QStringLiteral("1"));
    EXPECT_EQ(Read(QStringLiteral("twAddressBar"), "DockPos"), QStringLiteral("1"));
    EXPECT_EQ(Read(QStringLiteral("twAddressBar"), "ClientWidth"),
              QString::number(address->width()));
}

TEST_F(ToolbarSettingsTest, DockedLayoutRoundTrip) {
    // Bottom area, lines counted from the window edge: [tidy, mainMenu] then [address].
    window.addToolBar(Qt::BottomToolBarArea, tidy);
    window.addToolBar(Qt::BottomToolBarArea, mainMenu);
    window.addToolBarBreak(Qt::BottomToolBarArea);
    window.addToolBar(Qt::BottomToolBarArea, address);
    Settle();
    ASSERT_EQ(tidy->y(), mainMenu->y());
    ASSERT_LT(address->y(), tidy->y());
    Save();
    EXPECT_EQ(Read(QStringLiteral("tbTidyToolbar"), "DockedTo"), QStringLiteral("tbDockBottom"));
    EXPECT_EQ(Read(QStringLiteral("tbMainMenu"), "DockPos"), QStringLiteral("1"));
    EXPECT_EQ(Read(QStringLiteral("twAddressBar"), "DockRow"), QStringLiteral("1"));

    // Scatter them, then load.
    window.addToolBar(Qt::LeftToolBarArea, tidy);
    window.addToolBar(Qt::TopToolBarArea, address);
    window.addToolBar(Qt::RightToolBarArea, mainMenu);
    Settle();
    Load();
    for (QToolBar* bar : {tidy, mainMenu, address})
        EXPECT_EQ(window.toolBarArea(bar), Qt::BottomToolBarArea)
            << bar->objectName().toStdString();
    EXPECT_EQ(tidy->y(), mainMenu->y());
    EXPECT_LT(tidy->x(), mainMenu->x());
    EXPECT_LT(address->y(), tidy->y());
    EXPECT_TRUE(window.toolBarBreak(address));
}

TEST_F(ToolbarSettingsTest, FloatingBarRoundTrip) {
    WriteAll(path, "[FormKelvanetbTidyToolbar]\nRev=2000\nVisible=1\nDockedTo=+\n"
                   "LastDock=tbDockTop\nFloatLeft=210\nFloatTop=160\nFloatRightX=333\n");
    Load();
    ASSERT_TRUE(tidy->isFloating());
    EXPECT_TRUE(tidy->isVisible());
    EXPECT_EQ(tidy->pos(), QPoint(210, 160));
    EXPECT_EQ(tidy->width(), 333);

    QFile::remove(path);
    Save();
    EXPECT_EQ(Read(QStringLiteral("tbTidyToolbar"), "DockedTo"), QStringLiteral("+"));
    EXPECT_EQ(Read(QStringLiteral("tbTidyToolbar"), "LastDock"), QStringLiteral("tbDockTop"));
    EXPECT_EQ(Read(QStringLiteral("tbTidyToolbar"), "FloatLeft"), QStringLiteral("210"));
    EXPECT_EQ(Read(QStringLiteral("tbTidyToolbar"), "FloatTop"), QStringLiteral("160"));
    EXPECT_EQ(Read(QStringLiteral("tbTidyToolbar"), "FloatRightX"), QStringLiteral("333"));

    // Docking it again by the file.
    file.WriteString(QStringLiteral("FormKelvanetbTidyToolbar"), QStringLiteral("DockedTo"),
                     QStringLiteral("tbDockLeft"));
    Load();
    EXPECT_FALSE(tidy->isFloating());
    EXPECT_EQ(window.toolBarArea(tidy), Qt::LeftToolBarArea);
    EXPECT_TRUE(tidy->isVisible());
}

TEST_F(ToolbarSettingsTest, FloatingAddressBarKeepsItsClientSize) {
    WriteAll(path, "[FormKelvanetwAddressBar]\nRev=2000\nVisible=1\nDockedTo=+\n"
                   "FloatLeft=5\nFloatTop=6\nClientWidth=420\nClientHeight=44\n");
    Load();
    ASSERT_TRUE(address->isFloating());
    EXPECT_EQ(address->size(), QSize(420, 44));
}

TEST_F(ToolbarSettingsTest, HiddenBarsStayHidden) {
    mainMenu->hide();
    Save();
    EXPECT_EQ(Read(QStringLiteral("tbMainMenu"), "Visible"), QStringLiteral("0"));
    EXPECT_EQ(Read(QStringLiteral("tbMainMenu"), "DockedTo"), QStringLiteral("tbDockTop"));
    mainMenu->show();
    Load();
    EXPECT_TRUE(mainMenu->isHidden());
    EXPECT_EQ(window.toolBarArea(mainMenu), Qt::TopToolBarArea);
    EXPECT_FALSE(tidy->isHidden());
}

TEST_F(ToolbarSettingsTest, ASectionOfAnotherRevisionLeavesTheBarAlone) {
    WriteAll(path, "[FormKelvanetbTidyToolbar]\nRev=1999\nVisible=0\nDockedTo=tbDockBottom\n"
                   "[FormKelvanetbMainMenu]\nVisible=0\nDockedTo=tbDockBottom\n");
    Load();
    for (QToolBar* bar : {tidy, mainMenu}) {
        EXPECT_FALSE(bar->isHidden());
        EXPECT_EQ(window.toolBarArea(bar), Qt::TopToolBarArea);
    }
}

TEST_F(ToolbarSettingsTest, UnknownDocksAndForbiddenAreasOnlySetVisibility) {
    tidy->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
    address->setMovable(false);
    WriteAll(path, "[FormKelvanetbTidyToolbar]\nRev=2000\nVisible=1\nDockedTo=tbDockLeft\n"
                   "[FormKelvanetwAddressBar]\nRev=$7D0\nVisible=0\nDockedTo=tbDockBottom\n"
                   "[FormKelvanetbMainMenu]\nRev=2000\nDockedTo=tbDockNowhere\n");
    Load();
    EXPECT_EQ(window.toolBarArea(tidy), Qt::TopToolBarArea);
    EXPECT_EQ(window.toolBarArea(address), Qt::TopToolBarArea);
    EXPECT_TRUE(address->isHidden());
    EXPECT_EQ(window.toolBarArea(mainMenu), Qt::TopToolBarArea);

    // A bar that cannot be dragged has no dock to name.
    QFile::remove(path);
    Save();
    EXPECT_EQ(Read(QStringLiteral("twAddressBar"), "DockedTo"), QString());
    EXPECT_EQ(Read(QStringLiteral("twAddressBar"), "LastDock"), QStringLiteral("tbDockTop"));
}

TEST_F(ToolbarSettingsTest, ABarWithoutANameCannotBeSavedAndNothingIsWritten) {
    tidy->setObjectName(QString());
    try {
        Save();
        FAIL() << "saved without a name";
    } catch (const KelvaneError& error) {
        EXPECT_EQ(error.message(),
                  QStringLiteral(
                      "Cannot save dockable window's position because Name property is not set"));
    }
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(ToolbarSettingsTest, ABarInNoAreaIsNotWritten) {
    window.removeToolBar(tidy);
    Save();
    EXPECT_FALSE(file.ReadSections().contains(QStringLiteral("FormKelvanetbTidyToolbar")));
    EXPECT_TRUE(file.ReadSections().contains(QStringLiteral("FormKelvanetbMainMenu")));
}

TEST(DockNamesTest, EveryAreaHasANameAndBack) {
    for (Qt::ToolBarArea area :
         {Qt::TopToolBarArea, Qt::BottomToolBarArea, Qt::LeftToolBarArea, Qt::RightToolBarArea})
        EXPECT_EQ(DockArea(DockName(area)), area);
    EXPECT_EQ(DockName(Qt::TopToolBarArea), QStringLiteral("tbDockTop"));
    EXPECT_EQ(DockArea(QStringLiteral("+")), Qt::NoToolBarArea);
}

} // namespace

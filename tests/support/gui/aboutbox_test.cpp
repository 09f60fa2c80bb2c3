#include "common/TestSupport.h"
#include "support/Translation.h"
#include "support/gui/TFormAboutBox.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QLabel* Label(TFormAboutBox& box, const char* name) {
    return box.findChild<QLabel*>(QLatin1String(name));
}

TEST(AboutBox, ShowsNameVersionAndHomePage) {
    ClearTranslations();
    TFormAboutBox box;
    EXPECT_STREQ(box.metaObject()->className(), "TFormAboutBox");
    ASSERT_NE(Label(box, "ProductName"), nullptr);
    EXPECT_EQ(Label(box, "ProductName")->text(), QStringLiteral("Mondavik Kelvane"));
    EXPECT_EQ(Label(box, "Version")->text(), QStringLiteral("Version " KELVANE_VERSION));
    EXPECT_TRUE(Label(box, "lblHomePage")->text().contains(kMakerHomePage));
    EXPECT_NE(box.findChild<QPushButton*>(QStringLiteral("OKButton")), nullptr);
}

TEST(AboutBox, TheLinkGoesToTheHomePage) {
    TFormAboutBox box;
    QStringList opened;
    box.setLinkOpener([&](const QString& address) {
        opened << address;
        return true;
    });
    Q_EMIT Label(box, "lblHomePage")->linkActivated(kMakerHomePage);
    EXPECT_EQ(opened, QStringList{kMakerHomePage});
}

TEST(AboutBox, TranslatesItselfWhenBuilt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ClearTranslations();
    LoadLanguageText(dir.path(), "<//TFormAboutBox-\nE=About\nT=Info\nE=Version %1\nT=Fassung %1\n"
                                 "<//Application-\nE=Mondavik Kelvane\nT=Mondavik Putzer\n");
    {
        TFormAboutBox box;
        EXPECT_EQ(box.windowTitle(), QStringLiteral("Info"));
        EXPECT_EQ(Label(box, "Version")->text(), QStringLiteral("Fassung " KELVANE_VERSION));
        EXPECT_EQ(Label(box, "ProductName")->text(), QStringLiteral("Mondavik Putzer"));
    }
    ClearTranslations();
}

} // namespace

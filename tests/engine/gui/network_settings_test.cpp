#include "engine/gui/NetworkSettingsTool.h"

#include <QSet>
#include <gtest/gtest.h>

namespace {

// Pretends that exactly `installed` are on the PATH, under /usr/bin.
ExecutableFinder Installed(const QStringList& installed) {
    return [installed](const QString& program) {
        return installed.contains(program) ? QStringLiteral("/usr/bin/") + program : QString();
    };
}

TEST(NetworkSettingsCommand, NothingInstalledGivesNothing) {
    EXPECT_TRUE(NetworkSettingsCommand(QStringLiteral("GNOME"), Installed({})).isEmpty());
    EXPECT_TRUE(NetworkSettingsCommand(QString(), Installed({"firefox"})).isEmpty());
}

TEST(NetworkSettingsCommand, TheDesktopsOwnToolComesFirst) {
    const QStringList all = {"nm-connection-editor", "gnome-control-center", "systemsettings",
                             "cinnamon-settings"};
    EXPECT_EQ(NetworkSettingsCommand(QStringLiteral("KDE"), Installed(all)),
              QStringList({"/usr/bin/systemsettings", "kcm_proxy"}));
    EXPECT_EQ(NetworkSettingsCommand(QStringLiteral("ubuntu:GNOME"), Installed(all)),
              QStringList({"/usr/bin/gnome-control-center", "network"}));
    EXPECT_EQ(NetworkSettingsCommand(QStringLiteral("X-Cinnamon"), Installed(all)),
              QStringList({"/usr/bin/cinnamon-settings", "network"}));
}

TEST(NetworkSettingsCommand, AnotherDesktopsToolServesWhenItsOwnIsMissing) {
    EXPECT_EQ(NetworkSettingsCommand(QStringLiteral("XFCE"), Installed({"nm-connection-editor"})),
              QStringList{"/usr/bin/nm-connection-editor"});
    EXPECT_EQ(NetworkSettingsCommand(QStringLiteral("KDE"),
                                     Installed({"gnome-control-center", "systemsettings5"})),
              QStringList({"/usr/bin/systemsettings5", "proxy"}));
    EXPECT_EQ(NetworkSettingsCommand(QStringLiteral("LXQt"), Installed({"gnome-control-center"})),
              QStringList({"/usr/bin/gnome-control-center", "network"}));
}

} // namespace

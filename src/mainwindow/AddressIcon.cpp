#include "mainwindow/AddressIcon.h"

#include "platform/FileFunctions.h"

#include <QDir>
#include <QStandardPaths>
#include <QUrl>

namespace {

struct SpecialFolder {
    const char* name;
    int number;
};

const SpecialFolder kSpecialFolders[] = {
    {"DESKTOP", 0},
    {"CONTROL PANEL", 3},
    {"PRINTERS", 4},
    {"FAVORITES", 6},
    {"MY DOCUMENTS", 5},
    {"STARTUP", 7},
    {"RECYCLE BIN", 10},
    {"RECENT", 8},
    {"NETWORK NEIGHBORHOOD", 18},
    {"SENDTO", 9},
    {"MY COMPUTER", 17},
    {"STARTMENU", 11},
    {"PROGRAMS", 2},
    {"DESKTOP DIRECTORY", 16},
    {"NETHOOD", 19},
    {"FONTS", 20},
    {"TEMPLATES", 21},
    {"APPDATA", 26},
    {"PRINTHOOD", 27},
};

QString Location(QStandardPaths::StandardLocation location) {
    return QStandardPaths::writableLocation(location);
}

} // namespace

int SpecialFolderNumber(const QString& name) {
    const QString upper = name.toUpper();
    for (const SpecialFolder& folder : kSpecialFolders)
        if (upper == QLatin1String(folder.name))
            return folder.number;
    return kNoSpecialFolder;
}

QString SpecialFolderPath(int number) {
    QString path;
    switch (number) {
    case 0:  // desktop
    case 16: // desktop directory
        path = Location(QStandardPaths::DesktopLocation);
        break;
    case 2:  // programs
    case 11: // start menu
        path = Location(QStandardPaths::ApplicationsLocation);
        break;
    case 5:
        path = Location(QStandardPaths::DocumentsLocation);
        break;
    case 7:
        path = Location(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
        break;
    case 10:
        path = Location(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
        break;
    case 17: // my computer
        path = QStringLiteral("/");
        break;
    case 20:
        path = Location(QStandardPaths::FontsLocation);
        break;
    case 21:
        path = QDir::homePath() + QStringLiteral("/Templates");
        break;
    case 26:
        path = Location(QStandardPaths::GenericDataLocation);
        break;
    default: // control panel, printers, network places ...: nothing of the kind here
        break;
    }
    return platform::FolderExists(path) ? path : QString();
}

AddressIconChoice ChooseAddressIcon(const QString& text) {
    const int special = SpecialFolderNumber(text);
    if (special != kNoSpecialFolder && !SpecialFolderPath(special).isEmpty())
        return {AddressIconKind::SpecialFolder, special, {}};
    if (text.startsWith(QLatin1String("file://"), Qt::CaseInsensitive))
        return {AddressIconKind::File, kNoSpecialFolder, QUrl(text).path()};
    if (platform::FileExists(text))
        return {AddressIconKind::File, kNoSpecialFolder, text};
    if (platform::FolderExists(text))
        return {AddressIconKind::Folder, kNoSpecialFolder, {}};
    if (!text.isEmpty())
        return {AddressIconKind::WebPage, kNoSpecialFolder, {}};
    return {};
}

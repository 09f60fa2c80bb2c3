#include "platform/ProgramFiles.h"

#include "platform/FileFunctions.h"
#include "platform/InstallPaths.h" // generated: the folders this build installs into

#include <QDir>
#include <unistd.h>

namespace platform {

namespace {

const QString kHelperFolder = QString::fromUtf8(KELVANE_INSTALLED_HELPER_FOLDER);
const QString kDataFolder = QString::fromUtf8(KELVANE_INSTALLED_DATA_FOLDER);
const QString kEngineName = QStringLiteral("kelvane-engine");

// An installed folder: relative to the program's own folder, unless configured absolute.
QString Under(const QString& folder) {
    if (QDir::isAbsolutePath(folder))
        return QDir::cleanPath(folder);
    return QDir::cleanPath(ProgramFolder() + QLatin1Char('/') + folder);
}

} // namespace

QString HelperProgramPath(const QString& name) {
    const QString beside = ProgramFolder() + QLatin1Char('/') + name;
    if (FileExists(beside))
        return beside;
    const QString installed = Under(kHelperFolder) + QLatin1Char('/') + name;
    if (FileExists(installed))
        return installed;
    return beside;
}

bool IsInstalledProgram() {
    return !FileExists(ProgramFolder() + QLatin1Char('/') + kEngineName) &&
           FolderExists(Under(kHelperFolder)) && FolderExists(Under(kDataFolder));
}

bool IsPortableProgram() {
    const QString own = ProgramFolder();
    if (own.isEmpty() || IsInstalledProgram())
        return false;
    return GetAttributes(own + QStringLiteral("/portable")).has_value() &&
           ::access(EncodeFileName(own).constData(), W_OK) == 0;
}

QString LanguageFileFolder() {
    const QString own = ProgramFolder();
    if (GetAttributes(own + QStringLiteral("/lang.txt")).has_value() || !IsInstalledProgram())
        return own;
    return Under(kDataFolder);
}

} // namespace platform

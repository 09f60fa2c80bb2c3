#include "platform/ProgramFiles.h"

#include "platform/FileFunctions.h"

#include <QDir>

namespace platform {

namespace {

const QString kHelperFolder = QStringLiteral("/../libexec/kelvane");
const QString kDataFolder = QStringLiteral("/../share/kelvane");
const QString kEngineName = QStringLiteral("kelvane-engine");

QString Under(const QString& relative) {
    return QDir::cleanPath(ProgramFolder() + relative);
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

QString LanguageFileFolder() {
    const QString own = ProgramFolder();
    if (GetAttributes(own + QStringLiteral("/lang.txt")).has_value() || !IsInstalledProgram())
        return own;
    return Under(kDataFolder);
}

} // namespace platform

#include "platform/ProgramFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace platform {

namespace {

const QString kHelperFolder = QStringLiteral("/../libexec/kelvane");
const QString kDataFolder = QStringLiteral("/../share/kelvane");
const QString kEngineName = QStringLiteral("kelvane-engine");

QString Under(const QString& relative) {
    return QDir::cleanPath(ProgramFolder() + relative);
}

} // namespace

QString ProgramFolder() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

QString HelperProgramPath(const QString& name) {
    const QString beside = ProgramFolder() + QLatin1Char('/') + name;
    if (QFileInfo(beside).isFile())
        return beside;
    const QString installed = Under(kHelperFolder) + QLatin1Char('/') + name;
    if (QFileInfo(installed).isFile())
        return installed;
    return beside;
}

bool IsInstalledProgram() {
    return !QFileInfo(ProgramFolder() + QLatin1Char('/') + kEngineName).exists() &&
           QFileInfo(Under(kHelperFolder)).isDir() && QFileInfo(Under(kDataFolder)).isDir();
}

QString LanguageFileFolder() {
    const QString own = ProgramFolder();
    if (QFileInfo::exists(own + QStringLiteral("/lang.txt")) || !IsInstalledProgram())
        return own;
    return Under(kDataFolder);
}

} // namespace platform

#include "support/SettingsFile.h"

#include "platform/FileNames.h"
#include "platform/ProgramFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <memory>

namespace {

struct SharedSettings {
    QString explicitPath;
    std::unique_ptr<IniFile> file;
};

SharedSettings& Shared() {
    static SharedSettings shared;
    return shared;
}

} // namespace

QString DefaultSettingsFilePath() {
    // Runs with different homes (users, tests, containers) of one build tree must not share
    // one file; only a copy made portable on purpose keeps its settings beside itself.
    if (platform::IsPortableProgram())
        return platform::ProgramFolder() + QStringLiteral("/Settings.ini");
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/Mondavik/Kelvane");
    QDir().mkpath(folder);
    return folder + QStringLiteral("/Settings.ini");
}

QString SettingsFilePath() {
    SharedSettings& shared = Shared();
    if (!shared.explicitPath.isEmpty())
        return QFileInfo(shared.explicitPath).absoluteFilePath();
    return SettingsFile().FileName();
}

void SetSettingsFilePath(const QString& path) {
    SharedSettings& shared = Shared();
    shared.explicitPath = path;
    shared.file.reset();
}

IniFile& SettingsFile() {
    SharedSettings& shared = Shared();
    if (!shared.file)
        shared.file = std::make_unique<IniFile>(
            shared.explicitPath.isEmpty() ? DefaultSettingsFilePath() : shared.explicitPath);
    return *shared.file;
}

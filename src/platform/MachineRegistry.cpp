#include "platform/MachineRegistry.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>

namespace {

QString g_machineRegistryFile;

const QString kDefaultMachineRegistryFile = QStringLiteral("/etc/xdg/Mondavik/registry.ini");

// The stored name that matches `name` without regard to case; empty when none does.
QString MatchingName(const QStringList& names, const QString& name) {
    for (const QString& candidate : names) {
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return candidate;
    }
    return {};
}

} // namespace

QString MachineRegistryFile() {
    return g_machineRegistryFile.isEmpty() ? kDefaultMachineRegistryFile : g_machineRegistryFile;
}

void SetMachineRegistryFile(const QString& path) {
    g_machineRegistryFile = path;
}

std::optional<QString> MachineRegistryString(const QString& keyPath, const QString& valueName) {
    const QString file = MachineRegistryFile();
    // QSettings would quietly give an empty store for a missing file; say so plainly.
    if (!QFileInfo(file).isFile())
        return std::nullopt;
    QSettings settings(file, QSettings::IniFormat);
    for (const QString& part : keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        const QString group = MatchingName(settings.childGroups(), part);
        if (group.isEmpty())
            return std::nullopt;
        settings.beginGroup(group);
    }
    const QString key = MatchingName(settings.childKeys(), valueName);
    if (key.isEmpty())
        return std::nullopt;
    const QVariant value = settings.value(key);
    // An unquoted value with commas comes back as a list; the registry knows no lists.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

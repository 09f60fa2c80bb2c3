#include "platform/UserRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace {

QString g_registryFile;

// Names inside a key's group: its default value, and the marker that keeps an empty key.
const QString kDefaultValue = QStringLiteral("@");
const QString kKeyMarker = QStringLiteral(".exists");

// "\Software\Mondavik\X\" -> "Software/Mondavik/X" (the settings group). A slash inside a
// key name is escaped so that it cannot open another level.
QString GroupOf(const QString& keyPath) {
    QStringList parts;
    for (const QString& part : keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        QString escaped = part;
        escaped.replace(QLatin1Char('%'), QLatin1String("%25"));
        escaped.replace(QLatin1Char('/'), QLatin1String("%2F"));
        parts << escaped;
    }
    return parts.join(QLatin1Char('/'));
}

QString KeyPathOf(const QString& group) {
    QStringList parts;
    for (QString part : group.split(QLatin1Char('/'))) {
        part.replace(QLatin1String("%2F"), QLatin1String("/"));
        part.replace(QLatin1String("%25"), QLatin1String("%"));
        parts << part;
    }
    return parts.join(QLatin1Char('\\'));
}

// Opened per call, so that nothing is cached between operations.
struct Store {
    Store() : settings(UserRegistryFile(), QSettings::IniFormat) {}
    QSettings settings;

    bool groupExists(const QString& group) {
        settings.beginGroup(group);
        const bool exists = !settings.childKeys().isEmpty() || !settings.childGroups().isEmpty();
        settings.endGroup();
        return exists;
    }
    bool write(const QString& name, const QVariant& value) {
        if (!settings.isWritable())
            return false;
        const QString folder = QFileInfo(settings.fileName()).absolutePath();
        if (!QDir().mkpath(folder))
            return false;
        settings.setValue(name, value);
        settings.sync();
        return settings.status() == QSettings::NoError;
    }
};

} // namespace

QString UserRegistryFile() {
    if (!g_registryFile.isEmpty())
        return g_registryFile;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Mondavik/registry.ini");
}

void SetUserRegistryFile(const QString& path) {
    g_registryFile = path;
}

std::optional<RegistryKey> RegistryKey::Open(const QString& keyPath, bool create) {
    const QString group = GroupOf(keyPath);
    if (group.isEmpty())
        return std::nullopt;
    Store store;
    if (store.groupExists(group))
        return RegistryKey(group);
    if (!create || !store.write(group + QLatin1Char('/') + kKeyMarker, 1))
        return std::nullopt;
    return RegistryKey(group);
}

bool RegistryKey::Exists(const QString& keyPath) {
    const QString group = GroupOf(keyPath);
    if (group.isEmpty())
        return false;
    Store store;
    return store.groupExists(group);
}

bool RegistryKey::Delete(const QString& keyPath) {
    const QString group = GroupOf(keyPath);
    if (group.isEmpty())
        return false;
    Store store;
    if (!store.groupExists(group))
        return true;
    if (!store.settings.isWritable())
        return false;
    store.settings.remove(group);
    store.settings.sync();
    return store.settings.status() == QSettings::NoError && !store.groupExists(group);
}

std::optional<qint32> RegistryKey::DefaultInteger() const {
    Store store;
    const QVariant value = store.settings.value(m_group + QLatin1Char('/') + kDefaultValue);
    if (!value.isValid())
        return std::nullopt;
    bool ok = false;
    const qint32 number = value.toString().trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    return number;
}

bool RegistryKey::SetDefaultInteger(qint32 value) {
    Store store;
    return store.write(m_group + QLatin1Char('/') + kDefaultValue, value);
}

std::optional<QString> RegistryKey::StringValue(const QString& name) const {
    Store store;
    store.settings.beginGroup(m_group);
    for (const QString& key : store.settings.childKeys())
        if (key.compare(name, Qt::CaseInsensitive) == 0 && key != kDefaultValue &&
            key != kKeyMarker) {
            // An unquoted value with commas in a hand-edited store reads as a list.
            const QVariant value = store.settings.value(key);
            if (value.typeId() == QMetaType::QStringList)
                return value.toStringList().join(QLatin1Char(','));
            return value.toString();
        }
    return std::nullopt;
}

bool RegistryKey::SetStringValue(const QString& name, const QString& value) {
    if (name.isEmpty() || name == kDefaultValue || name == kKeyMarker ||
        name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return false;
    Store store;
    return store.write(m_group + QLatin1Char('/') + name, value);
}

QString RegistryKey::path() const {
    return KeyPathOf(m_group);
}

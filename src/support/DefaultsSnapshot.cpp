#include "support/DefaultsSnapshot.h"

void DefaultsSnapshot::WriteString(const QString& section, const QString& key,
                                   const QString& value) {
    const QString stored = OneLineValue(value);
    for (Section& existing : m_sections) {
        if (!SameProfileName(existing.name, section))
            continue;
        for (auto& pair : existing.values) {
            if (SameProfileName(pair.first, key)) {
                pair.second = stored;
                return;
            }
        }
        existing.values.append({key.trimmed(), stored});
        return;
    }
    m_sections.append({section.trimmed(), {{key.trimmed(), stored}}});
}

QStringList DefaultsSnapshot::ReadSection(const QString& section) const {
    for (const Section& existing : m_sections) {
        if (SameProfileName(existing.name, section)) {
            QStringList keys;
            for (const auto& pair : existing.values)
                keys.append(pair.first);
            return keys;
        }
    }
    return {};
}

QStringList DefaultsSnapshot::ReadSections() const {
    QStringList names;
    for (const Section& existing : m_sections)
        names.append(existing.name);
    return names;
}

std::optional<QString> DefaultsSnapshot::ReadRawValue(const QString& section,
                                                      const QString& key) const {
    for (const Section& existing : m_sections) {
        if (!SameProfileName(existing.name, section))
            continue;
        for (const auto& pair : existing.values)
            if (SameProfileName(pair.first, key))
                return pair.second;
        return std::nullopt;
    }
    return std::nullopt;
}

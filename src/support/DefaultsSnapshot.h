#pragma once
// An in-memory settings store, tied to no file. A dialog fills it once from its controls'
// design values and loads from it when its Defaults button is pressed. Reads follow the same
// rules as the settings file (names without regard to case, trimmed and unquoted values, the
// read length limit), so a value comes back from here exactly as it would from the file.

#include "support/SettingsStore.h"

#include <QList>
#include <QPair>

class DefaultsSnapshot : public SettingsStore {
public:
    void WriteString(const QString& section, const QString& key, const QString& value) override;
    QStringList ReadSection(const QString& section) const override;
    QStringList ReadSections() const override;
    void Clear() { m_sections.clear(); }

protected:
    std::optional<QString> ReadRawValue(const QString& section, const QString& key) const override;

private:
    struct Section {
        QString name;
        QList<QPair<QString, QString>> values;
    };
    QList<Section> m_sections;
};

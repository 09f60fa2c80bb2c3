#include "support/TranslationTable.h"

void TranslationTable::Insert(const QByteArray& section, const QByteArray& key,
                              const QByteArray& value) {
    m_sections[Fold(section)].insert(Fold(key), value);
}

const QByteArray* TranslationTable::Find(const QString& section, const QByteArray& key) const {
    const auto sectionIt = m_sections.constFind(section.toUpper());
    if (sectionIt == m_sections.constEnd())
        return nullptr;
    const auto keyIt = sectionIt->constFind(Fold(key));
    return keyIt == sectionIt->constEnd() ? nullptr : &keyIt.value();
}

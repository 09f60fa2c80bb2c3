#pragma once
// Translations by section and key, both compared without regard to letter case. Keys and
// values are kept in their escaped form, as written in the language file.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

class TranslationTable {
public:
    // A later entry for the same section and key replaces the earlier one.
    void Insert(const QByteArray& section, const QByteArray& key, const QByteArray& value);
    // The escaped translation, or nullptr when there is none.
    const QByteArray* Find(const QString& section, const QByteArray& key) const;
    bool IsEmpty() const { return m_sections.isEmpty(); }
    void Clear() { m_sections.clear(); }

private:
    static QString Fold(const QByteArray& utf8) { return QString::fromUtf8(utf8).toUpper(); }

    QHash<QString, QHash<QString, QByteArray>> m_sections;
};

// Reads language-file text (UTF-8 lines) into `table`. An entry whose translation cannot be
// unescaped is left out; the answer holds one text per such line ("line 12: Numeric constant
// too large.").
QStringList ParseLanguageText(const QByteArray& content, TranslationTable& table);

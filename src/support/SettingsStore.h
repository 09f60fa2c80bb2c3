#pragma once
// A store of named values grouped in sections, with the value encodings and read rules of the
// classic profile-file service. Implemented by the settings file (IniFile) and by the in-memory
// DefaultsSnapshot, so a window can save and load its controls with either.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The longest value a read gives back; longer stored values are cut.
inline constexpr int kMaxProfileValueLength = 2047;

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Text as stored, with blanks around it dropped, one pair of enclosing single or double
    // quotes removed and cut to kMaxProfileValueLength characters. Missing key: the default.
    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    // Line breaks inside `value` are stored as single spaces (a value is one line).
    virtual void WriteString(const QString& section, const QString& key, const QString& value) = 0;

    // Decimal, or hexadecimal with a leading "$" or "0x"; anything else reads as the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    void WriteInteger(const QString& section, const QString& key, int value);

    // Written "1" or "0"; read as an integer, any value but 0 meaning true.
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    void WriteBool(const QString& section, const QString& key, bool value);

    // Two upper-case hexadecimal digits per byte. Reading appends the decoded bytes to
    // `buffer` (decoding stops at the first pair that is not hexadecimal) and returns how many
    // were added; a missing key adds nothing.
    int ReadBinaryStream(const QString& section, const QString& key, QByteArray& buffer) const;
    void WriteBinaryStream(const QString& section, const QString& key, const QByteArray& data);

    bool ValueExists(const QString& section, const QString& key) const;
    // Key names of a section in stored order (each once); empty for a missing section.
    virtual QStringList ReadSection(const QString& section) const = 0;
    // Section names in stored order (each once).
    virtual QStringList ReadSections() const = 0;

protected:
    // The raw stored text of the first matching key (names compared without regard to case).
    virtual std::optional<QString> ReadRawValue(const QString& section,
                                                const QString& key) const = 0;
};

// The read rules on their own: trim, strip one pair of quotes, cut.
QString ProfileValue(const QString& stored);
// The integer encoding on its own; nullopt for text that is no integer.
std::optional<int> ParseProfileInteger(const QString& text);
// Line breaks (CR LF, CR or LF) replaced by single spaces.
QString OneLineValue(const QString& value);
// Names compare without regard to case and to blanks around them.
bool SameProfileName(const QString& a, const QString& b);

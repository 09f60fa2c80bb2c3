#include "support/SettingsStore.h"
#include "support/HexDigits.h"

#include <QRegularExpression>

namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

} // namespace

QString ProfileValue(const QString& stored) {
    qsizetype begin = 0;
    qsizetype end = stored.size();
    while (begin < end && IsBlank(stored.at(begin)))
        ++begin;
    while (end > begin && IsBlank(stored.at(end - 1)))
        --end;
    if (end - begin >= 2) {
        const QChar first = stored.at(begin);
        if ((first == u'"' || first == u'\'') && stored.at(end - 1) == first) {
            ++begin;
            --end;
        }
    }
    qsizetype length = std::min<qsizetype>(end - begin, kMaxProfileValueLength);
    // Never leave half of a surrogate pair at the cut.
    if (length > 0 && length < end - begin && stored.at(begin + length - 1).isHighSurrogate())
        --length;
    return stored.mid(begin, length);
}

std::optional<int> ParseProfileInteger(const QString& text) {
    QString digits = text.trimmed();
    bool negative = false;
    if (digits.startsWith(u'-') || digits.startsWith(u'+')) {
        negative = digits.startsWith(u'-');
        digits.remove(0, 1);
    }
    bool hex = false;
    if (digits.startsWith(u'$')) {
        hex = true;
        digits.remove(0, 1);
    } else if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        hex = true;
        digits.remove(0, 2);
    }
    if (digits.isEmpty())
        return std::nullopt;
    for (QChar c : digits) {
        const bool ok = hex ? (c.isDigit() || (c.toLower() >= u'a' && c.toLower() <= u'f'))
                            : (c >= u'0' && c <= u'9');
        if (!ok || c.unicode() > 127)
            return std::nullopt;
    }
    bool ok = false;
    if (hex) {
        // Up to eight digits, read as a 32-bit pattern as the classic service does ($FFFFFFFF
        // is -1).
        const qulonglong bits = digits.toULongLong(&ok, 16);
        if (!ok || bits > 0xFFFFFFFFull)
            return std::nullopt;
        // A sign applies to the 32-bit pattern with wrap-around, computed in a wider type:
        // "-$80000000" is the smallest int, "-$FFFFFFFF" is 1.
        const qint64 signedBits = negative ? -qint64(bits) : qint64(bits);
        return static_cast<int>(static_cast<quint32>(signedBits));
    }
    const qlonglong value = digits.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    const qlonglong signedValue = negative ? -value : value;
    if (signedValue < std::numeric_limits<int>::min() ||
        signedValue > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(signedValue);
}

QString OneLineValue(const QString& value) {
    if (!value.contains(u'\n') && !value.contains(u'\r'))
        return value;
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QString result = value;
    result.replace(lineBreak, QStringLiteral(" "));
    return result;
}

bool SameProfileName(const QString& a, const QString& b) {
    return QString::compare(a.trimmed(), b.trimmed(), Qt::CaseInsensitive) == 0;
}

QString SettingsStore::ReadString(const QString& section, const QString& key,
                                  const QString& defaultValue) const {
    const std::optional<QString> raw = ReadRawValue(section, key);
    return raw ? ProfileValue(*raw) : defaultValue;
}

int SettingsStore::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    const std::optional<QString> raw = ReadRawValue(section, key);
    if (!raw)
        return defaultValue;
    return ParseProfileInteger(ProfileValue(*raw)).value_or(defaultValue);
}

void SettingsStore::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

bool SettingsStore::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void SettingsStore::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

int SettingsStore::ReadBinaryStream(const QString& section, const QString& key,
                                    QByteArray& buffer) const {
    const std::optional<QString> raw = ReadRawValue(section, key);
    if (!raw)
        return 0;
    const QByteArray text = ProfileValue(*raw).toLatin1();
    int added = 0;
    for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
        const int high = HexDigitValue(text.at(i));
        const int low = HexDigitValue(text.at(i + 1));
        if (high < 0 || low < 0)
            break;
        buffer.append(static_cast<char>(high * 16 + low));
        ++added;
    }
    return added;
}

void SettingsStore::WriteBinaryStream(const QString& section, const QString& key,
                                      const QByteArray& data) {
    WriteString(section, key, QString::fromLatin1(data.toHex().toUpper()));
}

bool SettingsStore::ValueExists(const QString& section, const QString& key) const {
    return ReadRawValue(section, key).has_value();
}

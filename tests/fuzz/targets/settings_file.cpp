// The settings file: every key a section lists reads back, and writing one value changes that
// value only, whatever else the file holds.
#include "FuzzTarget.h"

#include "support/Errors.h"
#include "support/IniFile.h"

namespace {

struct Entry {
    QString section;
    QString key;
    QString value;
};

const QString kAbsent = QStringLiteral("\x01absent");

QList<Entry> ReadEverything(const IniFile& file) {
    QList<Entry> entries;
    for (const QString& section : file.ReadSections()) {
        for (const QString& key : file.ReadSection(section)) {
            const QString value = file.ReadString(section, key, kAbsent);
            FUZZ_CHECK(value != kAbsent,
                       QStringLiteral("listed key [%1] %2 is missing").arg(section, key));
            // The typed reads of the same value must not trip over it either.
            file.ReadInteger(section, key, 0);
            file.ReadBool(section, key, false);
            QByteArray binary;
            file.ReadBinaryStream(section, key, binary);
            entries.append({section, key, value});
        }
    }
    return entries;
}

// Writes one value and checks that it, and nothing else, changed.
void WriteAndCompare(IniFile& file, const QList<Entry>& before, const QString& section,
                     const QString& key, const QString& value) {
    try {
        file.WriteString(section, key, value);
    } catch (const KelvaneError&) {
        return; // names the file cannot hold (a line break in a name read from it)
    }
    FUZZ_CHECK(file.ReadString(section, key, kAbsent) == value,
               QStringLiteral("[%1] %2 does not read back as written").arg(section, key));
    for (const Entry& entry : before) {
        if (SameProfileName(entry.section, section) && SameProfileName(entry.key, key))
            continue;
        FUZZ_CHECK(file.ReadString(entry.section, entry.key, kAbsent) == entry.value,
                   QStringLiteral("writing [%1] %2 changed [%3] %4")
                       .arg(section, key, entry.section, entry.key));
    }
}

} // namespace

KELVANE_FUZZ_TARGET(settings_file) {
    IniFile file(WriteScratchFile(QStringLiteral("Settings.ini"), data));
    const QList<Entry> before = ReadEverything(file);
    WriteAndCompare(file, before, QStringLiteral("FormKelvaneOptions"),
                    QStringLiteral("EditFileFilter.Text"), QStringLiteral("*.htm;*.html"));
    if (!before.isEmpty()) {
        const QList<Entry> now = ReadEverything(file);
        WriteAndCompare(file, now, before.first().section, before.first().key,
                        QStringLiteral("changed value"));
    }
}

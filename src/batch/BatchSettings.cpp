#include "batch/BatchSettings.h"

#include "batch/BatchArguments.h"
#include "engine/OptionStorage.h"
#include "engine/TidyOptionMapping.h"
#include "platform/FileNames.h"
#include "platform/FileReading.h"
#include "support/IniFile.h"
#include "support/Preferences.h"
#include "support/SettingsFile.h"

#include <algorithm>

namespace {

constexpr qint64 kMaxOptionsFile = 16 * 1024 * 1024;

[[noreturn]] void Refuse(const QString& file, const QString& reason) {
    throw UsageError(QStringLiteral("%1: %2").arg(platform::DisplayFileName(file), reason));
}

// A hand-written option set is checked key by key before it is used: the window's lenient
// reading would quietly keep the defaults for a misspelt key or a value like "yes".
void CheckOptionsFile(const QString& path, const IniFile& file) {
    QByteArray bytes;
    QString error;
    switch (platform::ReadRegularFile(path, bytes, kMaxOptionsFile, &error)) {
    case platform::ReadResult::Read:
        break;
    case platform::ReadResult::NotRegularFile:
        Refuse(path, QStringLiteral("not a settings file"));
    case platform::ReadResult::TooLarge:
        Refuse(path, QStringLiteral("too large to be a settings file"));
    default:
        Refuse(path, error.isEmpty() ? QStringLiteral("cannot be read") : error);
    }
    bool hasSection = false;
    for (const QString& section : file.ReadSections())
        hasSection = hasSection || SameProfileName(section, kTidyOptionsSection);
    if (!hasSection)
        Refuse(path, QStringLiteral("has no [%1] section").arg(kTidyOptionsSection));

    const QStringList known = TidyOptionKeys();
    for (const QString& key : file.ReadSection(kTidyOptionsSection)) {
        const auto same = [&](const QString& name) { return SameProfileName(name, key); };
        if (std::none_of(known.begin(), known.end(), same))
            Refuse(path, QStringLiteral("unknown key '%1' in [%2]").arg(key, kTidyOptionsSection));
        const bool numeric =
            key.trimmed().endsWith(QLatin1String(".Checked"), Qt::CaseInsensitive) ||
            key.trimmed().endsWith(QLatin1String(".ItemIndex"), Qt::CaseInsensitive);
        const QString value = file.ReadString(kTidyOptionsSection, key, QString());
        if (numeric && !ParseProfileInteger(value))
            Refuse(path, QStringLiteral("%1 wants a number, not '%2'").arg(key.trimmed(), value));
    }
}

} // namespace

void LoadBatchTidyOptions(const std::optional<QString>& optionsFile) {
    TidyOptionSet& options = CurrentOptionSet();
    const QString path = optionsFile ? *optionsFile : SettingsFilePath();
    if (optionsFile) {
        const IniFile file(*optionsFile);
        CheckOptionsFile(*optionsFile, file);
        LoadOptionSet(options, file);
    } else {
        LoadOptionSet(options, SettingsFile());
    }
    try {
        ResolveOptions(options);
    } catch (const KelvaneError& error) {
        Refuse(path, QStringLiteral("the tidy options cannot be used: ") + error.message());
    }
}

QString StoredFileFilter() {
    return SettingsFile().ReadString(QStringLiteral("FormKelvaneOptions"),
                                     QStringLiteral("EditFileFilter.Text"), kDefaultFileFilter);
}

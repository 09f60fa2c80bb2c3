#include "batch/BatchSettings.h"

#include "batch/ProjectOptions.h"
#include "engine/OptionStorage.h"
#include "engine/TidyConfigImport.h"
#include "engine/TidyMessageKeys.h"
#include "engine/TidyOptionMapping.h"
#include "platform/FileNames.h"
#include "platform/FileReading.h"
#include "support/DefaultsSnapshot.h"
#include "support/IniFile.h"
#include "support/Preferences.h"
#include "support/SettingsFile.h"

#include <algorithm>

namespace {

constexpr qint64 kMaxOptionsFile = 16 * 1024 * 1024;
const QString kPreferencesSection = QStringLiteral("FormKelvaneOptions");
const QString kFilterKey = QStringLiteral("EditFileFilter.Text");

[[noreturn]] void Refuse(const QString& file, const QString& reason) {
    throw UsageError(QStringLiteral("%1: %2").arg(platform::DisplayFileName(file), reason));
}

QByteArray ReadOptionsFile(const QString& path, const char* what) {
    QByteArray bytes;
    QString error;
    switch (platform::ReadRegularFile(path, bytes, kMaxOptionsFile, &error)) {
    case platform::ReadResult::Read:
        return bytes;
    case platform::ReadResult::NotRegularFile:
        Refuse(path, QStringLiteral("not %1").arg(QLatin1String(what)));
    case platform::ReadResult::TooLarge:
        Refuse(path, QStringLiteral("too large to be %1").arg(QLatin1String(what)));
    default:
        Refuse(path, error.isEmpty() ? QStringLiteral("cannot be read") : error);
    }
}

// A hand-written option set is checked key by key before it is used: the window's lenient
// reading would quietly keep the defaults for a misspelt key or a value like "yes".
void CheckOptionsFile(const QString& path, const IniFile& file) {
    ReadOptionsFile(path, "a settings file");
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

void CheckUsable(const QString& path) {
    try {
        ResolveOptions(CurrentOptionSet());
    } catch (const KelvaneError& error) {
        Refuse(path, QStringLiteral("the tidy options cannot be used: ") + error.message());
    }
}

// The masks an options file gives, the way the window stores its filter.
std::optional<QString> FileFilterOf(const QString& path) {
    const IniFile file(path);
    const QStringList keys = file.ReadSection(kPreferencesSection);
    const bool given = std::any_of(keys.begin(), keys.end(), [](const QString& key) {
        return SameProfileName(key, kFilterKey);
    });
    if (!given)
        return std::nullopt;
    return file.ReadString(kPreferencesSection, kFilterKey, QString());
}

// The one project of the paths named on the command line.
QString CommonProject(const BatchArguments& arguments) {
    ProjectOptionsFinder finder;
    const QStringList paths =
        arguments.paths.isEmpty() ? QStringList{QStringLiteral(".")} : arguments.paths;
    const QString first = finder.For(paths.first());
    for (const QString& path : paths) {
        const QString project = finder.For(path);
        if (project == first)
            continue;
        const auto shown = [](const QString& file) {
            return file.isEmpty() ? QStringLiteral("no project options file")
                                  : platform::DisplayFileName(file);
        };
        throw UsageError(QStringLiteral("the paths lie in different projects: %1 takes %2, %3 "
                                        "takes %4; run kelvane-batch once for each project (or "
                                        "give --options)")
                             .arg(platform::DisplayFileName(paths.first()), shown(first),
                                  platform::DisplayFileName(path), shown(project)));
    }
    return first;
}

void AddMutes(const BatchArguments& arguments, const QString& source) {
    if (arguments.mute.isEmpty())
        return;
    TidyOptionSet& options = CurrentOptionSet();
    try {
        options.EditMute = JoinMuteList(
            ParseMuteList(options.EditMute + u',' + arguments.mute.join(QLatin1Char(','))));
    } catch (const KelvaneError& error) {
        throw UsageError(QStringLiteral("--mute: ") + error.message());
    }
    CheckUsable(source);
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
    CheckUsable(path);
}

BatchOptionsSource ChooseBatchOptions(const BatchArguments& arguments) {
    using Kind = BatchOptionsSource::Kind;
    BatchOptionsSource source;
    if (arguments.tidyConfig) {
        source.kind = Kind::TidyConfig;
        source.path = *arguments.tidyConfig;
        const QByteArray text = ReadOptionsFile(source.path, "a configuration file");
        TidyOptionSet options = TidyDefaultOptionSet();
        try {
            ImportTidyConfig(text, options);
        } catch (const KelvaneError& error) {
            Refuse(source.path, error.message());
        }
        CurrentOptionSet() = options;
        CheckUsable(source.path);
    } else if (arguments.optionsFile) {
        source.kind = Kind::OptionsFile;
        source.path = *arguments.optionsFile;
        LoadBatchTidyOptions(source.path);
        source.fileFilter = FileFilterOf(source.path);
    } else {
        source.sameProject = true;
        source.project = CommonProject(arguments);
        if (source.project.isEmpty()) {
            source.kind = Kind::UserSettings;
            source.path = SettingsFilePath();
            LoadBatchTidyOptions(std::nullopt);
        } else {
            source.kind = Kind::ProjectFile;
            source.path = source.project;
            LoadBatchTidyOptions(source.path);
            source.fileFilter = FileFilterOf(source.path);
        }
    }
    AddMutes(arguments, source.path);
    return source;
}

QString RunFileFilter(const BatchArguments& arguments, const BatchOptionsSource& source) {
    if (arguments.masks)
        return *arguments.masks;
    return source.fileFilter.value_or(StoredFileFilter());
}

QString PrintedOptions(const BatchOptionsSource& source, const QString& fileFilter) {
    using Kind = BatchOptionsSource::Kind;
    const char* what = "the Kelvane window's settings";
    switch (source.kind) {
    case Kind::UserSettings:
        break;
    case Kind::OptionsFile:
        what = "the --options file";
        break;
    case Kind::ProjectFile:
        what = "the project options file";
        break;
    case Kind::TidyConfig:
        what = "HTML Tidy's configuration file";
        break;
    }
    QString text = QStringLiteral("# options: %1 (%2)\n")
                       .arg(platform::DisplayFileName(source.path), QLatin1String(what));
    DefaultsSnapshot values;
    SaveOptionSet(CurrentOptionSet(), values);
    text += u'[' + kTidyOptionsSection + QStringLiteral("]\n");
    for (const QString& key : TidyOptionKeys())
        text += key + u'=' + values.ReadString(kTidyOptionsSection, key, QString()) + u'\n';
    text +=
        u'[' + kPreferencesSection + QStringLiteral("]\n") + kFilterKey + u'=' + fileFilter + u'\n';
    return text;
}

QString StoredFileFilter() {
    return SettingsFile().ReadString(kPreferencesSection, kFilterKey, kDefaultFileFilter);
}

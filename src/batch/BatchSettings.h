#pragma once
// Where kelvane-batch takes its settings: the tidy options, mutes and masks of the project's
// .kelvane.ini (ProjectOptions.h), of a settings file named with --options, of HTML Tidy's own
// configuration file named with --tidy-config, or else as the window stores them. Nothing is
// ever written.

#include "batch/BatchArguments.h"
#include "engine/TidyOptionSet.h"

#include <QString>
#include <optional>

// Loads the tidy options into CurrentOptionSet(): from `optionsFile`'s [FormTidyProperties]
// section when given, else from the user's settings file. Throws UsageError with a clear
// message for an option set that cannot be used: a file that cannot be read, a missing
// section, an unknown key or a value that is no number where one belongs (--options only, as
// those files are written by hand), or options that HTML Tidy cannot be given (an encoding
// not in the list, a wrap width that is no number, a mute key HTML Tidy does not have).
void LoadBatchTidyOptions(const std::optional<QString>& optionsFile);

// Where a run's options came from.
struct BatchOptionsSource {
    enum class Kind { UserSettings, OptionsFile, ProjectFile, TidyConfig };
    Kind kind = Kind::UserSettings;
    QString path;                      // the file read
    std::optional<QString> fileFilter; // masks the file gives ([FormKelvaneOptions])
    // Whether every entry must lie in the same project as the run (none given on the command
    // line): then `project` is its options file, empty for none.
    bool sameProject = false;
    QString project;
};

// Chooses the run's options and loads them into CurrentOptionSet(), with the mutes of --mute
// added: --tidy-config or --options when given, else the project options file of the paths
// (of the working folder when only --files-from names any), else the user's settings. Throws
// UsageError for paths of different projects and for anything LoadBatchTidyOptions refuses.
BatchOptionsSource ChooseBatchOptions(const BatchArguments& arguments);

// The masks for folders: -m, else the options file's, else the stored File Types Filter.
QString RunFileFilter(const BatchArguments& arguments, const BatchOptionsSource& source);

// What --print-options prints: which file, then the options as settings-file lines.
QString PrintedOptions(const BatchOptionsSource& source, const QString& fileFilter);

// The preference File Types Filter as the window stores it, else its default.
QString StoredFileFilter();

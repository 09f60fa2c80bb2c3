#pragma once
// Where kelvane-batch takes its settings: the tidy options and the File Types Filter as the
// window stores them, or the tidy options of a settings file named with --options. Nothing is
// ever written.

#include <QString>
#include <optional>

// Loads the tidy options into CurrentOptionSet(): from `optionsFile`'s [FormTidyProperties]
// section when given, else from the user's settings file. Throws UsageError with a clear
// message for an option set that cannot be used: a file that cannot be read, a missing
// section, an unknown key or a value that is no number where one belongs (--options only, as
// those files are written by hand), or options that HTML Tidy cannot be given (an encoding
// not in the list, a wrap width that is no number).
void LoadBatchTidyOptions(const std::optional<QString>& optionsFile);

// The preference File Types Filter as the window stores it, else its default.
QString StoredFileFilter();

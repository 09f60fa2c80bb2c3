#pragma once
// The program's one settings file, "Settings.ini".

#include "support/IniFile.h"

// Beside the program file for a portable copy (platform::IsPortableProgram: a file named
// "portable" beside the program); otherwise, for a build tree as for an installed
// program, $XDG_CONFIG_HOME/Mondavik/Kelvane/Settings.ini, whose folder is created when needed.
QString DefaultSettingsFilePath();

// The path SettingsFile() uses: the one set by SetSettingsFilePath, else the default.
QString SettingsFilePath();

// Points the shared settings file at `path` (tests; a path chosen at start-up). An empty path
// returns to the default. Replaces the shared object, so take no lasting references across it.
void SetSettingsFilePath(const QString& path);

// The shared settings-file object of the process, opened on first use.
IniFile& SettingsFile();

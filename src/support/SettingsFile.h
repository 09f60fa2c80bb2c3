#pragma once
// The program's one settings file, "Settings.ini".

#include "support/IniFile.h"

// Beside the program file when that folder is writable (running from a build tree or a
// portable copy); otherwise $XDG_CONFIG_HOME/Mondavik/Kelvane/Settings.ini, whose folder is
// created when needed.
QString DefaultSettingsFilePath();

// The path SettingsFile() uses: the one set by SetSettingsFilePath, else the default.
QString SettingsFilePath();

// Points the shared settings file at `path` (tests; a path chosen at start-up). An empty path
// returns to the default. Replaces the shared object, so take no lasting references across it.
void SetSettingsFilePath(const QString& path);

// The shared settings-file object of the process, opened on first use.
IniFile& SettingsFile();

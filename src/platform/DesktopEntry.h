#pragma once
// Just enough of the freedesktop.org desktop-entry and MIME-application rules to start the
// user's default application for a file.

#include <QString>
#include <QStringList>

// The program and arguments of a desktop entry's Exec value, run on one local file. Field codes
// for files and URLs take the file; the others are dropped; without any, the file goes last.
QStringList DesktopExecCommand(const QString& exec, const QString& file);

// The Exec value of the [Desktop Entry] group of a .desktop file; empty when it has none.
QString DesktopEntryExec(const QString& desktopFile);

// The .desktop file of the default application for a MIME type, from the mimeapps.list files
// (and the older defaults.list) of the XDG folders; empty when none is set or installed.
QString DefaultApplicationFor(const QString& mimeType);

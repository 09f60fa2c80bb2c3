#pragma once
// The desktop's network and proxy settings tool, which stands in for the Internet settings
// control-panel applet.

#include <QString>
#include <QStringList>
#include <functional>

// Gives the full path of an installed program, or empty (QStandardPaths::findExecutable).
using ExecutableFinder = std::function<QString(const QString& program)>;

// The command (program path, then arguments) of the first known settings tool that is
// installed, preferring those of `desktop` (the XDG_CURRENT_DESKTOP list, e.g. "KDE" or
// "ubuntu:GNOME"); empty when none is.
QStringList NetworkSettingsCommand(const QString& desktop, const ExecutableFinder& find);

// The same for this session's desktop and PATH.
QStringList NetworkSettingsCommand();

// Starts the settings tool that `command` finds with `start` (program, arguments); says so
// when none is installed or it cannot be started.
void StartNetworkSettingsTool(
    const std::function<QStringList()>& command,
    const std::function<bool(const QString& program, const QStringList& arguments)>& start);

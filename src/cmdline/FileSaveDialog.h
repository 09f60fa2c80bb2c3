#pragma once
// The one save dialog of the program, shared by the command-line jobs and the address bar.
// The dialog itself belongs to the installed Prompts (it asks before overwriting, needs an
// existing folder and refuses read-only files); this side builds the request.

#include <QString>
#include <QStringList>

// Turns a filter written as "Description|*.a;*.b|Description|*.c" into Qt filter entries
// ("Description (*.a *.b)"). A description that already ends with its patterns in parentheses
// is kept as it is.
QStringList QtFileFilters(const QString& filter);

// Asks for a file to save to; answers the chosen path, or an empty text when the user cancelled.
// Empty initial folder and name leave the dialog's defaults.
QString FileSaveDialog(const QString& filter, const QString& defaultExtension,
                       const QString& initialFolder = {}, const QString& initialName = {});

// The file name's extension as the jobs compare it: from the last dot of the name on (the dot
// included), or empty when the name has no dot.
QString FileExtension(const QString& path);

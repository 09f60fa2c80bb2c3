#pragma once
// Verbs on documents, handed to the desktop: open, edit, open with a chosen program.
// Each answers whether the program could be started (not whether it liked the document).

#include <QString>

// A local path or a web address, shown by the desktop's default application.
bool OpenDocument(const QString& pathOrUrl);

// A local file in the user's editor: $VISUAL, else the default application for plain text,
// else whatever opens the file.
bool EditDocument(const QString& path);

// Asks for a program (CurrentPrompts().ChooseProgram) and starts it on the file; false when
// the user cancels or the program cannot be started.
bool OpenWith(const QString& path);

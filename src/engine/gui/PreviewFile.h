#pragma once
// Where the options dialog writes the tidied sample for a browser or editor to show.

#include <QString>

inline const QString kPreviewFileName = QStringLiteral("qzn_preview.html");

// "qzn_preview.html" in <user data folder>/Mondavik/<application title>/, creating the folders;
// in the program's folder when there is no user data folder or it cannot be made.
QString PreviewFilePath();

// Replaces the user data folder (tests, so parallel runs never share a preview file); an empty
// folder restores the standard one.
void SetPreviewDataFolder(const QString& folder);

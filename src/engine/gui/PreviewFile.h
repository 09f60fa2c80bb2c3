#pragma once
// Where the options dialog writes the tidied sample for a browser or editor to show.

#include <QString>

inline const QString kPreviewFileName = QStringLiteral("qzn_preview.html");

// "qzn_preview.html" in <user data folder>/Mondavik/<application title>/, creating the folders;
// in the program's folder when there is no user data folder or it cannot be made.
QString PreviewFilePath();

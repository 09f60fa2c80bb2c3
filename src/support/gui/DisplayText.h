#pragma once
// Texts that carry file names, made fit to show: bytes of a name that are not UTF-8 and control
// characters read as escapes ("caf\xe9.html"), as platform::DisplayFileName writes them, while
// the text's own line breaks stay line breaks. The window shows names the same way everywhere:
// in its lists, its pages and its messages.

#include <QString>

QString DisplayText(const QString& text);
// The name a shown text stands for: escapes of bytes that are not UTF-8 and of control
// characters become those again. For a typed path that exists only that way.
QString FromDisplayText(const QString& text);

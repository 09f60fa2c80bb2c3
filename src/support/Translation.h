#pragma once
// Interface text translation from the optional language file "lang.txt".
// The English text is the key, looked up within a section naming where the text comes from.

#include <QByteArray>
#include <QString>
#include <QStringList>

class QObject;

inline const QString kStringTable = QStringLiteral("STRING_TABLE");

// Escaped form used by the language file (C-like escapes, bytes below 32 as \xHH).
QByteArray EscapeText(const QByteArray& text);
// Throws KelvaneError("Numeric constant too large.") for an octal escape above 255.
QByteArray UnescapeText(const QByteArray& text);

// The largest language file read; a bigger one is ignored.
inline constexpr qint64 kMaxLanguageFileSize = 16 * 1024 * 1024;

// Fills the table once from `folder` + `fileName`. A missing or unreadable file is ignored
// silently. Answers what the user should hear about, one line each: a file that is not a
// regular file of at most kMaxLanguageFileSize bytes (ignored whole), and each line whose
// translation cannot be unescaped (left out, so its text stays English).
QStringList LoadLanguageFile(const QString& folder,
                             const QString& fileName = QStringLiteral("lang.txt"));
// Empties the table (tests; a fresh start).
void ClearTranslations();

// Texts are handled as UTF-8 bytes against the table. Without an entry the text comes back
// unchanged; a translation with an octal escape above 255 throws KelvaneError.
QString Translate(const QString& text, const QString& section = kStringTable);

// Replaces the %s and %d placeholders of a translated template, in order.
QString FillTemplate(QString text, const QStringList& values);

// Provisional: replaced by the full language-file implementation.
#include "support/Translation.h"
QByteArray EscapeText(const QByteArray& text) { return text; }
QByteArray UnescapeText(const QByteArray& text) { return text; }
void LoadLanguageFile(const QString&, const QString&) {}
void ClearTranslations() {}
QString Translate(const QString& text, const QString&) { return text; }

#include "support/Translation.h"

#include "support/TranslationTable.h"

#include <QDir>
#include <QFile>

namespace {

// Filled once at start-up and only read afterwards, so readers on other threads are safe.
TranslationTable& Table() {
    static TranslationTable table;
    return table;
}

} // namespace

void LoadLanguageFile(const QString& folder, const QString& fileName) {
    QFile file(QDir(folder).filePath(fileName));
    // The language file is optional: without it every text stays English.
    if (!file.open(QIODevice::ReadOnly))
        return;
    ParseLanguageText(file.readAll(), Table());
}

void ClearTranslations() {
    Table().Clear();
}

QString Translate(const QString& text, const QString& section) {
    const TranslationTable& table = Table();
    if (table.IsEmpty() || text.isEmpty())
        return text;
    const QByteArray* value = table.Find(section, EscapeText(text.toUtf8()));
    // Without an entry the escaped key unescapes to the text itself.
    if (value == nullptr)
        return text;
    return QString::fromUtf8(UnescapeText(*value));
}

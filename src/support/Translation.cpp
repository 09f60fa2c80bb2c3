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

QString FillTemplate(QString text, const QStringList& values) {
    qsizetype from = 0;
    for (const QString& value : values) {
        qsizetype at = -1;
        for (qsizetype i = from; i + 1 < text.size(); ++i) {
            if (text.at(i) == QLatin1Char('%') &&
                (text.at(i + 1) == QLatin1Char('s') || text.at(i + 1) == QLatin1Char('d'))) {
                at = i;
                break;
            }
        }
        if (at < 0)
            break;
        text.replace(at, 2, value);
        from = at + value.size(); // never re-read a placeholder inside the value itself
    }
    return text;
}

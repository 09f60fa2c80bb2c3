#include "support/Translation.h"

#include "platform/FileNames.h"
#include "platform/FileReading.h"
#include "support/TranslationTable.h"

#include <QDir>

namespace {

// Filled once at start-up and only read afterwards, so readers on other threads are safe.
TranslationTable& Table() {
    static TranslationTable table;
    return table;
}

} // namespace

QStringList LoadLanguageFile(const QString& folder, const QString& fileName) {
    const QString path = QDir(folder).filePath(fileName);
    QByteArray content;
    const platform::ReadResult result =
        platform::ReadRegularFile(path, content, kMaxLanguageFileSize);
    const QString shownPath = platform::DisplayFileName(path);
    switch (result) {
    case platform::ReadResult::Read:
        break;
    case platform::ReadResult::NotRegularFile:
    case platform::ReadResult::TooLarge:
        // A FIFO would hold start-up forever and a link to /dev/zero would never end.
        return {FillTemplate(
            Translate(QStringLiteral("The language file %s is not a regular file of at most "
                                     "16 MB; it is ignored.")),
            {shownPath})};
    default:
        // The language file is optional: without it every text stays English.
        return {};
    }
    QStringList problems = ParseLanguageText(content, Table());
    for (QString& problem : problems)
        problem =
            FillTemplate(Translate(QStringLiteral("Language file %s, %s")), {shownPath, problem});
    return problems;
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

// The language file: one entry per line, an "E=" English text followed by its "T=" translation,
// grouped by "<" section lines.
#include "support/TranslationTable.h"

#include "support/Errors.h"
#include "support/Translation.h"

namespace {

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

QByteArray Trimmed(const QByteArray& line) {
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && IsBlankOrControl(line[begin]))
        ++begin;
    while (end > begin && IsBlankOrControl(line[end - 1]))
        --end;
    return line.mid(begin, end - begin);
}

// "<...//Name-...": the name runs from after the first "//" (or after "<" when there is none)
// to the first "-" of the line; without such a "-" the section is empty.
QByteArray SectionName(const QByteArray& line) {
    const qsizetype slashes = line.indexOf("//");
    const qsizetype start = slashes < 0 ? 1 : slashes + 2;
    const qsizetype dash = line.indexOf('-');
    if (dash <= start)
        return {};
    return Trimmed(line.mid(start, dash - start));
}

QByteArray ValueAfterEquals(const QByteArray& line) {
    return Trimmed(line.mid(line.indexOf('=') + 1));
}

} // namespace

QStringList ParseLanguageText(const QByteArray& content, TranslationTable& table) {
    QByteArray text = content;
    // Editors on other systems like to start UTF-8 files with a byte-order mark.
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);

    QStringList problems;
    QByteArray section;
    QByteArray pendingKey;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype number = 0; number < lines.size(); ++number) {
        const QByteArray line = Trimmed(lines.at(number));
        if (line.isEmpty() || line.startsWith(';'))
            continue;
        if (line.startsWith('<')) {
            section = SectionName(line); // keeps any pending key
        } else if (line.startsWith("E=")) {
            pendingKey = ValueAfterEquals(line);
        } else if (line.startsWith("T=")) {
            const QByteArray translation = ValueAfterEquals(line);
            // "*" keeps the English text; entries outside a section are never looked up.
            if (!pendingKey.isEmpty() && !translation.isEmpty() && translation != "*" &&
                !section.isEmpty()) {
                // A translation that cannot be unescaped would fail every lookup of its text,
                // at start-up for a window caption: it is reported once here and left out.
                try {
                    UnescapeText(translation);
                    table.Insert(section, pendingKey, translation);
                } catch (const KelvaneError& error) {
                    problems << FillTemplate(Translate(QStringLiteral("line %d: %s")),
                                             {QString::number(number + 1), error.message()});
                }
            }
            pendingKey.clear();
        }
    }
    return problems;
}
